// SPDX-License-Identifier: MIT
// The character size and the page's limits at a device resolution: what
// SetFont, the cover page and the fndl tool all measure the page with.
#pragma once

// Character size for SetFont: (height / 10) * resolution / 72 as unsigned.
float CharacterSize(int nFontHeight, int nResolution);

// The same size in whole device dots: the em of the logical font that
// measures the cover page. 0 when the page's arithmetic holds no size for
// the request (a negative product, a size beyond the 16-bit advances and
// positions of the page) or the size is below one dot.
int CharacterSizeInDots(int nFontHeight, int nResolution);

#include "qorvfndl.h"

// The page's limits in device units at a resolution: the 600-dpi page
// (right limit 4725, bottom limit 6780, clip box 0, 0, 4900, 6400) scaled by
// nResolution / 600. False for a resolution at which the page does not fit
// the 16-bit coordinates of the page operators (or is not positive).
struct PageLimits {
    int nRightLimit;
    int nBottomLimit;
    int nClipRight;
    int nClipBottom;
    int nClipLeft;
    int nClipTop;
};
bool PageLimitsAt(int nResolution, PageLimits *pLimits);

// The limits of a caller's page box (FNDL_PAGEBOX, device units). False
// when the page's 16-bit coordinates do not hold it: a value outside
// -32768..32767, a negative limit, a clip box with its right edge left of
// its left one or its bottom above its top.
bool PageLimitsOfBox(const FNDL_PAGEBOX &box, PageLimits *pLimits);
