// SPDX-License-Identifier: MIT
// What fontconfig says of a face, shared by the face queries (fonts.cpp)
// and the fallback order (fallback.cpp).
#pragma once

#include <string>

#include <fontconfig/fontconfig.h>

#include "fonts/fonts.h"

// fontconfig's face index numbers named instances in its higher bits.
inline constexpr int kFaceIndexMask = 0xFFFF;

// A string of the pattern's object (its nth value); "" when it has none.
std::string PatternString(FcPattern *pattern, const char *object, int n = 0);
// The face's families, style, format, weight, slant and characters.
void ReadPattern(FcPattern *pattern, FaceInfo &face);
