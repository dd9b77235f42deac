// SPDX-License-Identifier: MIT
// A line of text cut into runs of one font: each run is set by the font
// that has its characters, in the fallback order the job's fonts give.
#pragma once

#include <string_view>

#include "fonts/fonts.h"
#include "fonts/scripts.h"

inline constexpr int kLeftOut = -1;
inline constexpr int kPageBreak = -2;
inline constexpr int kNoRun = -3;
inline constexpr int kTab = -4;
inline constexpr char32_t kFormFeed = 0x0C;
inline constexpr char32_t kTabChar = 0x09;

// Cuts a paragraph into runs of one font: visit(font, start, end) for each
// run, and for each character left out (kLeftOut), form feed (kPageBreak)
// or tab (kTab).
template <typename Visit>
void ForEachRun(JobFonts &fonts, std::u16string_view paragraph, Visit visit)
{
    SetParagraphLanguage(fonts, paragraph);
    size_t runStart = 0;
    int runFont = kNoRun;
    int previous = kLeftOut;
    for (size_t i = 0; i < paragraph.size();) {
        size_t units = 1;
        const char32_t codePoint = CodePointAt(paragraph, i, units);
        int font = kLeftOut;
        if (codePoint == kFormFeed)
            font = kPageBreak;
        else if (codePoint == kTabChar)
            font = kTab;
        else if (codePoint <= kLastLibraryCode && !ScriptNeedingShaping(codePoint))
            font = FontForChar(fonts, codePoint, previous);
        if (font != runFont) {
            if (runFont >= 0)
                visit(runFont, runStart, i);
            runFont = font;
            runStart = i;
        }
        if (font < 0) {
            visit(font, i, i + units);
            runFont = kNoRun;
        }
        previous = font;
        i += units;
    }
    if (runFont >= 0)
        visit(runFont, runStart, paragraph.size());
}
