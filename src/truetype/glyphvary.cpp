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
constexpr uint16_t kScaledComponentOffset = 0x0800;
constexpr uint16_t kUnscaledComponentOffset = 0x1000;

// floor(d + 0.5) without a call to floor: truncation, one less below zero.
int32_t Round(double d)
{
    const double dHalfUp = d + 0.5;
    const auto n = static_cast<int32_t>(dHalfUp);
    return n - (dHalfUp < n ? 1 : 0);
}

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
    if (++scratch.nVisits > kMaxFlattenVisits || !InstanceSourceGlyph(instance.tables, nGlyph, glyph))
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

} // namespace

VaryResult VaryGlyphBox(GlyphInstance &instance, uint16_t nGlyph, GlyphBox &box, int32_t *pnOriginDelta,
                        int32_t *pnAdvanceDelta)
{
    int32_t nOrigin = 0, nAdvance = 0;
    VariationScratch &scratch = *instance.pScratch;
    scratch.nFlat = 0;
    scratch.nVisits = 0;
    BEReader glyph;
    int16_t nContours = 0;
    VaryResult result = VaryResult::kOk;
    if (InstanceSourceGlyph(instance.tables, nGlyph, glyph) && glyph.Size() >= GlyphHeader::kSize &&
        glyph.I16(GlyphHeader::kNumberOfContours, nContours) && nContours > 0) {
        // A simple glyph's box straight from its moved points.
        result = VarySimplePoints(instance, nGlyph, glyph, static_cast<uint16_t>(nContours), &nOrigin, &nAdvance);
        if (result != VaryResult::kOk)
            return result;
        const GlyphPointsScratch &pts = scratch.points;
        box = GlyphBox{pts.pnX[0], pts.pnY[0], pts.pnX[0], pts.pnY[0], false};
        for (uint32_t p = 1; p < pts.nOutline; ++p) {
            box.nXMin = std::min(box.nXMin, pts.pnX[p]);
            box.nXMax = std::max(box.nXMax, pts.pnX[p]);
            box.nYMin = std::min(box.nYMin, pts.pnY[p]);
            box.nYMax = std::max(box.nYMax, pts.pnY[p]);
        }
    } else {
        result = Flatten(instance, nGlyph, 0, &nOrigin, &nAdvance);
        if (result != VaryResult::kOk)
            return result;
        box = FlatBox(scratch);
    }
    if (pnOriginDelta != nullptr)
        *pnOriginDelta = nOrigin;
    if (pnAdvanceDelta != nullptr)
        *pnAdvanceDelta = nAdvance;
    return FitsInt16(box) ? VaryResult::kOk : VaryResult::kDamaged;
}

VaryResult VaryCompositeBox(GlyphInstance &instance, uint16_t nGlyph, const GlyphBox *pKnown, GlyphBox &box,
                            int32_t *pnOriginDelta, int32_t *pnAdvanceDelta)
{
    BEReader glyph;
    int16_t nContours = 0;
    if (!InstanceSourceGlyph(instance.tables, nGlyph, glyph) || glyph.Size() < GlyphHeader::kSize ||
        !glyph.I16(GlyphHeader::kNumberOfContours, nContours) || nContours >= 0)
        return VaryGlyphBox(instance, nGlyph, box, pnOriginDelta, pnAdvanceDelta);
    ComponentScratch &components = instance.pScratch->aComponents[0];
    const VaryResult result = ReadComponents(instance, nGlyph, glyph, components, pnOriginDelta, pnAdvanceDelta);
    if (result != VaryResult::kOk)
        return result;
    box = GlyphBox{0, 0, 0, 0, true};
    for (uint32_t k = 0; k < components.nCount; ++k) {
        const double *pd = components.pdMatrix + 4 * size_t{k};
        const uint16_t wChild = components.pwGlyph[k];
        const bool bPlain = (components.pwFlags[k] & kArgsAreXYValues) && pd[0] == 1.0 && pd[1] == 0.0 &&
                            pd[2] == 0.0 && pd[3] == 1.0;
        if (!bPlain || wChild >= instance.tables.nGlyphs || pKnown[wChild].nXMin == kUnknownBox)
            return VaryGlyphBox(instance, nGlyph, box, pnOriginDelta, pnAdvanceDelta);
        const GlyphBox &child = pKnown[wChild];
        if (child.bEmpty)
            continue;
        const int32_t dx = components.pnArg1[k], dy = components.pnArg2[k];
        const GlyphBox moved{child.nXMin + dx, child.nYMin + dy, child.nXMax + dx, child.nYMax + dy, false};
        box = box.bEmpty ? moved
                         : GlyphBox{std::min(box.nXMin, moved.nXMin), std::min(box.nYMin, moved.nYMin),
                                    std::max(box.nXMax, moved.nXMax), std::max(box.nYMax, moved.nYMax), false};
    }
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
