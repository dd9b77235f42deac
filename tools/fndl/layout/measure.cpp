// SPDX-License-Identifier: MIT
// Measuring text by asking the library what its text call would set.
#include "layout/measure.h"

#include <algorithm>
#include <iterator>

#include "layout/librarycall.h"
#include "qorvfndl.h"

bool MeasureAdvances(const CallStyle &style, const JobFont &font, std::u16string_view text, long x,
                     long y, std::map<char16_t, long> &advances)
{
    FNDL_TEXTMEASURE measure;
    while (!text.empty()) {
        const std::u16string_view piece = text.substr(0, kLibraryTextUnits);
        const int result = CallMeasure(style, font, piece, 0, x, y, measure);
        if (result != FNDL_OK && result != FNDL_INVALID_GLYPH_HANDLE && result != FNDL_PAGEEND)
            return false;
        // What the text call would set is what its lines hold.
        for (int line = 0; line < measure.nLines; ++line) {
            const int start = measure.anLineStart[line];
            for (int i = start; i < start + measure.anLineLength[line]; ++i)
                advances[piece[static_cast<size_t>(i)]] = measure.anAdvance[i];
        }
        // Go on after a character the font cannot set, or from the line
        // the page ended before; what was not set before that is left out.
        size_t next = piece.size();
        const auto offset = static_cast<size_t>(std::max(measure.nOffsetToText, 0));
        if (result == FNDL_INVALID_GLYPH_HANDLE && offset < piece.size()) {
            advances[piece[offset]] = -1;
            next = offset + 1;
        } else if (result == FNDL_PAGEEND && offset > 0 && offset < piece.size()) {
            next = offset;
        }
        for (size_t i = 0; i < next; ++i)
            advances.emplace(piece[i], -1);
        text.remove_prefix(next);
    }
    return true;
}

bool MeasureCharacters(const CallStyle &style, long firstLine, const JobFont &font,
                       std::span<const std::u16string> texts, std::map<char16_t, long> &advances)
{
    std::map<char16_t, long> measured;
    for (const std::u16string &text : texts)
        MeasureAdvances(style, font, text, style.margin, firstLine, measured);
    std::copy_if(measured.begin(), measured.end(), std::inserter(advances, advances.end()),
                 [](const auto &entry) { return entry.second >= 0; });
    return !advances.empty();
}
