// SPDX-License-Identifier: MIT
// Character size of a soft font on the page, for SetFont and for the fixed
// advance of the cover page when the font comes from a file, and the page's
// limits at the request's resolution.
#include "download/charsize.h"

#include <climits>
#include <cstdint>

namespace {

// Page geometry at 600 dpi, scaled with the resolution.
constexpr int kLimitsResolution = 600;
constexpr int kRightLimit = 4725; // compared unsigned: a negative end is beyond it
constexpr int kBottomLimit = 6780;
constexpr int kClipRight = 4900;
constexpr int kClipBottom = 6400;
// Cursor positions travel as signed 16-bit numbers.
constexpr int64_t kLargestCoordinate = INT16_MAX;

} // namespace

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

bool PageLimitsAt(int nResolution, PageLimits *pLimits)
{
    if (nResolution <= 0 || pLimits == nullptr)
        return false;
    const auto scaled = [nResolution](int nAt600) {
        return int64_t{nAt600} * nResolution / kLimitsResolution;
    };
    if (scaled(kBottomLimit) > kLargestCoordinate || scaled(kClipRight) > kLargestCoordinate)
        return false;
    pLimits->nRightLimit = static_cast<int>(scaled(kRightLimit));
    pLimits->nBottomLimit = static_cast<int>(scaled(kBottomLimit));
    pLimits->nClipRight = static_cast<int>(scaled(kClipRight));
    pLimits->nClipBottom = static_cast<int>(scaled(kClipBottom));
    pLimits->nClipLeft = 0;
    pLimits->nClipTop = 0;
    return true;
}

bool PageLimitsOfBox(const FNDL_PAGEBOX &box, PageLimits *pLimits)
{
    const auto fits = [](int nValue, int nLeast) {
        return nValue >= nLeast && nValue <= kLargestCoordinate;
    };
    if (pLimits == nullptr || !fits(box.nRightLimit, 0) || !fits(box.nBottomLimit, 0) ||
        !fits(box.nClipLeft, INT16_MIN) || !fits(box.nClipTop, INT16_MIN) ||
        !fits(box.nClipRight, box.nClipLeft + 1) || !fits(box.nClipBottom, box.nClipTop + 1))
        return false;
    *pLimits = {box.nRightLimit, box.nBottomLimit, box.nClipRight,
                box.nClipBottom, box.nClipLeft,    box.nClipTop};
    return true;
}
