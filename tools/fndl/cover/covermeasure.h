// SPDX-License-Identifier: MIT
// The cover page's text measured before it is placed: the advances the
// library's text call sets for each character (measure.h), the runs
// of a text by the font that sets each character (a text that needs
// shaping: HarfBuzz's glyphs and advances, in visual order), and text
// wrapped to a width. The page's layout and drawing use these records.
#pragma once

#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "fonts/fonts.h"
#include "layout/framing.h"
#include "cli/output.h"
#include "qorvfndl.h"
#include "cli/request.h"
#include "layout/shaping.h"

// Named apart from the job's own records: the tool links both.
namespace coverpage {

constexpr long kWeightBold = 700;
constexpr long kBodySize = 110; // tenths of a point

enum Face { kRegular = 0, kBold = 1 };

// One run of text in one font, at x from the start of its line: set by
// the text call, or when glyphs holds a shaped run, by the glyph call.
struct Run {
    int font = 0;
    std::u16string text;
    long x = 0;
    std::vector<FNDL_GLYPH> glyphs{};
};

// A line of text placed on the page: its runs, the left end of its
// baseline and its type.
struct PlacedText {
    Face face = kRegular;
    long height = kBodySize;
    long x = 0;
    long baseline = 0;
    std::vector<Run> runs;
};

struct Drawing {
    bool isText = false;
    PlacedText text;
    PageBox box;
    long penWidth = 0;
    uint8_t gray = 0;
};

struct Cover {
    const Request &request;
    JobFonts faces[2]{};
    ShapingFonts shaping[2]{};
    // Advances in dots by (face, font index, height) and UTF-16 unit; -1
    // for a character the library leaves out of that font.
    std::map<std::tuple<int, int, long>, std::map<char16_t, long>> advances{};
    std::vector<Drawing> drawings{};
    bool failed = false;

    long Dots(double points) const
    {
        return std::lround(points * static_cast<double>(request.call.resolution) / 72.0);
    }
};

// The library call's style for a face at a type size: bold weight for the
// bold face, no underline.
CallStyle StyleOf(const Request &request, Face face, long height);

// The runs of a text in the face, each character in the first font that
// sets it; width: the text's width. A text that needs shaping is shaped
// (a character no font prints set as the replacement text jobs use); in
// other text, characters no font sets are left out.
std::vector<Run> RunsOf(Cover &cover, Face face, long height, std::u16string_view text, long &width);

long WidthOf(Cover &cover, Face face, long height, std::u16string_view text);

// The text cut into lines no wider than width by the tool's line breaker
// (layout/linebreak.h), on the widths the text is set with: at spaces where
// it can, inside a word where a word alone is wider.
std::vector<std::u16string> Wrap(Cover &cover, Face face, long height, const std::u16string &text,
                                 long width);

} // namespace coverpage
