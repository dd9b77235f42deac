// SPDX-License-Identifier: MIT
// An hmtx made glyph by glyph (a converted font's, a variable instance's),
// and the extremes head and hhea must state for those glyphs: the box of
// all ink, the widest advance, the least side bearings and the furthest
// right edge.
#pragma once

#include <algorithm>
#include <cstdint>

#include "truetype/bereader.h"
#include "truetype/tables.h"

struct HorizontalExtremes {
    int nXMin = INT16_MAX, nYMin = INT16_MAX, nXMax = INT16_MIN, nYMax = INT16_MIN;
    int nAdvanceMax = 0, nMinLsb = INT16_MAX, nMinRsb = INT16_MAX, nMaxExtent = INT16_MIN;
};

// Writes glyph g's long metric into the hmtx and counts it in the
// extremes; a glyph with ink also brings its box (font units, the left
// side bearing lying at xMin).
inline void AddHorizontalMetric(HorizontalExtremes &extremes, uint8_t *pbyHmtx, uint32_t g, int nAdvance,
                                int nLsb)
{
    extremes.nAdvanceMax = std::max(extremes.nAdvanceMax, nAdvance);
    uint8_t *pbyMetric = pbyHmtx + size_t{g} * HmtxTable::kLongMetricSize;
    PutBE16(pbyMetric + HmtxTable::kAdvanceWidth, static_cast<uint16_t>(nAdvance));
    PutBE16(pbyMetric + HmtxTable::kLeftSideBearing, static_cast<uint16_t>(static_cast<int16_t>(nLsb)));
}

inline void AddInk(HorizontalExtremes &extremes, int nAdvance, int nLsb, int nXMin, int nYMin, int nXMax,
                   int nYMax)
{
    const int nRight = nLsb + (nXMax - nXMin);
    extremes.nXMin = std::min(extremes.nXMin, nXMin);
    extremes.nXMax = std::max(extremes.nXMax, nXMax);
    extremes.nYMin = std::min(extremes.nYMin, nYMin);
    extremes.nYMax = std::max(extremes.nYMax, nYMax);
    extremes.nMinLsb = std::min(extremes.nMinLsb, nLsb);
    extremes.nMinRsb = std::min(extremes.nMinRsb, nAdvance - nRight);
    extremes.nMaxExtent = std::max(extremes.nMaxExtent, nRight);
}

// Puts the extremes into copies of head and hhea (all zero when no glyph
// has ink), with one long metric per glyph.
inline void PutHorizontalExtremes(HorizontalExtremes extremes, uint8_t *pbyHead, uint8_t *pbyHhea,
                                  uint32_t nGlyphs)
{
    auto &e = extremes;
    if (e.nXMin > e.nXMax)
        e.nXMin = e.nYMin = e.nXMax = e.nYMax = e.nMinLsb = e.nMinRsb = e.nMaxExtent = 0;
    const auto Put16 = [](uint8_t *pby, int nValue) {
        PutBE16(pby, static_cast<uint16_t>(static_cast<int16_t>(std::clamp<int>(nValue, INT16_MIN, INT16_MAX))));
    };
    Put16(pbyHead + HeadTable::kXMin, e.nXMin);
    Put16(pbyHead + HeadTable::kYMin, e.nYMin);
    Put16(pbyHead + HeadTable::kXMax, e.nXMax);
    Put16(pbyHead + HeadTable::kYMax, e.nYMax);
    PutBE16(pbyHhea + HheaTable::kAdvanceWidthMax, static_cast<uint16_t>(e.nAdvanceMax));
    Put16(pbyHhea + HheaTable::kMinLeftSideBearing, e.nMinLsb);
    Put16(pbyHhea + HheaTable::kMinRightSideBearing, e.nMinRsb);
    Put16(pbyHhea + HheaTable::kXMaxExtent, e.nMaxExtent);
    PutBE16(pbyHhea + HheaTable::kNumberOfHMetrics, static_cast<uint16_t>(nGlyphs));
}
