// SPDX-License-Identifier: MIT
// Outlines as GetGlyphOutline gives them with GGO_NATIVE (TTPOLYGONHEADER
// and TTPOLYCURVE records in 16.16 fixed point: lines, quadratic splines,
// and the cubic splines of PostScript-flavoured fonts) turned into TrueType
// simple glyphs that a PCL XL printer can take as class 0 characters.
#pragma once

#include <cstdint>
#include <span>

// Most points and contours a converted glyph may have. A glyph beyond them
// is refused, which bounds the work and memory per glyph whatever the
// outline holds; the maxp of a converted font declares them as its maxima.
// Noto Sans CJK's most complex glyph converts to 667 points in 41 contours.
constexpr uint16_t kMaxConvertedPoints = 4000;
constexpr uint16_t kMaxConvertedContours = 1000;

// Pieces one cubic may be cut into (enough for any curve inside the 16-bit
// coordinate range at the finest tolerance).
constexpr int kMaxQuadraticsPerCubic = 64;

// The size of an em, in points, that the tolerance below is set for.
constexpr double kToleranceEmPoints = 12.0;

// The largest distance allowed between a cubic and its quadratic
// replacement, in font units: an eighth of a device pixel at 1200 dpi on an
// em of kToleranceEmPoints (units per em / 1600 at 12 points: 0.625 units at
// 1000). The soft font is scaled to whatever size a later text asks for, so
// the bound is set for text sizes rather than one request's; at 600 dpi it
// is a sixteenth of a pixel. Rounding the points to whole font units adds
// at most half a unit on each axis, as in any TrueType font.
double CubicTolerance(uint32_t nUnitsPerEm);

// Blocks a conversion works in, made once and used for every glyph:
// NewConvertScratch gives null when memory runs out.
struct ConvertScratch;
ConvertScratch *NewConvertScratch();
void DeleteConvertScratch(ConvertScratch *pScratch);

// Converts a GGO_NATIVE outline (coordinates in font units) to TrueType
// simple-glyph data: header with the bounding box, endPtsOfContours, no
// instructions, packed flags and coordinates. Contours are closed and
// turned to TrueType's clockwise direction; cubics are replaced by
// quadratics within the tolerance, and points rounded to whole font units.
// 1 on success: *ppbyGlyph is a global-heap block the caller releases with
// GlobalFree, *pdwGlyphLength its length; an outline without contours gives
// length 0 and a null block. 0 when the outline is malformed, holds more
// than the maxima above, has coordinates or steps that do not fit 16 bits,
// makes a glyph longer than a character record can carry, or memory runs
// out; the out arguments are then null and 0.
int ConvertNativeOutline(std::span<const uint8_t> outline, double tolerance, ConvertScratch &scratch,
                         uint8_t **ppbyGlyph, uint32_t *pdwGlyphLength);
// The same at CubicTolerance(nUnitsPerEm), with scratch blocks of its own.
int ConvertNativeOutline(std::span<const uint8_t> outline, uint32_t nUnitsPerEm,
                         uint8_t **ppbyGlyph, uint32_t *pdwGlyphLength);
