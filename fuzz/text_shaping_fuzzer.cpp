// SPDX-License-Identifier: MIT
// fndl job's text path: bytes decoded as a text file (UTF-8, Windows-1252,
// UTF-7 or UTF-16 by the first byte), cut into paragraphs, each prepared
// (fonts, bidirectional levels, runs, over-tall mark stacks) and its runs
// shaped piece by piece as the layout measures them. What comes back must
// lie inside the text, and every run must cover its characters once.
#include <algorithm>
#include <string>

#include "fonts/fonts.h"
#include "fuzz_check.h"
#include "layout/shaping.h"
#include "input/textdecode.h"

namespace {

struct TextPath {
    JobFonts fonts;
    ShapingFonts shaping;
    bool ready = false;

    TextPath()
    {
        JobFont main;
        fonts.fallback = false; // the main font alone: each input costs the same
        ready = ChooseMainFace("DejaVu Sans", false, 1, 400, false, fonts, main);
        fonts.fonts.push_back(std::move(main));
    }
};

void CheckParagraph(TextPath &path, std::u16string_view paragraph)
{
    constexpr long kCharacterSize = 100;
    const std::u16string_view stretch = paragraph.substr(
        0, PieceEnd(paragraph, 0, paragraph.size(), kLongestShapedStretch));
    ShapedText shaped;
    PrepareText(path.fonts, TextDirection::Auto, stretch, shaped);
    const size_t count = shaped.text.size();
    Require(shaped.levels.size() == count && shaped.fonts.size() == count, "a character lost");
    Require(std::is_sorted(shaped.stacked.begin(), shaped.stacked.end()) &&
                (shaped.stacked.empty() || shaped.stacked.back() < count),
            "stacked marks out of order or outside the text");
    size_t covered = 0;
    std::vector<ShapedGlyph> glyphs;
    for (const ShapedItem &item : shaped.items) {
        Require(item.start == covered && item.end > item.start, "runs do not cover the text once");
        covered = item.end;
        for (size_t from = item.start; from < item.end;) {
            ShapedItem piece = item;
            piece.start = from;
            piece.end = PieceEnd(shaped.text, from, item.end, kLongestShapedPiece);
            Require(piece.end > piece.start && piece.end <= item.end, "a piece outside its run");
            bool cmap = false;
            ShapeItem(path.shaping, path.fonts, kCharacterSize, piece, shaped.text, 0, glyphs, cmap,
                      shaped.stacked);
            for (const ShapedGlyph &glyph : glyphs) {
                Require(glyph.cluster < count, "a glyph's cluster outside the text");
                Require(glyph.offsetY > -32768L * 8 && glyph.offsetY < 32768L * 8,
                        "a mark stack past its bound");
            }
            from = piece.end;
        }
    }
    Require(covered == count, "runs do not reach the text's end");
    VisualOrder(shaped.levels);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static TextPath path;
    if (!path.ready || size == 0)
        return 0;
    static const char *const kEncodings[] = {"auto", "windows-1252", "UTF-7", "UTF-16"};
    const std::string name = kEncodings[data[0] % 4];
    Decoder decoder(EncodingNamed(name), name);
    std::u16string text;
    const std::string_view bytes(reinterpret_cast<const char *>(data) + 1, size - 1);
    // Two blocks, as the reader hands them on.
    Decode(decoder, bytes.substr(0, bytes.size() / 2), false, text);
    Decode(decoder, bytes.substr(bytes.size() / 2), true, text);
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos)
            end = text.size();
        CheckParagraph(path, std::u16string_view(text).substr(start, end - start));
        start = end + 1;
    }
    return 0;
}
