// SPDX-License-Identifier: MIT
// Script ranges the tool leaves out, and code points of UTF-16 text.
#include "fonts/scripts.h"

#include <cstdio>

#include "text/text.h"

const char *ScriptNeedingShaping(char32_t c)
{
    struct Range {
        char32_t first;
        char32_t last;
        const char *script;
    };
    static constexpr Range kRanges[] = {
        {0x0590, 0x05FF, "Hebrew"},     {0x0600, 0x06FF, "Arabic"},   {0x0700, 0x074F, "Syriac"},
        {0x0750, 0x077F, "Arabic"},     {0x0780, 0x07BF, "Thaana"},   {0x07C0, 0x07FF, "N'Ko"},
        {0x0800, 0x08FF, "Arabic"},     {0x0900, 0x0DFF, "an Indic"}, {0x0E00, 0x0E7F, "Thai"},
        {0x0E80, 0x0EFF, "Lao"},        {0x0F00, 0x0FFF, "Tibetan"},  {0x1000, 0x109F, "Myanmar"},
        {0x1780, 0x17FF, "Khmer"},      {0xA8E0, 0xA8FF, "an Indic"}, {0xFB1D, 0xFB4F, "Hebrew"},
        {0xFB50, 0xFDFF, "Arabic"},     {0xFE70, 0xFEFF, "Arabic"},   {0x10E60, 0x10E7F, "Arabic"},
        {0x11000, 0x111FF, "an Indic"}, {0x1EE00, 0x1EEFF, "Arabic"},
    };
    if (c < kRanges[0].first) // Latin, Greek, Cyrillic, Armenian: no range to search
        return nullptr;
    for (const Range &range : kRanges) {
        if (c >= range.first && c <= range.last)
            return c == 0xFEFF ? nullptr : range.script;
    }
    return nullptr;
}

char32_t CodePointAt(std::u16string_view text, size_t at, size_t &units)
{
    const DecodedChar decoded = DecodeUtf16(text.substr(at));
    units = decoded.length;
    return decoded.codePoint;
}

std::string CodePointName(char32_t codePoint)
{
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(codePoint));
    return name;
}
