// SPDX-License-Identifier: MIT
// UTF-16 string helpers over WCHAR, which is 16 bits on every platform.
#include <cstring>

#include "text/widestr.h"

int WideLength(const WCHAR *szText)
{
    int n = 0;
    while (szText[n] != 0)
        ++n;
    return n;
}

static WCHAR *NewWideString(const WCHAR *pchFrom, int nCount, int nRoom)
{
    auto *sz = static_cast<WCHAR *>(GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(nRoom) * sizeof(WCHAR)));
    if (sz == nullptr)
        return nullptr;
    if (nCount > 0)
        std::memcpy(sz, pchFrom, static_cast<size_t>(nCount) * sizeof(WCHAR));
    sz[nCount] = 0;
    return sz;
}

WCHAR *WideRight(const WCHAR *szText, int n)
{
    const int nLength = WideLength(szText);
    const int nStart = nLength - n;
    if (nStart < 0)
        return nullptr;
    if (nStart < nLength)
        return NewWideString(szText + nStart, n, n + 1);
    return NewWideString(szText, 0, 1);
}

WCHAR *WideLeft(const WCHAR *szText, int n)
{
    const int nLength = WideLength(szText);
    if (n <= 0)
        return NewWideString(szText, 0, 1);
    return NewWideString(szText, n <= nLength ? n : 0, n + 1);
}
