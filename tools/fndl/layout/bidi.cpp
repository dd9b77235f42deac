// SPDX-License-Identifier: MIT
// Bidirectional levels and visual order through FriBidi.
#include "layout/bidi.h"

#include <algorithm>

#include <fribidi.h>

bool BidiLevels(std::u32string_view text, TextDirection direction, std::vector<uint8_t> &levels,
                bool &rightToLeft)
{
    const auto length = static_cast<FriBidiStrIndex>(text.size());
    FriBidiParType base = direction == TextDirection::RightToLeft  ? FRIBIDI_PAR_RTL
                          : direction == TextDirection::LeftToRight ? FRIBIDI_PAR_LTR
                                                                     : FRIBIDI_PAR_ON;
    std::vector<FriBidiChar> chars(text.begin(), text.end());
    std::vector<FriBidiCharType> types(text.size());
    std::vector<FriBidiBracketType> brackets(text.size());
    std::vector<FriBidiLevel> resolved(text.size());
    fribidi_get_bidi_types(chars.data(), length, types.data());
    fribidi_get_bracket_types(chars.data(), length, types.data(), brackets.data());
    const bool done = text.empty() || fribidi_get_par_embedding_levels_ex(
                                          types.data(), brackets.data(), length, &base,
                                          resolved.data()) != 0;
    rightToLeft = direction == TextDirection::RightToLeft ||
                  (direction == TextDirection::Auto && done && FRIBIDI_IS_RTL(base));
    levels.assign(text.size(), rightToLeft ? 1 : 0);
    if (!done)
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        levels[i] = static_cast<uint8_t>(std::max<FriBidiLevel>(resolved[i], 0));
    return true;
}

std::vector<size_t> VisualOrder(std::span<const uint8_t> levels)
{
    std::vector<size_t> order(levels.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    if (levels.empty())
        return order;
    const uint8_t highest = *std::max_element(levels.begin(), levels.end());
    uint8_t lowestOdd = 255;
    for (const uint8_t level : levels) {
        if (level % 2 == 1)
            lowestOdd = std::min(lowestOdd, level);
    }
    for (int level = highest; level >= lowestOdd && level > 0; --level) {
        for (size_t i = 0; i < order.size();) {
            if (levels[order[i]] < level) {
                ++i;
                continue;
            }
            size_t end = i;
            while (end < order.size() && levels[order[end]] >= level)
                ++end;
            std::reverse(order.begin() + static_cast<ptrdiff_t>(i),
                         order.begin() + static_cast<ptrdiff_t>(end));
            i = end;
        }
    }
    return order;
}

bool NeedsBidiOrShaping(char32_t c)
{
    // Joiners and the invisible characters that steer shaping.
    if ((c >= 0x200B && c <= 0x200F) || (c >= 0x2060 && c <= 0x2064) || c == 0x034F)
        return true;
    const FriBidiCharType type = fribidi_get_bidi_type(c);
    return FRIBIDI_IS_RTL(type) || type == FRIBIDI_TYPE_AN || type == FRIBIDI_TYPE_NSM ||
           FRIBIDI_IS_EXPLICIT(type) || FRIBIDI_IS_ISOLATE(type);
}
