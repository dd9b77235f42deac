// SPDX-License-Identifier: MIT
// HarfBuzz shaping for the tool's layout: the job's fonts opened from the
// files fontconfig resolved, runs of text shaped into glyphs with advances
// and offsets in device units, and whether a shaped run is what the
// library's text call would set (one cmap glyph per character, in order).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <hb.h>

#include "layout/bidi.h"
#include "fonts/fonts.h"

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

// The most combining marks (and joiners) one character carries as shaped:
// the marks past them are set on top of the stack's last one. It bounds a
// stack's height, whose offsets must stay within the page's 16-bit
// coordinates, and the cluster HarfBuzz shapes, whose cost grows with the
// square of a cluster's length.
constexpr size_t kMostStackedMarks = 32;
// Characters on each side of a run that HarfBuzz is given as context, for
// joining across the run's edges (it looks at five).
constexpr size_t kShapingContext = 8;

// The longest stretch of a paragraph put in bidirectional order and broken
// into lines as one (a longer one is set as several, each from a new line),
// and the longest piece of a run shaped as one to measure it: memory per
// character stays that of a bounded stretch, whatever a paragraph's length.
constexpr size_t kLongestShapedStretch = 65536;
constexpr size_t kLongestShapedPiece = 4096;

// Where the first piece of text[start, end) of at most `most` characters
// ends: before its last space, else before its last character that starts
// a cluster (no mark, joiner or low surrogate), else after `most`.
size_t PieceEnd(std::u32string_view text, size_t start, size_t end, size_t most);
size_t PieceEnd(std::u16string_view text, size_t start, size_t end, size_t most);

// What a run is shaped with: its characters text[start, end) (up to
// kShapingContext characters of text on each side are context), direction
// and script. stacked: ascending indexes, counted from stackedBase before
// text, of marks past kMostStackedMarks on one character.
struct ShapingRun {
    std::u32string_view text;
    size_t start = 0;
    size_t end = 0;
    bool rightToLeft = false;
    hb_script_t script = HB_SCRIPT_COMMON;
    std::span<const size_t> stacked{};
    size_t stackedBase = 0;
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

// The underline's distance below the baseline and its thickness (the post
// table's), at the character size in device units, rounded as GDI scales
// them.
void UnderlineMetrics(hb_font_t *font, long characterSize, long &offset, long &thickness);

// The script of each character, Common and Inherited ones (spaces, digits,
// marks) taking the script of the letters around them.
std::vector<hb_script_t> ScriptsOf(std::u32string_view text);

// What a character no installed font prints is set as: a replacement
// character from a font that has it, else the main font's glyph 0.
struct Replacement {
    int font = 0;
    char32_t codePoint = 0xFFFD;
    bool notdef = false;
};
Replacement ChooseReplacement(JobFonts &fonts);
// "U+FFFD", or "the missing-glyph box of <family>".
std::string ReplacementName(const JobFonts &fonts, const Replacement &replacement);
// Characters that print as nothing and need no font of their own
// (joiners, direction marks, variation selectors).
bool IsInvisible(char32_t c);

// True when text goes through shaping and bidirectional order:
// right-to-left or shaped scripts, combining marks, characters beyond
// U+FFFF or that no font prints, or a forced right-to-left direction.
// Other text is set character by character through the library's text
// call.
bool TextNeedsShaping(JobFonts &fonts, TextDirection direction, std::u16string_view text);

// One run of a text: characters [start, end) of one font, embedding level
// and script. notdef: set as the font's glyph 0 (no font has a
// replacement).
struct ShapedItem {
    size_t start = 0;
    size_t end = 0;
    int font = 0;
    uint8_t level = 0;
    hb_script_t script = HB_SCRIPT_COMMON;
    bool notdef = false;
    bool tab = false; // a tab of a left-to-right paragraph: the cursor to the next stop
};

// A text as it is shaped: each character's font (a replacement for one no
// font prints, tabs as spaces), its level, and the runs.
struct ShapedText {
    std::u32string text;
    std::vector<int> fonts;
    std::vector<bool> notdef;
    std::vector<bool> tabs;
    std::vector<uint8_t> levels;
    bool rightToLeft = false;
    std::vector<ShapedItem> items;
    std::vector<long> widths;   // per character: its cluster's advance on its first one
    std::vector<bool> boundary; // a cluster starts at the character
    std::vector<size_t> stacked; // marks past kMostStackedMarks on one character, ascending
};

// Fonts, replacements, levels, runs and over-tall mark stacks of text
// (widths and boundary are left to the layout). Returns how many
// characters were replaced.
long PrepareText(JobFonts &fonts, TextDirection direction, std::u16string_view text,
                 ShapedText &shaped);

// The glyphs of characters [start, end) of an item at the character size,
// shaped with context (whose first character is contextStart of the
// text); cmap says they are the font's cmap glyphs one by one. stacked:
// the text's ShapedText::stacked.
void ShapeItem(ShapingFonts &shaping, const JobFonts &fonts, long characterSize,
               const ShapedItem &item, std::u32string_view context, size_t contextStart,
               std::vector<ShapedGlyph> &glyphs, bool &cmap,
               std::span<const size_t> stacked = {});
