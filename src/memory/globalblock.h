// SPDX-License-Identifier: MIT
// Owner of a fixed block from the Windows global heap: the block goes back
// with GlobalFree when its owner goes, on every path out of the code that
// took it.
#pragma once

#include <windows.h>

#include <memory>

struct GlobalBlockFree {
    void operator()(void *p) const { GlobalFree(p); }
};
template <typename T>
using GlobalBlock = std::unique_ptr<T, GlobalBlockFree>;
