// SPDX-License-Identifier: MIT
// Text measured as the library sets it: the advances it gives characters
// in a font at the job's size, read from what it writes to a scratch file.
#pragma once

#include <map>
#include <span>
#include <string>
#include <string_view>

#include "fonts.h"
#include "request.h"

// The advance of each character of the texts (each one library call) (in device units) that the font
// sets; characters it does not set are left out of the map. Call it before
// the job is laid out: the font is removed from the library's session
// afterwards, so that the job downloads it again. False when nothing could
// be measured.
bool MeasureCharacters(const Request &request, const JobFont &font,
                       std::span<const std::u16string> texts, std::map<char16_t, long> &advances);
