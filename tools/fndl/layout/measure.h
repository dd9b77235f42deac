// SPDX-License-Identifier: MIT
// Text measured as the library sets it: the advances its text call gives
// characters in a font at the job's size, asked of the library before
// anything is written (FNDLMeasureTextW). The one measurer of the tool: the
// text job's tab stops and header, and the cover page's layout.
#pragma once

#include <map>
#include <span>
#include <string>
#include <string_view>

#include "fonts/fonts.h"
#include "cli/request.h"

// The advance (device units) of each character of text that the font sets,
// as the text call would set it from (x, y); a character it does not set
// (no glyph for it, or left for the next page) that has no advance yet gets
// -1. False when the library could not measure (the font cannot be read,
// the request's page or sizes are refused).
bool MeasureAdvances(const CallStyle &style, const JobFont &font, std::u16string_view text, long x,
                     long y, std::map<char16_t, long> &advances);

// The advance of each character of the texts that the font sets, from the
// style's margin and the first line's baseline; characters it does not set are left out
// of the map. False when nothing could be measured.
bool MeasureCharacters(const CallStyle &style, long firstLine, const JobFont &font,
                       std::span<const std::u16string> texts, std::map<char16_t, long> &advances);
