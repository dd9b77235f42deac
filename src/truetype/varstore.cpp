// SPDX-License-Identifier: MIT
// The design-space side of a variable font: user coordinates normalized by
// fvar's axes and avar's segment maps, named instances, and the item
// variation store that HVAR keeps advance deltas in. Also the variation
// engine's working memory.
#include <windows.h>

#include <algorithm>
#include <cmath>

#include "truetype/instance.h"
#include "truetype/instancescratch.h"
#include "truetype/tables.h"

namespace {

constexpr size_t kAxisMinimum = 4; // within an fvar axis record
constexpr size_t kAxisMaximum = 12;

int16_t ToF2Dot14(double d)
{
    return static_cast<int16_t>(std::clamp(std::floor(d * 16384.0 + 0.5), -16384.0, 16384.0));
}

// avar's map of one axis from *pnAt (moved past it).
bool MapThroughAvar(const BEReader &avar, size_t *pnAt, int16_t *pnValue)
{
    uint16_t nMaps = 0;
    if (!avar.U16(*pnAt, nMaps) || !avar.Contains(*pnAt + 2, 4 * size_t{nMaps}))
        return false;
    const size_t nFirst = *pnAt + 2;
    *pnAt = nFirst + 4 * size_t{nMaps};
    if (nMaps == 0)
        return true;
    const int32_t v = *pnValue;
    int16_t nFromPrevious = 0, nToPrevious = 0;
    for (uint16_t k = 0; k < nMaps; ++k) {
        int16_t nFrom = 0, nTo = 0;
        avar.I16(nFirst + 4 * size_t{k}, nFrom);
        avar.I16(nFirst + 4 * size_t{k} + 2, nTo);
        if (v <= nFrom) {
            if (k == 0 || v == nFrom || nFrom == nFromPrevious)
                *pnValue = k == 0 && v < nFrom ? static_cast<int16_t>(v + nTo - nFrom) : nTo;
            else
                *pnValue = ToF2Dot14((nToPrevious + double(v - nFromPrevious) * (nTo - nToPrevious) /
                                                        (nFrom - nFromPrevious)) / 16384.0);
            return true;
        }
        nFromPrevious = nFrom;
        nToPrevious = nTo;
    }
    *pnValue = static_cast<int16_t>(std::clamp<int32_t>(v + nToPrevious - nFromPrevious, -16384, 16384));
    return true;
}

// The outer and inner index of glyph g in a delta-set index map.
bool MapDeltaSetIndex(const BEReader &map, uint16_t nGlyph, uint16_t *pnOuter, uint16_t *pnInner)
{
    uint8_t byFormat = 0, byEntry = 0;
    uint32_t dwCount = 0;
    size_t nData = 0;
    if (!map.U8(0, byFormat) || !map.U8(1, byEntry))
        return false;
    if (byFormat == 0) {
        uint16_t w = 0;
        if (!map.U16(2, w))
            return false;
        dwCount = w;
        nData = 4;
    } else if (byFormat == 1) {
        if (!map.U32(2, dwCount))
            return false;
        nData = 6;
    } else {
        return false;
    }
    if (dwCount == 0)
        return false;
    const size_t nSize = ((byEntry >> 4) & 3u) + 1;
    const unsigned nInnerBits = (byEntry & 0x0Fu) + 1;
    const size_t nIndex = std::min<size_t>(nGlyph, dwCount - 1);
    uint32_t dwEntry = 0;
    for (size_t b = 0; b < nSize; ++b) {
        uint8_t by = 0;
        if (!map.U8(nData + nIndex * nSize + b, by))
            return false;
        dwEntry = (dwEntry << 8) | by;
    }
    *pnOuter = static_cast<uint16_t>(dwEntry >> nInnerBits);
    *pnInner = static_cast<uint16_t>(dwEntry & ((1u << nInnerBits) - 1));
    return true;
}

// The delta of item (outer, inner) of an item variation store, unrounded.
bool ItemDelta(const BEReader &store, uint16_t nOuter, uint16_t nInner, const VariationCoordinates &coordinates,
               double *pdDelta)
{
    uint16_t nFormat = 0, nData = 0, nAxes = 0, nRegions = 0;
    uint32_t dwRegions = 0, dwData = 0;
    BEReader regions, data;
    if (!store.U16(0, nFormat) || nFormat != 1 || !store.U32(2, dwRegions) || !store.U16(6, nData) ||
        nOuter >= nData || !store.U32(8 + 4 * size_t{nOuter}, dwData) || !store.Tail(dwRegions, regions) ||
        !store.Tail(dwData, data) || !regions.U16(0, nAxes) || !regions.U16(2, nRegions) ||
        nAxes != coordinates.nAxes)
        return false;
    uint16_t nItems = 0, wWords = 0, nIndexes = 0;
    if (!data.U16(0, nItems) || !data.U16(2, wWords) || !data.U16(4, nIndexes) || nInner >= nItems)
        return false;
    const bool bLong = wWords & 0x8000;
    const size_t nWords = wWords & 0x7FFFu;
    if (nWords > nIndexes)
        return false;
    const size_t nWide = bLong ? 4 : 2, nNarrow = bLong ? 2 : 1;
    const size_t nRow = nWords * nWide + (nIndexes - nWords) * nNarrow;
    const size_t nRowAt = 6 + 2 * size_t{nIndexes} + nRow * nInner;
    if (!data.Contains(nRowAt, nRow))
        return false;
    double dDelta = 0;
    size_t nAt = nRowAt;
    for (uint16_t k = 0; k < nIndexes; ++k) {
        const size_t nSize = k < nWords ? nWide : nNarrow;
        uint32_t dwRaw = 0;
        for (size_t b = 0; b < nSize; ++b) {
            uint8_t by = 0;
            data.U8(nAt + b, by);
            dwRaw = (dwRaw << 8) | by;
        }
        nAt += nSize;
        const int32_t nValue = nSize == 4 ? static_cast<int32_t>(dwRaw)
                               : nSize == 2 ? static_cast<int16_t>(dwRaw)
                                            : static_cast<int8_t>(dwRaw);
        uint16_t nRegion = 0;
        if (!data.U16(6 + 2 * size_t{k}, nRegion) || nRegion >= nRegions)
            return false;
        if (nValue == 0)
            continue;
        int16_t anStart[kMaxVariationAxes], anPeak[kMaxVariationAxes], anEnd[kMaxVariationAxes];
        const size_t nRecord = 4 + size_t{nRegion} * 6 * nAxes;
        for (uint16_t a = 0; a < nAxes; ++a)
            if (!regions.I16(nRecord + 6 * size_t{a}, anStart[a]) || !regions.I16(nRecord + 6 * size_t{a} + 2, anPeak[a]) ||
                !regions.I16(nRecord + 6 * size_t{a} + 4, anEnd[a]))
                return false;
        dDelta += RegionScalar(anStart, anPeak, anEnd, coordinates) * nValue;
    }
    *pdDelta = dDelta;
    return true;
}

template <typename T>
bool Regrow(T *&p, uint32_t nCount)
{
    if (p != nullptr)
        GlobalFree(p);
    p = static_cast<T *>(GlobalAlloc(GMEM_FIXED, sizeof(T) * (nCount ? nCount : 1)));
    return p != nullptr;
}

template <typename T>
void Free(T *&p)
{
    if (p != nullptr)
        GlobalFree(p);
    p = nullptr;
}

} // namespace

bool NormalizeCoordinates(const BEReader &fvar, const BEReader &avar, const int32_t *plUser, uint16_t nUser,
                          VariationCoordinates &coordinates)
{
    uint16_t nAxesOffset = 0, nAxes = 0, nAxisSize = 0;
    if (!fvar.U16(FvarTable::kAxesArrayOffset, nAxesOffset) || !fvar.U16(FvarTable::kAxisCount, nAxes) ||
        !fvar.U16(FvarTable::kAxisSize, nAxisSize) || nAxes == 0 || nAxes > kMaxVariationAxes || nUser != nAxes ||
        nAxisSize < FvarTable::kAxisRecordSize)
        return false;
    coordinates.nAxes = nAxes;
    for (uint16_t a = 0; a < nAxes; ++a) {
        const size_t nRecord = nAxesOffset + size_t{a} * nAxisSize;
        uint32_t dwMin = 0, dwDefault = 0, dwMax = 0;
        if (!fvar.U32(nRecord + kAxisMinimum, dwMin) || !fvar.U32(nRecord + FvarTable::kAxisDefault, dwDefault) ||
            !fvar.U32(nRecord + kAxisMaximum, dwMax))
            return false;
        const double dMin = int32_t(dwMin) / 65536.0, dDefault = int32_t(dwDefault) / 65536.0;
        const double dMax = int32_t(dwMax) / 65536.0;
        if (dMin > dDefault || dDefault > dMax)
            return false;
        const double v = std::clamp(plUser[a] / 65536.0, dMin, dMax);
        const double n = v < dDefault ? (v - dDefault) / (dDefault - dMin)
                         : v > dDefault ? (v - dDefault) / (dMax - dDefault)
                                        : 0.0;
        coordinates.anNormalized[a] = ToF2Dot14(n);
    }
    if (avar.Size() == 0)
        return true;
    uint16_t nMajor = 0, nAvarAxes = 0;
    if (!avar.U16(0, nMajor) || nMajor != 1 || !avar.U16(6, nAvarAxes) || nAvarAxes != nAxes)
        return false;
    size_t nAt = 8;
    for (uint16_t a = 0; a < nAxes; ++a)
        if (!MapThroughAvar(avar, &nAt, &coordinates.anNormalized[a]))
            return false;
    return true;
}

bool NamedInstanceCoordinates(const BEReader &fvar, uint16_t nInstance, int32_t *plUser, uint16_t *pnAxes)
{
    uint16_t nAxesOffset = 0, nAxes = 0, nAxisSize = 0, nInstances = 0, nInstanceSize = 0;
    if (!fvar.U16(FvarTable::kAxesArrayOffset, nAxesOffset) || !fvar.U16(FvarTable::kAxisCount, nAxes) ||
        !fvar.U16(FvarTable::kAxisSize, nAxisSize) || !fvar.U16(FvarTable::kInstanceCount, nInstances) ||
        !fvar.U16(FvarTable::kInstanceSize, nInstanceSize) || nInstance >= nInstances || nAxes > kMaxVariationAxes ||
        nInstanceSize < FvarTable::kInstanceCoordinates + 4 * size_t{nAxes})
        return false;
    const size_t nRecord = nAxesOffset + size_t{nAxes} * nAxisSize + size_t{nInstance} * nInstanceSize;
    for (uint16_t a = 0; a < nAxes; ++a) {
        uint32_t dw = 0;
        if (!fvar.U32(nRecord + FvarTable::kInstanceCoordinates + 4 * size_t{a}, dw))
            return false;
        plUser[a] = static_cast<int32_t>(dw);
    }
    *pnAxes = nAxes;
    return true;
}

bool HvarAdvanceDelta(const BEReader &hvar, const VariationCoordinates &coordinates, uint16_t nGlyph,
                      int32_t *pnDelta)
{
    uint16_t nMajor = 0;
    uint32_t dwStore = 0, dwAdvanceMap = 0;
    BEReader store;
    if (!hvar.U16(0, nMajor) || nMajor != 1 || !hvar.U32(4, dwStore) || !hvar.U32(8, dwAdvanceMap) ||
        !hvar.Tail(dwStore, store))
        return false;
    uint16_t nOuter = 0, nInner = nGlyph;
    BEReader map;
    if (dwAdvanceMap != 0 && (!hvar.Tail(dwAdvanceMap, map) || !MapDeltaSetIndex(map, nGlyph, &nOuter, &nInner)))
        return false;
    double dDelta = 0;
    if (!ItemDelta(store, nOuter, nInner, coordinates, &dDelta))
        return false;
    *pnDelta = static_cast<int32_t>(std::floor(dDelta + 0.5));
    return true;
}

VariationScratch *NewVariationScratch()
{
    auto *pScratch = static_cast<VariationScratch *>(GlobalAlloc(GPTR, sizeof(VariationScratch)));
    return pScratch;
}

void FreeVariationScratch(VariationScratch *pScratch)
{
    if (pScratch == nullptr)
        return;
    GlyphPointsScratch &pts = pScratch->points;
    Free(pts.pnX), Free(pts.pnY), Free(pts.pbyFlags), Free(pts.pdDx), Free(pts.pdDy), Free(pts.pnEnds);
    Free(pScratch->pnSharedPoints), Free(pScratch->pnPrivatePoints);
    Free(pScratch->pnDeltaX), Free(pScratch->pnDeltaY);
    Free(pScratch->pdTupleX), Free(pScratch->pdTupleY), Free(pScratch->pbTouched);
    for (ComponentScratch &components : pScratch->aComponents) {
        Free(components.pwFlags), Free(components.pwGlyph), Free(components.pnArg1), Free(components.pnArg2);
        Free(components.pdMatrix);
    }
    Free(pScratch->pdFlatX), Free(pScratch->pdFlatY);
    GlobalFree(pScratch);
}

bool GrowPointsScratch(GlyphPointsScratch &pts, uint32_t nPoints, uint32_t nContours)
{
    if (nPoints > pts.nCapacity) {
        pts.nCapacity = 0;
        const uint32_t n = std::max(nPoints, 256u);
        if (!Regrow(pts.pnX, n) || !Regrow(pts.pnY, n) || !Regrow(pts.pbyFlags, n) || !Regrow(pts.pdDx, n) ||
            !Regrow(pts.pdDy, n))
            return false;
        pts.nCapacity = n;
    }
    if (nContours > pts.nEndsCapacity) {
        pts.nEndsCapacity = 0;
        if (!Regrow(pts.pnEnds, std::max(nContours, 64u)))
            return false;
        pts.nEndsCapacity = std::max(nContours, 64u);
    }
    return true;
}

bool GrowTupleScratch(VariationScratch &scratch, uint32_t nPoints)
{
    constexpr uint32_t kPointNumbers = 0x8000; // a count has 15 bits
    if (scratch.pnSharedPoints == nullptr &&
        (!Regrow(scratch.pnSharedPoints, kPointNumbers) || !Regrow(scratch.pnPrivatePoints, kPointNumbers)))
        return false;
    if (nPoints > scratch.nTupleCapacity) {
        scratch.nTupleCapacity = 0;
        const uint32_t n = std::max(nPoints, 256u);
        if (!Regrow(scratch.pdTupleX, n) || !Regrow(scratch.pdTupleY, n) || !Regrow(scratch.pbTouched, n))
            return false;
        scratch.nTupleCapacity = n;
    }
    return true;
}

bool GrowDeltaScratch(VariationScratch &scratch, uint32_t nCount)
{
    if (nCount <= scratch.nDeltaCapacity)
        return true;
    scratch.nDeltaCapacity = 0;
    const uint32_t n = std::max(nCount, 256u);
    if (!Regrow(scratch.pnDeltaX, n) || !Regrow(scratch.pnDeltaY, n))
        return false;
    scratch.nDeltaCapacity = n;
    return true;
}

bool GrowComponentScratch(ComponentScratch &components, uint32_t nCount)
{
    if (nCount <= components.nCapacity)
        return true;
    // Grown with its records kept: the components read so far stay.
    const uint32_t n = std::max(2 * nCount, 16u);
    ComponentScratch grown{components.nCount, n, nullptr, nullptr, nullptr, nullptr, nullptr};
    if (!Regrow(grown.pwFlags, n) || !Regrow(grown.pwGlyph, n) || !Regrow(grown.pnArg1, n) ||
        !Regrow(grown.pnArg2, n) || !Regrow(grown.pdMatrix, 4 * n)) {
        Free(grown.pwFlags), Free(grown.pwGlyph), Free(grown.pnArg1), Free(grown.pnArg2), Free(grown.pdMatrix);
        return false;
    }
    for (uint32_t k = 0; k < components.nCount; ++k) {
        grown.pwFlags[k] = components.pwFlags[k];
        grown.pwGlyph[k] = components.pwGlyph[k];
        grown.pnArg1[k] = components.pnArg1[k];
        grown.pnArg2[k] = components.pnArg2[k];
        std::copy(components.pdMatrix + 4 * k, components.pdMatrix + 4 * k + 4, grown.pdMatrix + 4 * k);
    }
    Free(components.pwFlags), Free(components.pwGlyph), Free(components.pnArg1), Free(components.pnArg2);
    Free(components.pdMatrix);
    components = grown;
    return true;
}

bool GrowFlatScratch(VariationScratch &scratch, uint32_t nPoints)
{
    if (nPoints <= scratch.nFlatCapacity)
        return true;
    // Kept: the points flattened so far stay.
    const uint32_t n = std::max(2 * nPoints, 1024u);
    double *pdX = nullptr, *pdY = nullptr;
    if (!Regrow(pdX, n) || !Regrow(pdY, n)) {
        Free(pdX), Free(pdY);
        return false;
    }
    std::copy(scratch.pdFlatX, scratch.pdFlatX + scratch.nFlat, pdX);
    std::copy(scratch.pdFlatY, scratch.pdFlatY + scratch.nFlat, pdY);
    Free(scratch.pdFlatX), Free(scratch.pdFlatY);
    scratch.pdFlatX = pdX, scratch.pdFlatY = pdY;
    scratch.nFlatCapacity = n;
    return true;
}
