// SPDX-License-Identifier: MIT
// A variable font's glyph at an instance, in TrueType form: a simple glyph
// with its points moved, a composite with its components' offsets moved
// (each component is one point of the composite's variations), the box
// recomputed from the moved points (a composite's from its components',
// transformed), and the instructions left out.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "truetype/instance.h"
#include "truetype/instancescratch.h"
#include "truetype/tables.h"

namespace {

constexpr uint32_t kPhantomPoints = 4;
constexpr uint16_t kArgsAreXYValues = 0x0002;
constexpr uint16_t kWeHaveInstructions = 0x0100;
constexpr uint16_t kScaledComponentOffset = 0x0800;
constexpr uint16_t kUnscaledComponentOffset = 0x1000;
constexpr uint8_t kKeptPointFlags = 0x41; // on curve, overlapping contours

template <typename T>
bool Regrow(T *&p, uint32_t nCount)
{
    if (p != nullptr)
        GlobalFree(p);
    p = static_cast<T *>(GlobalAlloc(GMEM_FIXED, sizeof(T) * (nCount ? nCount : 1)));
    return p != nullptr;
}

int32_t Round(double d) { return static_cast<int32_t>(std::floor(d + 0.5)); }

} // namespace

bool InstanceSourceGlyph(const VariableGlyphTables &tables, uint16_t nGlyph, BEReader &glyph)
{
    if (nGlyph >= tables.nGlyphs)
        return false;
    uint32_t dwStart = 0, dwEnd = 0;
    if (tables.bLongLoca) {
        if (!tables.loca.U32(4 * size_t{nGlyph}, dwStart) || !tables.loca.U32(4 * size_t{nGlyph} + 4, dwEnd))
            return false;
    } else {
        uint16_t wStart = 0, wEnd = 0;
        if (!tables.loca.U16(2 * size_t{nGlyph}, wStart) || !tables.loca.U16(2 * size_t{nGlyph} + 2, wEnd))
            return false;
        dwStart = 2u * wStart;
        dwEnd = 2u * wEnd;
    }
    return dwEnd >= dwStart && tables.glyf.Sub(dwStart, dwEnd - dwStart, glyph);
}

namespace {

// A simple glyph's contour ends, flags and coordinates (nContours > 0).
bool ReadSimpleGlyph(const BEReader &glyph, uint16_t nContours, GlyphPointsScratch &pts, bool *pbNoMemory)
{
    uint16_t nLast = 0;
    if (!glyph.U16(GlyphHeader::kSize + 2 * size_t{nContours - 1u}, nLast))
        return false;
    const uint32_t nPoints = nLast + 1u;
    if (!GrowPointsScratch(pts, nPoints + kPhantomPoints, nContours)) {
        *pbNoMemory = true;
        return false;
    }
    pts.nOutline = nPoints;
    pts.nContours = nContours;
    uint16_t nPrevious = 0;
    for (uint16_t c = 0; c < nContours; ++c) {
        if (!glyph.U16(GlyphHeader::kSize + 2 * size_t{c}, pts.pnEnds[c]) || pts.pnEnds[c] < nPrevious)
            return false;
        nPrevious = pts.pnEnds[c];
    }
    uint16_t nInstructions = 0;
    size_t nAt = GlyphHeader::kSize + 2 * size_t{nContours};
    if (!glyph.U16(nAt, nInstructions))
        return false;
    nAt += 2 + size_t{nInstructions};
    for (uint32_t p = 0; p < nPoints;) {
        uint8_t byFlag = 0, byRepeat = 0;
        if (!glyph.U8(nAt++, byFlag))
            return false;
        if ((byFlag & SimpleGlyph::kRepeat) && !glyph.U8(nAt++, byRepeat))
            return false;
        if (byRepeat >= nPoints - p)
            return false;
        for (uint32_t k = 0; k <= byRepeat; ++k)
            pts.pbyFlags[p++] = byFlag;
    }
    for (int axis = 0; axis < 2; ++axis) {
        const uint8_t kShort = axis == 0 ? SimpleGlyph::kXShort : SimpleGlyph::kYShort;
        const uint8_t kSame = axis == 0 ? SimpleGlyph::kXSameOrPositive : SimpleGlyph::kYSameOrPositive;
        int32_t *pn = axis == 0 ? pts.pnX : pts.pnY;
        int32_t nValue = 0;
        for (uint32_t p = 0; p < nPoints; ++p) {
            const uint8_t byFlag = pts.pbyFlags[p];
            if (byFlag & kShort) {
                uint8_t by = 0;
                if (!glyph.U8(nAt++, by))
                    return false;
                nValue += (byFlag & kSame) ? by : -int32_t{by};
            } else if (!(byFlag & kSame)) {
                int16_t n = 0;
                if (!glyph.I16(nAt, n))
                    return false;
                nAt += 2;
                nValue += n;
            }
            pn[p] = nValue;
        }
    }
    for (uint32_t p = nPoints; p < nPoints + kPhantomPoints; ++p)
        pts.pnX[p] = pts.pnY[p] = 0;
    return true;
}

// The component records of a composite, their offsets moved by the deltas.
VaryResult ReadComponents(GlyphInstance &instance, uint16_t nGlyph, const BEReader &glyph,
                          ComponentScratch &components, int32_t *pnOriginDelta, int32_t *pnAdvanceDelta)
{
    components.nCount = 0;
    size_t nAt = GlyphHeader::kSize;
    for (uint16_t wFlags = GlyphComponent::kMoreComponents; wFlags & GlyphComponent::kMoreComponents;) {
        uint16_t wGlyph = 0;
        if (!glyph.U16(nAt, wFlags) || !glyph.U16(nAt + 2, wGlyph))
            return VaryResult::kDamaged;
        nAt += 4;
        if (!GrowComponentScratch(components, components.nCount + 1))
            return VaryResult::kNoMemory;
        const uint32_t k = components.nCount++;
        components.pwFlags[k] = wFlags;
        components.pwGlyph[k] = wGlyph;
        const bool bWords = wFlags & GlyphComponent::kArg1And2AreWords;
        const bool bSigned = wFlags & kArgsAreXYValues;
        for (int32_t *pnArg : {&components.pnArg1[k], &components.pnArg2[k]}) {
            uint16_t w = 0;
            uint8_t by = 0;
            if (bWords ? !glyph.U16(nAt, w) : !glyph.U8(nAt, by))
                return VaryResult::kDamaged;
            nAt += bWords ? 2 : 1;
            *pnArg = bWords ? (bSigned ? int16_t(w) : int32_t{w}) : (bSigned ? int8_t(by) : int32_t{by});
        }
        double *pd = components.pdMatrix + 4 * size_t{k};
        int16_t an[4] = {16384, 0, 0, 16384};
        const int nValues = (wFlags & GlyphComponent::kWeHaveAScale)         ? 1
                            : (wFlags & GlyphComponent::kWeHaveAnXAndYScale) ? 2
                            : (wFlags & GlyphComponent::kWeHaveATwoByTwo)    ? 4
                                                                             : 0;
        for (int v = 0; v < nValues; ++v)
            if (!glyph.I16(nAt + 2 * size_t(v), an[v]))
                return VaryResult::kDamaged;
        nAt += 2 * size_t(nValues);
        if (nValues == 1)
            an[3] = an[0];
        else if (nValues == 2)
            an[3] = an[1], an[1] = 0;
        for (int v = 0; v < 4; ++v)
            pd[v] = an[v] / 16384.0;
    }
    GlyphPointsScratch &pts = instance.pScratch->points;
    if (!GrowPointsScratch(pts, components.nCount + kPhantomPoints, 0))
        return VaryResult::kNoMemory;
    pts.nOutline = components.nCount;
    pts.nContours = 0;
    const VaryResult result = ApplyGlyphDeltas(instance, nGlyph, pts, false);
    if (result != VaryResult::kOk)
        return result;
    for (uint32_t k = 0; k < components.nCount; ++k)
        if (components.pwFlags[k] & kArgsAreXYValues) {
            components.pnArg1[k] += Round(pts.pdDx[k]);
            components.pnArg2[k] += Round(pts.pdDy[k]);
        }
    if (pnOriginDelta != nullptr) {
        *pnOriginDelta = Round(pts.pdDx[components.nCount]);
        *pnAdvanceDelta = Round(pts.pdDx[components.nCount + 1]) - *pnOriginDelta;
    }
    return VaryResult::kOk;
}

// A simple glyph's points at the instance, in place of the font's.
VaryResult VarySimplePoints(GlyphInstance &instance, uint16_t nGlyph, const BEReader &glyph, uint16_t nContours,
                            int32_t *pnOriginDelta, int32_t *pnAdvanceDelta)
{
    GlyphPointsScratch &pts = instance.pScratch->points;
    bool bNoMemory = false;
    if (!ReadSimpleGlyph(glyph, nContours, pts, &bNoMemory))
        return bNoMemory ? VaryResult::kNoMemory : VaryResult::kDamaged;
    const VaryResult result = ApplyGlyphDeltas(instance, nGlyph, pts, true);
    if (result != VaryResult::kOk)
        return result;
    for (uint32_t p = 0; p < pts.nOutline; ++p) {
        pts.pnX[p] += Round(pts.pdDx[p]);
        pts.pnY[p] += Round(pts.pdDy[p]);
    }
    if (pnOriginDelta != nullptr) {
        *pnOriginDelta = Round(pts.pdDx[pts.nOutline]);
        *pnAdvanceDelta = Round(pts.pdDx[pts.nOutline + 1]) - *pnOriginDelta;
    }
    return VaryResult::kOk;
}

// Appends glyph g's points at the instance, its components placed, to the
// flattened points.
VaryResult Flatten(GlyphInstance &instance, uint16_t nGlyph, int nDepth, int32_t *pnOriginDelta,
                   int32_t *pnAdvanceDelta)
{
    VariationScratch &scratch = *instance.pScratch;
    BEReader glyph;
    if (!InstanceSourceGlyph(instance.tables, nGlyph, glyph))
        return VaryResult::kDamaged;
    int16_t nContours = 0;
    if (glyph.Size() == 0 || (glyph.I16(GlyphHeader::kNumberOfContours, nContours) && nContours == 0))
        return VaryResult::kOk;
    if (glyph.Size() < GlyphHeader::kSize)
        return VaryResult::kDamaged;
    if (nContours > 0) {
        const VaryResult result =
            VarySimplePoints(instance, nGlyph, glyph, static_cast<uint16_t>(nContours), pnOriginDelta, pnAdvanceDelta);
        if (result != VaryResult::kOk)
            return result;
        const GlyphPointsScratch &pts = scratch.points;
        if (pts.nOutline > kMaxFlatPoints - scratch.nFlat)
            return VaryResult::kDamaged;
        if (!GrowFlatScratch(scratch, scratch.nFlat + pts.nOutline))
            return VaryResult::kNoMemory;
        for (uint32_t p = 0; p < pts.nOutline; ++p) {
            scratch.pdFlatX[scratch.nFlat + p] = pts.pnX[p];
            scratch.pdFlatY[scratch.nFlat + p] = pts.pnY[p];
        }
        scratch.nFlat += pts.nOutline;
        return VaryResult::kOk;
    }
    if (nDepth >= kMaxFlattenDepth)
        return VaryResult::kDamaged;
    ComponentScratch &components = scratch.aComponents[nDepth];
    VaryResult result = ReadComponents(instance, nGlyph, glyph, components, pnOriginDelta, pnAdvanceDelta);
    const uint32_t nBase = scratch.nFlat;
    for (uint32_t k = 0; k < components.nCount && result == VaryResult::kOk; ++k) {
        const uint32_t nStart = scratch.nFlat;
        result = Flatten(instance, components.pwGlyph[k], nDepth + 1, nullptr, nullptr);
        if (result != VaryResult::kOk)
            break;
        const double *pd = components.pdMatrix + 4 * size_t{k};
        double *pdX = scratch.pdFlatX, *pdY = scratch.pdFlatY;
        for (uint32_t p = nStart; p < scratch.nFlat; ++p) {
            const double x = pdX[p], y = pdY[p];
            pdX[p] = pd[0] * x + pd[2] * y;
            pdY[p] = pd[1] * x + pd[3] * y;
        }
        const uint16_t wFlags = components.pwFlags[k];
        double dx = 0, dy = 0;
        if (wFlags & kArgsAreXYValues) {
            dx = components.pnArg1[k];
            dy = components.pnArg2[k];
            if ((wFlags & kScaledComponentOffset) && !(wFlags & kUnscaledComponentOffset)) {
                const double x = dx;
                dx = pd[0] * x + pd[2] * dy;
                dy = pd[1] * x + pd[3] * dy;
            }
        } else {
            // Point matching: the component's point lies on the parent's.
            const uint64_t nParent = uint64_t{nBase} + uint32_t(components.pnArg1[k]);
            const uint64_t nChild = uint64_t{nStart} + uint32_t(components.pnArg2[k]);
            if (nParent >= nStart || nChild >= scratch.nFlat)
                return VaryResult::kDamaged;
            dx = pdX[nParent] - pdX[nChild];
            dy = pdY[nParent] - pdY[nChild];
        }
        for (uint32_t p = nStart; p < scratch.nFlat; ++p) {
            pdX[p] += dx;
            pdY[p] += dy;
        }
    }
    return result;
}

GlyphBox FlatBox(const VariationScratch &scratch)
{
    GlyphBox box{0, 0, 0, 0, scratch.nFlat == 0};
    if (box.bEmpty)
        return box;
    double dXMin = scratch.pdFlatX[0], dXMax = dXMin, dYMin = scratch.pdFlatY[0], dYMax = dYMin;
    for (uint32_t p = 1; p < scratch.nFlat; ++p) {
        dXMin = std::min(dXMin, scratch.pdFlatX[p]);
        dXMax = std::max(dXMax, scratch.pdFlatX[p]);
        dYMin = std::min(dYMin, scratch.pdFlatY[p]);
        dYMax = std::max(dYMax, scratch.pdFlatY[p]);
    }
    return GlyphBox{Round(dXMin), Round(dYMin), Round(dXMax), Round(dYMax), false};
}

bool FitsInt16(const GlyphBox &box)
{
    return box.nXMin >= INT16_MIN && box.nYMin >= INT16_MIN && box.nXMax <= INT16_MAX && box.nYMax <= INT16_MAX;
}

bool GrowOutput(GlyphInstance &instance, uint64_t qwSize)
{
    if (qwSize > UINT32_MAX)
        return false;
    if (instance.dwGlyphCapacity >= qwSize)
        return true;
    instance.dwGlyphCapacity = 0;
    if (!Regrow(instance.pbyGlyph, static_cast<uint32_t>(qwSize)))
        return false;
    instance.dwGlyphCapacity = static_cast<uint32_t>(qwSize);
    return true;
}

void PutBox(uint8_t *pby, int16_t nContours, const GlyphBox &box)
{
    PutBE16(pby + GlyphHeader::kNumberOfContours, static_cast<uint16_t>(nContours));
    PutBE16(pby + GlyphHeader::kXMin, static_cast<uint16_t>(box.nXMin));
    PutBE16(pby + GlyphHeader::kYMin, static_cast<uint16_t>(box.nYMin));
    PutBE16(pby + GlyphHeader::kXMax, static_cast<uint16_t>(box.nXMax));
    PutBE16(pby + GlyphHeader::kYMax, static_cast<uint16_t>(box.nYMax));
}

// The simple glyph in the scratch points, written with the usual packing
// (short and repeated values, repeated flags) and no instructions.
VaryResult WriteSimpleGlyph(GlyphInstance &instance, const GlyphBox &box, int32_t *pnLength)
{
    const GlyphPointsScratch &pts = instance.pScratch->points;
    const uint32_t n = pts.nOutline;
    if (!GrowOutput(instance, GlyphHeader::kSize + 2ull * pts.nContours + 2 + 5ull * n))
        return VaryResult::kNoMemory;
    uint8_t *pby = instance.pbyGlyph;
    PutBox(pby, static_cast<int16_t>(pts.nContours), box);
    size_t nAt = GlyphHeader::kSize;
    for (uint32_t c = 0; c < pts.nContours; ++c, nAt += 2)
        PutBE16(pby + nAt, pts.pnEnds[c]);
    PutBE16(pby + nAt, 0);
    nAt += 2;
    // Flags first, into the scratch flags, then packed.
    uint8_t *pbyFlags = pts.pbyFlags;
    for (uint32_t p = 0; p < n; ++p) {
        const int32_t dx = pts.pnX[p] - (p ? pts.pnX[p - 1] : 0);
        const int32_t dy = pts.pnY[p] - (p ? pts.pnY[p - 1] : 0);
        uint8_t by = pbyFlags[p] & kKeptPointFlags;
        if (dx == 0)
            by |= SimpleGlyph::kXSameOrPositive;
        else if (dx >= -255 && dx <= 255)
            by |= SimpleGlyph::kXShort | (dx > 0 ? SimpleGlyph::kXSameOrPositive : 0);
        if (dy == 0)
            by |= SimpleGlyph::kYSameOrPositive;
        else if (dy >= -255 && dy <= 255)
            by |= SimpleGlyph::kYShort | (dy > 0 ? SimpleGlyph::kYSameOrPositive : 0);
        pbyFlags[p] = by;
    }
    for (uint32_t p = 0; p < n;) {
        uint32_t nRepeat = 0;
        while (p + 1 + nRepeat < n && nRepeat < 255 && pbyFlags[p + 1 + nRepeat] == pbyFlags[p])
            ++nRepeat;
        if (nRepeat > 0) {
            pby[nAt++] = pbyFlags[p] | SimpleGlyph::kRepeat;
            pby[nAt++] = static_cast<uint8_t>(nRepeat);
        } else {
            pby[nAt++] = pbyFlags[p];
        }
        p += nRepeat + 1;
    }
    for (uint32_t p = 1; p < n; ++p)
        if (std::abs(pts.pnX[p] - pts.pnX[p - 1]) > INT16_MAX || std::abs(pts.pnY[p] - pts.pnY[p - 1]) > INT16_MAX)
            return VaryResult::kDamaged;
    for (int axis = 0; axis < 2; ++axis) {
        const int32_t *pn = axis == 0 ? pts.pnX : pts.pnY;
        const uint8_t kShort = axis == 0 ? SimpleGlyph::kXShort : SimpleGlyph::kYShort;
        const uint8_t kSame = axis == 0 ? SimpleGlyph::kXSameOrPositive : SimpleGlyph::kYSameOrPositive;
        for (uint32_t p = 0; p < n; ++p) {
            const int32_t d = pn[p] - (p ? pn[p - 1] : 0);
            if (pbyFlags[p] & kShort) {
                pby[nAt++] = static_cast<uint8_t>(d < 0 ? -d : d);
            } else if (!(pbyFlags[p] & kSame)) {
                PutBE16(pby + nAt, static_cast<uint16_t>(static_cast<int16_t>(d)));
                nAt += 2;
            }
        }
    }
    if (nAt > static_cast<size_t>(INT32_MAX))
        return VaryResult::kDamaged;
    *pnLength = static_cast<int32_t>(nAt);
    return VaryResult::kOk;
}

// The composite's records with their moved offsets, no instructions.
VaryResult WriteComposite(GlyphInstance &instance, const ComponentScratch &components, const GlyphBox &box,
                          int32_t *pnLength)
{
    if (!GrowOutput(instance, GlyphHeader::kSize + 16ull * components.nCount))
        return VaryResult::kNoMemory;
    uint8_t *pby = instance.pbyGlyph;
    PutBox(pby, -1, box);
    size_t nAt = GlyphHeader::kSize;
    for (uint32_t k = 0; k < components.nCount; ++k) {
        uint16_t wFlags = components.pwFlags[k] & ~kWeHaveInstructions;
        const int32_t n1 = components.pnArg1[k], n2 = components.pnArg2[k];
        const bool bXY = wFlags & kArgsAreXYValues;
        if (bXY && (n1 < INT16_MIN || n1 > INT16_MAX || n2 < INT16_MIN || n2 > INT16_MAX))
            return VaryResult::kDamaged;
        const bool bBytes = bXY ? n1 >= -128 && n1 <= 127 && n2 >= -128 && n2 <= 127 : n1 <= 255 && n2 <= 255;
        wFlags = bBytes ? wFlags & ~GlyphComponent::kArg1And2AreWords : wFlags | GlyphComponent::kArg1And2AreWords;
        PutBE16(pby + nAt, wFlags);
        PutBE16(pby + nAt + 2, components.pwGlyph[k]);
        nAt += 4;
        for (const int32_t n : {n1, n2}) {
            if (bBytes) {
                pby[nAt++] = static_cast<uint8_t>(n);
            } else {
                PutBE16(pby + nAt, static_cast<uint16_t>(n));
                nAt += 2;
            }
        }
        const double *pd = components.pdMatrix + 4 * size_t{k};
        int anIndex[4] = {0, 0, 0, 0};
        int nValues = 0;
        if (wFlags & GlyphComponent::kWeHaveAScale)
            anIndex[nValues++] = 0;
        else if (wFlags & GlyphComponent::kWeHaveAnXAndYScale)
            anIndex[nValues++] = 0, anIndex[nValues++] = 3;
        else if (wFlags & GlyphComponent::kWeHaveATwoByTwo)
            for (int v = 0; v < 4; ++v)
                anIndex[nValues++] = v;
        for (int v = 0; v < nValues; ++v, nAt += 2)
            PutBE16(pby + nAt, static_cast<uint16_t>(static_cast<int16_t>(pd[anIndex[v]] * 16384.0)));
    }
    *pnLength = static_cast<int32_t>(nAt);
    return VaryResult::kOk;
}

} // namespace

VaryResult VaryGlyphBox(GlyphInstance &instance, uint16_t nGlyph, GlyphBox &box, int32_t *pnOriginDelta,
                        int32_t *pnAdvanceDelta)
{
    int32_t nOrigin = 0, nAdvance = 0;
    instance.pScratch->nFlat = 0;
    const VaryResult result = Flatten(instance, nGlyph, 0, &nOrigin, &nAdvance);
    if (result != VaryResult::kOk)
        return result;
    box = FlatBox(*instance.pScratch);
    if (pnOriginDelta != nullptr)
        *pnOriginDelta = nOrigin;
    if (pnAdvanceDelta != nullptr)
        *pnAdvanceDelta = nAdvance;
    return FitsInt16(box) ? VaryResult::kOk : VaryResult::kDamaged;
}

VaryResult VaryGlyph(GlyphInstance &instance, uint16_t nGlyph, int32_t *pnLength, GlyphBox *pBox,
                     int32_t *pnOriginDelta, int32_t *pnAdvanceDelta)
{
    BEReader glyph;
    if (!InstanceSourceGlyph(instance.tables, nGlyph, glyph))
        return VaryResult::kDamaged;
    int16_t nContours = 0;
    if (glyph.Size() > 0 && (!glyph.I16(GlyphHeader::kNumberOfContours, nContours) || glyph.Size() < GlyphHeader::kSize))
        return VaryResult::kDamaged;
    GlyphBox box{};
    int32_t nOrigin = 0, nAdvance = 0;
    VaryResult result = VaryGlyphBox(instance, nGlyph, box, &nOrigin, &nAdvance);
    if (result != VaryResult::kOk)
        return result;
    if (glyph.Size() == 0 || nContours == 0) {
        *pnLength = 0;
    } else if (nContours > 0) {
        // The flattening left this glyph's moved points in the scratch.
        result = WriteSimpleGlyph(instance, box, pnLength);
    } else {
        // And a composite's records, with their moved offsets, at depth 0.
        result = WriteComposite(instance, instance.pScratch->aComponents[0], box, pnLength);
    }
    if (result == VaryResult::kOk && *pnLength > kMaxInstanceGlyphLength)
        result = VaryResult::kDamaged;
    if (pBox != nullptr)
        *pBox = box;
    if (pnOriginDelta != nullptr)
        *pnOriginDelta = nOrigin;
    if (pnAdvanceDelta != nullptr)
        *pnAdvanceDelta = nAdvance;
    return result;
}
