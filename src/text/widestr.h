// SPDX-License-Identifier: MIT
// UTF-16 string helpers over WCHAR, which is 16 bits on every platform: the
// library's own, on the global heap (the codec it shares with the tool is text.h).
#pragma once

#include <windows.h>

// New global-heap strings of the first / last n characters of a text; the
// caller releases them with GlobalFree. WideRight gives null when n exceeds
// the text's length.
WCHAR *WideLeft(const WCHAR *szText, int n);
WCHAR *WideRight(const WCHAR *szText, int n);

// Length of a NUL-terminated UTF-16 text.
int WideLength(const WCHAR *szText);
