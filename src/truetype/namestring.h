// SPDX-License-Identifier: MIT
// A name table string of the Windows platform (UTF-16BE) in the ANSI code
// page, as the font mapper names faces and styles.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "truetype/bereader.h"

// Converts the string's first UTF-16 units, as many as the buffer holds at
// four bytes a unit, into szAnsi with its terminator. Returns the bytes
// converted; 0 when the string is empty or does not convert.
template <size_t nBytes>
int NameStringToAnsi(const BEReader &string, char (&szAnsi)[nBytes])
{
    constexpr int kMaxUnits = static_cast<int>((nBytes - 1) / 4);
    static_assert(kMaxUnits > 0);
    WCHAR achUnits[kMaxUnits];
    int nUnits = 0;
    for (uint16_t wUnit = 0; nUnits < kMaxUnits && string.U16(2 * size_t(nUnits), wUnit);)
        achUnits[nUnits++] = wUnit;
    const int nAnsi = nUnits > 0 ? WideCharToMultiByte(CP_ACP, 0, achUnits, nUnits, szAnsi,
                                                       static_cast<int>(nBytes) - 1, nullptr, nullptr)
                                 : 0;
    if (nAnsi <= 0)
        return 0;
    szAnsi[nAnsi] = '\0';
    return nAnsi;
}
