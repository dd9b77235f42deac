// SPDX-License-Identifier: MIT
// HarfBuzz shaping for the tool's layout: the job's fonts opened from the
// files fontconfig resolved, runs of text shaped into glyphs with advances
// and offsets in device units, and whether a shaped run is what the
// library's text call would set (one cmap glyph per character, in order).
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include <hb.h>

#include "fonts.h"

struct HbFontFree {
    void operator()(hb_font_t *font) const { hb_font_destroy(font); }
};

// The HarfBuzz font of each of the job's fonts, opened when first needed.
struct ShapingFonts {
    std::vector<std::unique_ptr<hb_font_t, HbFontFree>> fonts;
    std::vector<bool> opened;
};

// The HarfBuzz font of fonts.fonts[index]; null when its file cannot be
// read.
hb_font_t *ShapingFont(ShapingFonts &shaping, const JobFonts &fonts, size_t index);

// One shaped glyph, in device units; cluster is the index in the text of
// the first character it comes from.
struct ShapedGlyph {
    uint32_t glyph = 0;
    long advance = 0;
    long offsetX = 0;
    long offsetY = 0; // down the page
    size_t cluster = 0;
};

// What a run is shaped with: its characters text[start, end) (the rest of
// text is context, for joining across its edges), direction and script.
struct ShapingRun {
    std::u32string_view text;
    size_t start = 0;
    size_t end = 0;
    bool rightToLeft = false;
    hb_script_t script = HB_SCRIPT_COMMON;
};

// Shapes the run at the character size (device units per em); glyphs in
// visual order (left to right), positions rounded from the pen's running
// total so that rounding does not add up along a line.
void ShapeRun(hb_font_t *font, const ShapingRun &run, long characterSize,
              std::vector<ShapedGlyph> &glyphs);

// True when the shaped glyphs are the font's cmap glyphs, one per
// character in logical order, none of them offset (advances aside, such as
// kerning): the library's text call sets the run the same.
bool IsCmapRun(hb_font_t *font, const ShapingRun &run, const std::vector<ShapedGlyph> &glyphs);

// The advance of c's cmap glyph, or of a glyph, at the character size,
// device units.
long CmapAdvance(hb_font_t *font, char32_t c, long characterSize);
long GlyphAdvance(hb_font_t *font, uint32_t glyph, long characterSize);

// The script of each character, Common and Inherited ones (spaces, digits,
// marks) taking the script of the letters around them.
std::vector<hb_script_t> ScriptsOf(std::u32string_view text);
