// SPDX-License-Identifier: MIT
// The instance's glyphs written out in TrueType form: a simple glyph with
// the usual packing of flags and coordinates, a composite's records with
// their moved offsets; neither carries instructions.
#include <windows.h>

#include <cstdlib>

#include "truetype/instance.h"
#include "truetype/instancescratch.h"
#include "truetype/tables.h"

namespace {

constexpr uint16_t kArgsAreXYValues = 0x0002;
constexpr uint16_t kWeHaveInstructions = 0x0100;
constexpr uint8_t kKeptPointFlags = 0x41; // on curve, overlapping contours

bool GrowOutput(GlyphInstance &instance, uint64_t qwSize)
{
    if (qwSize > UINT32_MAX)
        return false;
    if (instance.dwGlyphCapacity >= qwSize)
        return true;
    instance.dwGlyphCapacity = 0;
    if (instance.pbyGlyph != nullptr)
        GlobalFree(instance.pbyGlyph);
    instance.pbyGlyph = static_cast<uint8_t *>(GlobalAlloc(GMEM_FIXED, static_cast<size_t>(qwSize)));
    if (instance.pbyGlyph == nullptr)
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

} // namespace

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

