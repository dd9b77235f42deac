// SPDX-License-Identifier: MIT
// The cover page's text measured by the advances the library's text call
// sets (asked of the library, nothing written), runs by font, and wrapping
// to a width. Text that
// needs shaping is measured by HarfBuzz's advances, as text jobs are.
#include "cover/covermeasure.h"

#include <algorithm>
#include <cmath>

#include "layout/librarycall.h"
#include "layout/measure.h"
#include "qorvfndl.h"

namespace coverpage {

Request StyleRequest(const Request &request, Face face, long height)
{
    Request style = request;
    style.height = height;
    style.boldFace = face == kBold;
    style.weight = face == kBold ? kWeightBold : request.weight;
    style.underline = false;
    return style;
}

namespace {

// The characters' advances as the library's text call sets them, from the
// page's corner.
void MeasureChars(Cover &cover, Face face, int font, long height, std::u16string_view chars,
                  std::map<char16_t, long> &advances)
{
    const Request style = StyleRequest(cover.request, face, height);
    const JobFont &jobFont = cover.faces[face].fonts[static_cast<size_t>(font)];
    const long em = CharacterSizeInDots(static_cast<int>(height), static_cast<int>(style.resolution));
    if (!MeasureAdvances(style, jobFont, chars, 0, em, advances)) {
        PrintDownloadFailure(style, jobFont, "", "");
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
                                        static_cast<int>(cover.request.resolution));
    ShapedText shaped;
    PrepareText(fonts, cover.request.direction, text, shaped);
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

std::vector<Run> RunsOf(Cover &cover, Face face, long height, std::u16string_view text, long &width)
{
    if (TextNeedsShaping(cover.faces[face], cover.request.direction, text))
        return ShapedRunsOf(cover, face, height, text, width);
    std::vector<Run> runs;
    width = 0;
    JobFonts &fonts = cover.faces[face];
    int previous = -1;
    for (const char16_t unit : text) {
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
        previous = font;
    }
    return runs;
}

namespace {

// Measures every distinct character of a text up front, one call per font.
void Premeasure(Cover &cover, Face face, long height, std::u16string_view text)
{
    std::map<int, std::u16string> wanted;
    for (const char16_t unit : text) {
        if (unit >= 0xD800 && unit <= 0xDFFF)
            continue;
        const int font = FontForChar(cover.faces[face], unit, -1);
        if (font < 0)
            continue;
        auto &known = cover.advances[{face, font, height}];
        std::u16string &list = wanted[font];
        if (!known.count(unit) && list.find(unit) == std::u16string::npos)
            list += unit;
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

// The text cut into lines no wider than width, at spaces where it can,
// inside a word where a word alone is wider.
std::vector<std::u16string> Wrap(Cover &cover, Face face, long height, const std::u16string &text,
                                 long width)
{
    Premeasure(cover, face, height, text);
    std::vector<std::u16string> lines;
    std::u16string line;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(u' ', at);
        if (end == std::u16string::npos)
            end = text.size();
        std::u16string word = text.substr(at, end - at);
        at = end + 1;
        std::u16string candidate = line.empty() ? word : line + u" " + word;
        if (WidthOf(cover, face, height, candidate) <= width) {
            line = std::move(candidate);
            continue;
        }
        if (!line.empty())
            lines.push_back(line);
        line.clear();
        // A word wider than the line goes in pieces.
        while (WidthOf(cover, face, height, word) > width && word.size() > 1) {
            size_t fit = 1;
            while (fit < word.size() && WidthOf(cover, face, height, word.substr(0, fit + 1)) <= width)
                ++fit;
            if (fit < word.size() && word[fit] >= 0xDC00 && word[fit] <= 0xDFFF)
                ++fit; // never between the halves of a surrogate pair
            lines.push_back(word.substr(0, fit));
            word.erase(0, fit);
        }
        line = word;
    }
    if (!line.empty() || lines.empty())
        lines.push_back(line);
    return lines;
}

} // namespace coverpage
