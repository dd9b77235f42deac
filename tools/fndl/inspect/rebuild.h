// SPDX-License-Identifier: MIT
// A soft font of a job made a standalone TrueType font again, in memory:
// 'fndl extract' writes it, 'fndl preview' draws with it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "inspect/softfontwalk.h"

// The font header's GT tables (head patched for long loca offsets), a glyf
// and loca of the glyphs sent, a format 4 cmap of the characters, and plain
// name, post and OS/2 tables. The font must have been walked with rebuild
// set and its header found sound. False with the reason it cannot be made.
bool RebuildFont(const SoftFontInJob &font, const std::string &postScriptName, std::vector<uint8_t> &ttf,
                 std::string &reason);

// The size the rebuilt font's glyf and loca take at least: loca's entries
// and the glyphs' data. Lets a caller refuse a job whose fonts would make
// far more than the job carries before building them.
uint64_t RebuiltGlyphBytes(const SoftFontInJob &font);
