// SPDX-License-Identifier: MIT
// The one check of every fuzz target: a property that must hold for any
// input stops the run with what failed, so libFuzzer keeps the input.
#pragma once

#include <cstdio>
#include <cstdlib>

inline void Require(bool condition, const char *what)
{
    if (condition)
        return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}
