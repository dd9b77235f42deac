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

// The largest distance allowed between a cubic and its quadratic
// replacement before the points are rounded to whole font units: the
// tolerance of 1/1000 em (at least one font unit) less what rounding a
// point can move the outline (half a unit in x and in y).
double CubicTolerance(uint32_t nUnitsPerEm);

// Converts a GGO_NATIVE outline of dwOutlineSize bytes (coordinates in font
// units) to TrueType simple-glyph data: header with the bounding box,
// endPtsOfContours, no instructions, packed flags and coordinates. Contours
// are closed and turned to TrueType's clockwise direction; points are
// rounded to whole font units.
// 1 on success: *ppbyGlyph is a global-heap block the caller releases with
// GlobalFree, *pdwGlyphLength its length; an outline without contours gives
// length 0 and a null block. 0 when the outline is malformed, holds more
// than the maxima above, has coordinates or steps that do not fit 16 bits,
// makes a glyph longer than a character record can carry, or memory runs
// out; the out arguments are then null and 0.
int ConvertNativeOutline(std::span<const uint8_t> outline, uint32_t nUnitsPerEm,
                         uint8_t **ppbyGlyph, uint32_t *pdwGlyphLength);
