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
