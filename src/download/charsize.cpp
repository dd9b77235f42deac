// SPDX-License-Identifier: MIT
// Character size of a soft font on the page, for SetFont and for the fixed
// advance of the cover page when the font comes from a file.
#include <climits>
#include <cstdint>

#include "download/download.h"

float CharacterSize(int nFontHeight, int nResolution)
{
    // Points (FontHeight is in tenths) times dots per inch over 72: the size
    // in device dots. The product is a 32-bit one that may wrap, and the
    // division is unsigned, so a negative product reads as a large size.
    const int nPoints = nFontHeight / 10;
    const uint32_t dwProduct = static_cast<uint32_t>(nPoints) * static_cast<uint32_t>(nResolution);
    return static_cast<float>(dwProduct / 72u);
}

int CharacterSizeInDots(int nFontHeight, int nResolution)
{
    const int64_t nProduct = int64_t{nFontHeight / 10} * nResolution;
    // Advances and positions on the page are 16-bit numbers.
    if (nProduct < 0 || nProduct / 72 > INT16_MAX)
        return 0;
    return static_cast<int>(nProduct / 72);
}
