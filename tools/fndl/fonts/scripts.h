// SPDX-License-Identifier: MIT
// Which characters of a text the tool cannot set one by one: scripts that
// need shaping or run right to left, and code points beyond the 16-bit
// character codes of a PCL XL soft font.
#pragma once

#include <string>
#include <string_view>

// PCL XL character codes are 16-bit: the library sets UTF-16 units.
inline constexpr char32_t kLastLibraryCode = 0xFFFF;

// The script of c when its letters change shape with their neighbours or
// run right to left ("Arabic", "an Indic"); null otherwise.
const char *ScriptNeedingShaping(char32_t c);

// The code point at text[at] and how many units it takes.
char32_t CodePointAt(std::u16string_view text, size_t at, size_t &units);
// "U+0041".
std::string CodePointName(char32_t codePoint);
