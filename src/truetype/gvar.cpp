// SPDX-License-Identifier: MIT
// gvar: the deltas of a variable font's glyph points at an instance. A
// glyph's variation data holds tuples (a region of the design space and
// deltas for some or all of its points, the four phantom points last);
// points a tuple leaves out of a simple glyph are interpolated from the
// touched points of their contour (IUP). Deltas add up as real numbers and
// are rounded once, as the font's makers' tools and the renderers do.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "truetype/instance.h"
#include "truetype/instancescratch.h"
#include "truetype/tables.h"

namespace {

namespace Gvar {
constexpr size_t kMajorVersion = 0;
constexpr size_t kAxisCount = 4;
constexpr size_t kSharedTupleCount = 6;
constexpr size_t kSharedTuplesOffset = 8;
constexpr size_t kGlyphCount = 12;
constexpr size_t kFlags = 14;
constexpr size_t kDataArrayOffset = 16;
constexpr size_t kOffsets = 20;
constexpr uint16_t kLongOffsets = 0x0001;
// Glyph variation data and tuple variation headers.
constexpr uint16_t kSharedPointNumbers = 0x8000;
constexpr uint16_t kTupleCountMask = 0x0FFF;
constexpr uint16_t kEmbeddedPeak = 0x8000;
constexpr uint16_t kIntermediateRegion = 0x4000;
constexpr uint16_t kPrivatePointNumbers = 0x2000;
constexpr uint16_t kTupleIndexMask = 0x0FFF;
} // namespace Gvar

constexpr uint32_t kPhantomPoints = 4;

// The bytes of glyph variation data for g (empty: the glyph does not vary).
bool GlyphVariationData(const GlyphInstance &instance, uint16_t nGlyph, BEReader &data)
{
    const BEReader &gvar = instance.tables.gvar;
    uint16_t wFlags = 0;
    uint32_t dwArray = 0;
    if (!gvar.U16(Gvar::kFlags, wFlags) || !gvar.U32(Gvar::kDataArrayOffset, dwArray))
        return false;
    uint32_t dwStart = 0, dwEnd = 0;
    if (wFlags & Gvar::kLongOffsets) {
        if (!gvar.U32(Gvar::kOffsets + 4 * size_t{nGlyph}, dwStart) ||
            !gvar.U32(Gvar::kOffsets + 4 * size_t{nGlyph} + 4, dwEnd))
            return false;
    } else {
        uint16_t wStart = 0, wEnd = 0;
        if (!gvar.U16(Gvar::kOffsets + 2 * size_t{nGlyph}, wStart) ||
            !gvar.U16(Gvar::kOffsets + 2 * size_t{nGlyph} + 2, wEnd))
            return false;
        dwStart = 2u * wStart;
        dwEnd = 2u * wEnd;
    }
    if (dwEnd < dwStart)
        return false;
    return gvar.Sub(size_t{dwArray} + dwStart, dwEnd - dwStart, data);
}

// Packed point numbers at *pnAt: *pbAll when they name every point.
bool ReadPointNumbers(const BEReader &data, size_t *pnAt, bool *pbAll, uint16_t *pnPoints, uint32_t *pnCount)
{
    uint8_t byFirst = 0;
    if (!data.U8((*pnAt)++, byFirst))
        return false;
    *pbAll = byFirst == 0;
    uint32_t nCount = byFirst;
    if (byFirst & 0x80) {
        uint8_t bySecond = 0;
        if (!data.U8((*pnAt)++, bySecond))
            return false;
        nCount = ((byFirst & 0x7Fu) << 8) | bySecond;
    }
    uint32_t nRead = 0;
    uint32_t nPoint = 0;
    while (nRead < nCount) {
        uint8_t byControl = 0;
        if (!data.U8((*pnAt)++, byControl))
            return false;
        const uint32_t nRun = (byControl & 0x7Fu) + 1;
        const bool bWords = byControl & 0x80;
        for (uint32_t k = 0; k < nRun && nRead < nCount; ++k) {
            uint16_t wStep = 0;
            uint8_t byStep = 0;
            if (bWords ? !data.U16(*pnAt, wStep) : !data.U8(*pnAt, byStep))
                return false;
            *pnAt += bWords ? 2 : 1;
            nPoint = (nPoint + (bWords ? wStep : byStep)) & 0xFFFF;
            pnPoints[nRead++] = static_cast<uint16_t>(nPoint);
        }
    }
    *pnCount = nCount;
    return true;
}

// nCount packed deltas at *pnAt.
bool ReadDeltas(const BEReader &data, size_t *pnAt, uint32_t nCount, int32_t *pnDeltas)
{
    uint32_t nRead = 0;
    while (nRead < nCount) {
        uint8_t byControl = 0;
        if (!data.U8((*pnAt)++, byControl))
            return false;
        const uint32_t nRun = (byControl & 0x3Fu) + 1;
        const unsigned nKind = byControl >> 6; // 0 bytes, 1 words, 2 zeros, 3 longs
        const size_t nSize = nKind == 0 ? 1 : nKind == 1 ? 2 : nKind == 3 ? 4 : 0;
        if (!data.Contains(*pnAt, nSize * nRun) || nRun > nCount - nRead)
            return false;
        // The run lies inside the data (checked above): read it in place.
        int32_t *pn = pnDeltas + nRead;
        if (nKind == 2) {
            std::fill(pn, pn + nRun, 0);
        } else {
            const uint8_t *pby = data.Data() + *pnAt;
            for (uint32_t k = 0; k < nRun; ++k, pby += nSize)
                pn[k] = nKind == 0   ? static_cast<int8_t>(pby[0])
                        : nKind == 1 ? static_cast<int16_t>((pby[0] << 8) | pby[1])
                                     : static_cast<int32_t>(uint32_t{pby[0]} << 24 | uint32_t{pby[1]} << 16 |
                                                            uint32_t{pby[2]} << 8 | pby[3]);
        }
        *pnAt += nSize * nRun;
        nRead += nRun;
    }
    return true;
}

// Interpolates one coordinate of the untouched points between touched
// points a and b (cyclic within [nFirst, nLast]).
void InterpolateRun(const int32_t *pnOriginal, double *pdDelta, uint32_t a, uint32_t b, uint32_t nFirst,
                    uint32_t nLast)
{
    const double d1 = pdDelta[a], d2 = pdDelta[b];
    int32_t x1 = pnOriginal[a], x2 = pnOriginal[b];
    double dLow = d1, dHigh = d2;
    if (x1 > x2) {
        std::swap(x1, x2);
        std::swap(dLow, dHigh);
    }
    for (uint32_t p = a == nLast ? nFirst : a + 1; p != b; p = p == nLast ? nFirst : p + 1) {
        const int32_t x = pnOriginal[p];
        if (x1 == x2)
            pdDelta[p] = d1 == d2 ? d1 : 0;
        else if (x <= x1)
            pdDelta[p] = dLow;
        else if (x >= x2)
            pdDelta[p] = dHigh;
        else
            pdDelta[p] = dLow + (x - x1) * (dHigh - dLow) / (x2 - x1);
    }
}

// Interpolation of untouched points, contour by contour.
void InterpolateUntouched(GlyphPointsScratch &pts, const uint8_t *pbTouched, double *pdX, double *pdY)
{
    uint32_t nFirst = 0;
    for (uint32_t c = 0; c < pts.nContours; ++c) {
        const uint32_t nLast = pts.pnEnds[c];
        if (nLast < nFirst || nLast >= pts.nOutline) {
            nFirst = nLast + 1;
            continue;
        }
        uint32_t nFirstTouched = UINT32_MAX;
        for (uint32_t p = nFirst; p <= nLast; ++p)
            if (pbTouched[p]) {
                nFirstTouched = p;
                break;
            }
        if (nFirstTouched != UINT32_MAX) {
            uint32_t a = nFirstTouched;
            for (;;) {
                uint32_t b = a == nLast ? nFirst : a + 1;
                while (!pbTouched[b])
                    b = b == nLast ? nFirst : b + 1;
                InterpolateRun(pts.pnX, pdX, a, b, nFirst, nLast);
                InterpolateRun(pts.pnY, pdY, a, b, nFirst, nLast);
                if (b <= a || b == nFirstTouched)
                    break;
                a = b;
            }
        }
        nFirst = nLast + 1;
    }
}

// The tuple's region scalar from its header at *pnAt (moved past it).
bool TupleScalar(const GlyphInstance &instance, const BEReader &data, size_t *pnAt, uint16_t wIndex,
                 double *pdScalar)
{
    const BEReader &gvar = instance.tables.gvar;
    const uint16_t nAxes = instance.coordinates.nAxes;
    int16_t anPeak[kMaxVariationAxes], anStart[kMaxVariationAxes], anEnd[kMaxVariationAxes];
    if (wIndex & Gvar::kEmbeddedPeak) {
        for (uint16_t a = 0; a < nAxes; ++a)
            if (!data.I16(*pnAt + 2 * size_t{a}, anPeak[a]))
                return false;
        *pnAt += 2 * size_t{nAxes};
    } else {
        uint16_t nShared = 0;
        uint32_t dwShared = 0;
        if (!gvar.U16(Gvar::kSharedTupleCount, nShared) || !gvar.U32(Gvar::kSharedTuplesOffset, dwShared) ||
            (wIndex & Gvar::kTupleIndexMask) >= nShared)
            return false;
        const size_t nTuple = dwShared + static_cast<size_t>(wIndex & Gvar::kTupleIndexMask) * 2 * nAxes;
        for (uint16_t a = 0; a < nAxes; ++a)
            if (!gvar.I16(nTuple + 2 * size_t{a}, anPeak[a]))
                return false;
    }
    if (wIndex & Gvar::kIntermediateRegion) {
        for (uint16_t a = 0; a < nAxes; ++a)
            if (!data.I16(*pnAt + 2 * size_t{a}, anStart[a]) ||
                !data.I16(*pnAt + 2 * (size_t{nAxes} + a), anEnd[a]))
                return false;
        *pnAt += 4 * size_t{nAxes};
    } else {
        for (uint16_t a = 0; a < nAxes; ++a) {
            anStart[a] = std::min<int16_t>(anPeak[a], 0);
            anEnd[a] = std::max<int16_t>(anPeak[a], 0);
        }
    }
    *pdScalar = RegionScalar(anStart, anPeak, anEnd, instance.coordinates);
    return true;
}

} // namespace

double RegionScalar(const int16_t *pnStart, const int16_t *pnPeak, const int16_t *pnEnd,
                    const VariationCoordinates &coordinates)
{
    double dScalar = 1.0;
    for (uint16_t a = 0; a < coordinates.nAxes; ++a) {
        const int32_t s = pnStart[a], p = pnPeak[a], e = pnEnd[a], v = coordinates.anNormalized[a];
        // An axis the region does not constrain, or a region that is not
        // one (start past peak, or across zero), counts as 1.
        if (p == 0 || s > p || p > e || (s < 0 && e > 0) || v == p)
            continue;
        if (v <= s || e <= v)
            return 0.0;
        dScalar *= v < p ? double(v - s) / double(p - s) : double(e - v) / double(e - p);
    }
    return dScalar;
}

VaryResult ApplyGlyphDeltas(GlyphInstance &instance, uint16_t nGlyph, GlyphPointsScratch &pts, bool bInterpolate)
{
    const uint32_t nPoints = pts.nOutline + kPhantomPoints;
    std::fill(pts.pdDx, pts.pdDx + nPoints, 0.0);
    std::fill(pts.pdDy, pts.pdDy + nPoints, 0.0);
    BEReader data;
    if (!GlyphVariationData(instance, nGlyph, data))
        return VaryResult::kDamaged;
    if (data.Size() == 0)
        return VaryResult::kOk;
    VariationScratch &scratch = *instance.pScratch;
    if (!GrowTupleScratch(scratch, nPoints))
        return VaryResult::kNoMemory;
    uint16_t wCount = 0, wDataOffset = 0;
    if (!data.U16(0, wCount) || !data.U16(2, wDataOffset))
        return VaryResult::kDamaged;
    size_t nSerial = wDataOffset;
    bool bSharedAll = true;
    uint32_t nShared = 0;
    if ((wCount & Gvar::kSharedPointNumbers) &&
        !ReadPointNumbers(data, &nSerial, &bSharedAll, scratch.pnSharedPoints, &nShared))
        return VaryResult::kDamaged;
    size_t nHeader = 4;
    for (uint32_t t = 0; t < (wCount & Gvar::kTupleCountMask); ++t) {
        uint16_t wSize = 0, wIndex = 0;
        if (!data.U16(nHeader, wSize) || !data.U16(nHeader + 2, wIndex))
            return VaryResult::kDamaged;
        nHeader += 4;
        double dScalar = 0;
        if (!TupleScalar(instance, data, &nHeader, wIndex, &dScalar))
            return VaryResult::kDamaged;
        BEReader tuple;
        if (!data.Sub(nSerial, wSize, tuple))
            return VaryResult::kDamaged;
        nSerial += wSize;
        if (dScalar == 0.0)
            continue;
        size_t nAt = 0;
        bool bAll = bSharedAll;
        uint32_t nCount = nShared;
        const uint16_t *pnPoints = scratch.pnSharedPoints;
        if (wIndex & Gvar::kPrivatePointNumbers) {
            if (!ReadPointNumbers(tuple, &nAt, &bAll, scratch.pnPrivatePoints, &nCount))
                return VaryResult::kDamaged;
            pnPoints = scratch.pnPrivatePoints;
        }
        if (bAll)
            nCount = nPoints;
        if (!GrowDeltaScratch(scratch, nCount))
            return VaryResult::kNoMemory;
        if (!ReadDeltas(tuple, &nAt, nCount, scratch.pnDeltaX) || !ReadDeltas(tuple, &nAt, nCount, scratch.pnDeltaY))
            return VaryResult::kDamaged;
        if (bAll) {
            for (uint32_t p = 0; p < nPoints; ++p) {
                pts.pdDx[p] += dScalar * scratch.pnDeltaX[p];
                pts.pdDy[p] += dScalar * scratch.pnDeltaY[p];
            }
            continue;
        }
        // Some points: the rest of a simple glyph's outline follows its
        // contours' touched points; a composite's other components stay.
        std::fill(scratch.pdTupleX, scratch.pdTupleX + nPoints, 0.0);
        std::fill(scratch.pdTupleY, scratch.pdTupleY + nPoints, 0.0);
        std::fill(scratch.pbTouched, scratch.pbTouched + nPoints, uint8_t{0});
        for (uint32_t k = 0; k < nCount; ++k) {
            const uint16_t p = pnPoints[k];
            if (p >= nPoints)
                continue;
            scratch.pdTupleX[p] = scratch.pnDeltaX[k];
            scratch.pdTupleY[p] = scratch.pnDeltaY[k];
            scratch.pbTouched[p] = 1;
        }
        if (bInterpolate)
            InterpolateUntouched(pts, scratch.pbTouched, scratch.pdTupleX, scratch.pdTupleY);
        for (uint32_t p = 0; p < nPoints; ++p) {
            pts.pdDx[p] += dScalar * scratch.pdTupleX[p];
            pts.pdDy[p] += dScalar * scratch.pdTupleY[p];
        }
    }
    return VaryResult::kOk;
}

VaryResult OpenGlyphInstance(GlyphInstance &instance, const VariableGlyphTables &tables,
                             const VariationCoordinates &coordinates)
{
    instance = GlyphInstance{};
    instance.tables = tables;
    instance.coordinates = coordinates;
    uint16_t nMajor = 0, nAxes = 0, nGlyphs = 0, wFlags = 0;
    if (!tables.gvar.U16(Gvar::kMajorVersion, nMajor) || !tables.gvar.U16(Gvar::kAxisCount, nAxes) ||
        !tables.gvar.U16(Gvar::kGlyphCount, nGlyphs) || !tables.gvar.U16(Gvar::kFlags, wFlags) || nMajor != 1 ||
        nAxes != coordinates.nAxes || nGlyphs < tables.nGlyphs ||
        !tables.gvar.Contains(Gvar::kOffsets, (size_t{tables.nGlyphs} + 1) * ((wFlags & Gvar::kLongOffsets) ? 4 : 2)))
        return VaryResult::kDamaged;
    instance.pScratch = NewVariationScratch();
    return instance.pScratch ? VaryResult::kOk : VaryResult::kNoMemory;
}

void CloseGlyphInstance(GlyphInstance &instance)
{
    FreeVariationScratch(instance.pScratch);
    if (instance.pbyGlyph != nullptr)
        GlobalFree(instance.pbyGlyph);
    instance.pScratch = nullptr;
    instance.pbyGlyph = nullptr;
    instance.dwGlyphCapacity = 0;
}
