// SPDX-License-Identifier: MIT
// Requests, texts and output files for the benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "qorvfndl.h"

inline constexpr const char *kIpaGothicPath = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";
inline constexpr const char *kIpaGothicFace = "IPAGothic";
inline constexpr const char *kNotoSansCjkPath = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc";
inline constexpr const char *kNotoSansCjkFace = "Noto Sans CJK JP";
inline constexpr const char *kDejaVuSansPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
inline constexpr const char *kDejaVuSansFace = "DejaVu Sans";
inline constexpr const char *kNotoDevanagariPath = "/usr/share/fonts/truetype/noto/NotoSansDevanagari-Regular.ttf";
inline constexpr const char *kNotoDevanagariFace = "Noto Sans Devanagari";

// A download request: 12 pt at 600 dpi, line spacing 100, left margin 100.
struct BenchRequest {
    FNDL_TEXTINFOW text;
    FNDL_PAGEINFOW page;
};
BenchRequest MakeBenchRequest(const std::string &font, bool bFromFile,
                              const std::u16string &text, const std::string &outputPath,
                              int nFontId);

// nCount distinct kana and kanji, all mapped by the font file's cmap (a
// Japanese text of mixed kanji and kana); shorter when the font lacks
// them.
std::u16string JapaneseText(const char *szFontPath, size_t nCount);
// A Latin text of nCount characters.
std::u16string LatinText(size_t nCount);

// A run of nCount glyphs as a shaper gives it for the font file at 12 pt
// and 600 dpi: distinct glyphs with outlines (from glyph 1 up), every
// fourth a mark with no advance, offset left and up onto the glyph before
// it; shorter when the font has fewer.
std::vector<FNDL_GLYPH> ShapedRun(const char *szFontPath, size_t nCount);
// The glyphs of the text's characters in the font file, one em apart.
std::vector<FNDL_GLYPH> GlyphsOfText(const char *szFontPath, const std::u16string &text);

// A glyph run request for the glyphs, 12 pt at 600 dpi.
struct BenchGlyphRun {
    FNDL_GLYPHRUN run;
    std::vector<FNDL_GLYPH> glyphs;
    FNDL_PAGEINFOW page;
};
BenchGlyphRun MakeBenchGlyphRun(const std::string &font, bool bFromFile,
                                const std::vector<FNDL_GLYPH> &glyphs,
                                const std::string &outputPath, int nFontId);

bool FileExists(const char *szPath);

// An output file in the temporary directory, removed at the end.
struct BenchOutput {
    std::string path;
    BenchOutput();
    ~BenchOutput();
    BenchOutput(const BenchOutput &) = delete;
    BenchOutput &operator=(const BenchOutput &) = delete;
    void Truncate() const;
    std::vector<uint8_t> Read() const;
};

// Puts the cursor at the top left of the page, where every benchmark text
// fits.
void ResetCursor();

// Ends the session: removes the font (the last one) from it.
void EndSession(int nFontId);
