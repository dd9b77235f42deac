// SPDX-License-Identifier: MIT
// Font tables where the system keeps them: one call the platform layer
// (Linux) and the Windows build each implement, so that no library code
// depends on which side it runs on.
#pragma once

#include <windows.h>

#include <cstdint>

// The bytes of table dwTable (a GetFontData tag, not 0) of the font selected
// into hdc, in place and valid while that font stays selected, with their
// size in *pdwSize; null when the system gives the table only as a copy
// (GetFontData), as Windows' GDI does.
const uint8_t *FontTableInPlace(HDC hdc, DWORD dwTable, DWORD *pdwSize);
