// SPDX-License-Identifier: MIT
// Outline converter: any GGO_NATIVE bytes convert to a well-formed TrueType
// simple glyph within the converter's maxima, or fail cleanly.
//
// Input layout: unitsPerEm (2 bytes, little-endian), then the outline.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <span>

#include "download/outlineconvert.h"
#include "truetype/bereader.h"
#include "truetype/tables.h"
#include "fuzz_check.h"

namespace {

// Walks the glyph as a rasterizer reads it: every byte accounted for, every
// point inside the header's box widened by the curves' controls.
void CheckGlyph(const BEReader &glyph)
{
    int16_t nContours = 0, xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    Require(glyph.I16(GlyphHeader::kNumberOfContours, nContours) && glyph.I16(GlyphHeader::kXMin, xMin) &&
                glyph.I16(GlyphHeader::kYMin, yMin) && glyph.I16(GlyphHeader::kXMax, xMax) &&
                glyph.I16(GlyphHeader::kYMax, yMax),
            "glyph header cut short");
    Require(nContours > 0 && nContours <= kMaxConvertedContours, "contour count");
    Require(xMin <= xMax && yMin <= yMax, "empty box");
    size_t at = GlyphHeader::kSize;
    uint16_t wLastEnd = 0, wEnd = 0;
    for (int k = 0; k < nContours; ++k, at += 2) {
        Require(glyph.U16(at, wEnd), "contour ends cut short");
        Require(k == 0 || wEnd > wLastEnd, "contour ends not increasing");
        wLastEnd = wEnd;
    }
    const uint32_t nPoints = uint32_t{wLastEnd} + 1;
    Require(nPoints <= kMaxConvertedPoints, "point count");
    uint16_t wInstructions = 1;
    Require(glyph.U16(at, wInstructions) && wInstructions == 0, "instructions");
    at += 2;
    // Flags, then x steps, then y steps.
    uint8_t abyFlags[kMaxConvertedPoints];
    for (uint32_t i = 0; i < nPoints;) {
        uint8_t flag = 0, repeat = 0;
        Require(glyph.U8(at++, flag), "flags cut short");
        if (flag & 0x08)
            Require(glyph.U8(at++, repeat), "repeat count cut short");
        for (uint32_t r = 0; r <= repeat; ++r) {
            Require(i < nPoints, "flags run past the points");
            abyFlags[i++] = flag;
        }
    }
    for (int axis = 0; axis < 2; ++axis) {
        const uint8_t shortBit = axis == 0 ? 0x02 : 0x04, sameBit = axis == 0 ? 0x10 : 0x20;
        int32_t v = 0, vMin = 0, vMax = 0;
        for (uint32_t i = 0; i < nPoints; ++i) {
            const uint8_t flag = abyFlags[i];
            if (flag & shortBit) {
                uint8_t step = 0;
                Require(glyph.U8(at++, step), "coordinates cut short");
                v += (flag & sameBit) ? step : -step;
            } else if (!(flag & sameBit)) {
                int16_t step = 0;
                Require(glyph.I16(at, step), "coordinates cut short");
                at += 2;
                v += step;
            }
            vMin = i == 0 || v < vMin ? v : vMin;
            vMax = i == 0 || v > vMax ? v : vMax;
            // On-curve points lie on the outline, so inside its box.
            if (flag & 0x01)
                Require(v >= (axis == 0 ? xMin : yMin) && v <= (axis == 0 ? xMax : yMax),
                        "an on-curve point outside the box");
        }
        // The box lies within the points' own.
        Require((axis == 0 ? xMin : yMin) >= vMin && (axis == 0 ? xMax : yMax) <= vMax,
                "box beyond the points");
    }
    Require(at == glyph.Size(), "bytes after the glyph's points");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    const uint32_t nUnitsPerEm = data[0] | (uint32_t{data[1]} << 8);
    uint8_t *pbyGlyph = nullptr;
    uint32_t dwLength = 0;
    const int result = ConvertNativeOutline(std::span<const uint8_t>(data + 2, size - 2), nUnitsPerEm, &pbyGlyph,
                                            &dwLength);
    Require(result == 0 || result == 1, "result out of range");
    if (result == 0 || dwLength == 0) {
        Require(pbyGlyph == nullptr && dwLength == 0, "a failure or an empty outline hands out a glyph");
        return 0;
    }
    Require(pbyGlyph != nullptr && dwLength <= 65529, "glyph too long for a character");
    CheckGlyph(BEReader(pbyGlyph, dwLength));
    GlobalFree(pbyGlyph);
    return 0;
}
