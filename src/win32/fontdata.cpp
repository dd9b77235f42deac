// SPDX-License-Identifier: MIT
// Windows' GDI lends no font table in place: every table is read as a copy
// through GetFontData.
#include "truetype/fontdata.h"

const uint8_t *FontTableInPlace(HDC, DWORD, DWORD *pdwSize)
{
    if (pdwSize != nullptr)
        *pdwSize = 0;
    return nullptr;
}
