// SPDX-License-Identifier: MIT
// fndl preview: the page raster, glyph drawing through FreeType and the PNG
// output, shared by the command (preview.cpp) and its drawing
// (previewdraw.cpp).
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// One page, one byte per pixel: 0 black to 255 white (the paper).
struct PreviewPage {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> gray;
};

// A rectangle in pixels, right and bottom exclusive.
struct PixelRect {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
};

PixelRect Intersect(const PixelRect &a, const PixelRect &b);

// Paints the part of rect inside clip in the gray level, partly covered
// pixels in proportion to their covered area.
void PaintRect(PreviewPage &page, const PixelRect &rect, const PixelRect &clip, uint8_t gray);

// How a glyph is set: the em in pixels, the bold value (the outline grows by
// that fraction of the em), shear and scale as PCL XL gives them.
struct GlyphStyle {
    double emPixels = 0;
    double bold = 0;
    double shearX = 0;
    double shearY = 0;
    double scaleX = 1;
    double scaleY = 1;
};

// Draws one glyph of face with its origin (on the baseline) at (x, y) in
// pixels, y down; only pixels whose centre lies inside clip. False with
// FreeType's reason when the glyph cannot be loaded or rendered.
bool DrawGlyph(PreviewPage &page, FT_Face face, unsigned glyph, double x, double y,
               const GlyphStyle &style, const PixelRect &clip, uint8_t gray, std::string &reason);

// The pixels a glyph's bitmap takes at most at this style, for a budget.
double GlyphPixels(const GlyphStyle &style);

// The page as an 8-bit gray PNG, or 1-bit (black where darker than half
// gray) when mono. False with the reason.
bool WritePng(FILE *file, const PreviewPage &page, bool mono, std::string &reason);
