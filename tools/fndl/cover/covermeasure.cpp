// SPDX-License-Identifier: MIT
// The cover page's text measured by the advances the library's text call
// sets (asked of the library, nothing written), runs by font, and wrapping
// to a width. Text that
// needs shaping is measured by HarfBuzz's advances, as text jobs are.
#include "cover/covermeasure.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

#include "fonts/scripts.h"
#include "layout/librarycall.h"
#include "layout/linebreak.h"
#include "layout/measure.h"
#include "qorvfndl.h"

namespace coverpage {

CallStyle StyleOf(const Request &request, Face face, long height)
{
    CallStyle style = request.call;
    style.height = height;
    style.boldFace = face == kBold;
    style.weight = face == kBold ? kWeightBold : request.call.weight;
    style.underline = false;
    return style;
}

namespace {

// The characters' advances as the library's text call sets them, from the
// page's corner.
void MeasureChars(Cover &cover, Face face, int font, long height, std::u16string_view chars,
                  std::map<char16_t, long> &advances)
{
    const CallStyle style = StyleOf(cover.request, face, height);
    const JobFont &jobFont = cover.faces[face].fonts[static_cast<size_t>(font)];
    const long em = CharacterSizeInDots(static_cast<int>(height), static_cast<int>(style.resolution));
    if (!MeasureAdvances(style, jobFont, chars, 0, em, advances)) {
        PrintDownloadFailure(cover.request.settings.output, jobFont, "", "");
        cover.failed = true;
    }
}

// The runs of a shaped text in visual order, each a glyph run of one
// font, embedding level and script; width: the sum of their advances.
std::vector<Run> ShapedRunsOf(Cover &cover, Face face, long height, std::u16string_view text,
                              long &width)
{
    JobFonts &fonts = cover.faces[face];
    const long em = CharacterSizeInDots(static_cast<int>(height),
                                        static_cast<int>(cover.request.call.resolution));
    ShapedText shaped;
    PrepareText(fonts, cover.request.source.direction, text, shaped);
    std::vector<uint8_t> levels;
    for (const ShapedItem &item : shaped.items)
        levels.push_back(item.level);
    std::vector<Run> runs;
    std::vector<ShapedGlyph> glyphs;
    width = 0;
    for (const size_t n : VisualOrder(levels)) {
        bool cmap = false;
        ShapeItem(cover.shaping[face], fonts, em, shaped.items[n], shaped.text, 0, glyphs, cmap);
        Run run{shaped.items[n].font, u"", width};
        for (const ShapedGlyph &glyph : glyphs) {
            run.glyphs.push_back({static_cast<int>(glyph.glyph), static_cast<int>(glyph.advance),
                                  static_cast<int>(glyph.offsetX), static_cast<int>(glyph.offsetY)});
            width += glyph.advance;
        }
        if (!run.glyphs.empty())
            runs.push_back(std::move(run));
    }
    return runs;
}

} // namespace

namespace {

// The runs of a text that needs no shaping; advances, when given: each
// unit's advance (0 for one no font sets).
std::vector<Run> UnshapedRunsOf(Cover &cover, Face face, long height, std::u16string_view text,
                                long &width, std::vector<long> *advances)
{
    std::vector<Run> runs;
    width = 0;
    JobFonts &fonts = cover.faces[face];
    int previous = -1;
    if (advances)
        advances->assign(text.size(), 0);
    for (size_t at = 0; at < text.size(); ++at) {
        const char16_t unit = text[at];
        if (unit >= 0xD800 && unit <= 0xDFFF)
            continue; // beyond the 16-bit character codes of a soft font
        // A font that claims the character but cannot set it gives way to
        // the next one that has it.
        int font = FontForChar(fonts, unit, previous);
        long advance = -1;
        while (font >= 0) {
            auto &known = cover.advances[{face, font, height}];
            if (!known.count(unit))
                MeasureChars(cover, face, font, height, u" " + std::u16string(1, unit), known);
            if (cover.failed)
                return {};
            const auto found = known.find(unit);
            advance = found == known.end() ? -1 : found->second;
            if (advance >= 0)
                break;
            RejectChar(fonts, font, unit);
            font = FontForChar(fonts, unit, -1);
        }
        if (font < 0)
            continue;
        if (runs.empty() || runs.back().font != font)
            runs.push_back({font, u"", width});
        runs.back().text += unit;
        width += advance;
        if (advances)
            (*advances)[at] = advance;
        previous = font;
    }
    return runs;
}

} // namespace

std::vector<Run> RunsOf(Cover &cover, Face face, long height, std::u16string_view text, long &width)
{
    if (TextNeedsShaping(cover.faces[face], cover.request.source.direction, text))
        return ShapedRunsOf(cover, face, height, text, width);
    return UnshapedRunsOf(cover, face, height, text, width, nullptr);
}

namespace {

// Measures every distinct character of a text up front, one call per font.
void Premeasure(Cover &cover, Face face, long height, std::u16string_view text)
{
    std::map<int, std::u16string> wanted;
    std::set<std::pair<int, char16_t>> taken;
    for (const char16_t unit : text) {
        if (unit >= 0xD800 && unit <= 0xDFFF)
            continue;
        const int font = FontForChar(cover.faces[face], unit, -1);
        if (font < 0)
            continue;
        auto &known = cover.advances[{face, font, height}];
        if (!known.count(unit) && taken.insert({font, unit}).second)
            wanted[font] += unit;
    }
    for (auto &[font, chars] : wanted) {
        if (!chars.empty() && !cover.failed)
            MeasureChars(cover, face, font, height, u" " + chars, cover.advances[{face, font, height}]);
    }
}

} // namespace

long WidthOf(Cover &cover, Face face, long height, std::u16string_view text)
{
    long width = 0;
    RunsOf(cover, face, height, text, width);
    return width;
}

namespace {

// A text as the line breaker takes it: its characters (code points),
// where each starts in the text (and its end), each one's width as the
// text is set whole (the library's advances where its text call sets it,
// HarfBuzz's where the text is shaped) and where clusters start.
struct BreakableText {
    std::u32string chars;
    std::vector<size_t> at;
    std::vector<long> widths;
    std::vector<bool> boundary;
};

BreakableText BreakableOf(Cover &cover, Face face, long height, std::u16string_view text)
{
    BreakableText breakable;
    JobFonts &fonts = cover.faces[face];
    if (!TextNeedsShaping(fonts, cover.request.source.direction, text)) {
        long width = 0;
        UnshapedRunsOf(cover, face, height, text, width, &breakable.widths);
        for (size_t i = 0; i < text.size(); ++i) {
            breakable.chars += text[i];
            breakable.at.push_back(i);
            breakable.boundary.push_back(true);
        }
        breakable.at.push_back(text.size());
        return breakable;
    }
    const long em = CharacterSizeInDots(static_cast<int>(height),
                                        static_cast<int>(cover.request.call.resolution));
    ShapedText shaped;
    PrepareText(fonts, cover.request.source.direction, text, shaped);
    breakable.chars = shaped.text;
    for (size_t i = 0; i < text.size();) {
        size_t units = 1;
        CodePointAt(text, i, units);
        breakable.at.push_back(i);
        i += units;
    }
    breakable.at.push_back(text.size());
    breakable.widths.assign(shaped.text.size(), 0);
    breakable.boundary.assign(shaped.text.size(), false);
    std::vector<ShapedGlyph> glyphs;
    for (const ShapedItem &item : shaped.items) {
        bool cmap = false;
        ShapeItem(cover.shaping[face], fonts, em, item, shaped.text, 0, glyphs, cmap);
        for (const ShapedGlyph &glyph : glyphs) {
            if (glyph.cluster >= shaped.text.size())
                continue;
            breakable.widths[glyph.cluster] += glyph.advance;
            breakable.boundary[glyph.cluster] = true;
        }
    }
    return breakable;
}

} // namespace

// The text cut into lines no wider than width by the tool's line breaker:
// at spaces where it can, inside a word where a word alone is wider.
std::vector<std::u16string> Wrap(Cover &cover, Face face, long height, const std::u16string &text,
                                 long width)
{
    Premeasure(cover, face, height, text);
    const BreakableText breakable = BreakableOf(cover, face, height, text);
    std::vector<std::u16string> lines;
    if (cover.failed)
        return {u""};
    for (size_t start = 0; start < breakable.chars.size();) {
        const LineEnd line = BreakLine(breakable.chars, breakable.boundary, start, 0, width,
                                       [&](size_t i, long) { return breakable.widths[i]; });
        lines.push_back(
            text.substr(breakable.at[start], breakable.at[line.trimmed] - breakable.at[start]));
        start = line.next;
    }
    if (lines.empty())
        lines.emplace_back();
    return lines;
}

} // namespace coverpage
