// SPDX-License-Identifier: MIT
// UTF-8 and UTF-16 code points, and the cut of UTF-8 text.
#include "text/text.h"

namespace {

constexpr char32_t kFirstSurrogate = 0xD800;
constexpr char32_t kFirstLowSurrogate = 0xDC00;
constexpr char32_t kLastSurrogate = 0xDFFF;
constexpr char32_t kFirstSupplementary = 0x10000;

bool IsContinuation(uint8_t byte)
{
    return (byte & 0xC0) == 0x80;
}

} // namespace

DecodedChar DecodeUtf8(std::span<const uint8_t> bytes)
{
    if (bytes.empty())
        return {};
    const uint8_t lead = bytes[0];
    if (lead < 0x80)
        return {lead, 1, true};
    // The second byte's range excludes overlong forms, surrogates and
    // values beyond U+10FFFF; later bytes are any continuation byte.
    size_t needed = 0;
    char32_t value = 0;
    uint8_t secondLow = 0x80;
    uint8_t secondHigh = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        needed = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        needed = 2;
        value = lead & 0x0F;
        if (lead == 0xE0)
            secondLow = 0xA0;
        else if (lead == 0xED)
            secondHigh = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        needed = 3;
        value = lead & 0x07;
        if (lead == 0xF0)
            secondLow = 0x90;
        else if (lead == 0xF4)
            secondHigh = 0x8F;
    } else {
        return {kReplacementCharacter, 1, false};
    }
    size_t used = 1;
    for (size_t i = 0; i < needed; ++i, ++used) {
        const uint8_t low = i == 0 ? secondLow : 0x80;
        const uint8_t high = i == 0 ? secondHigh : 0xBF;
        if (used >= bytes.size() || bytes[used] < low || bytes[used] > high)
            return {kReplacementCharacter, used, false};
        value = (value << 6) | (bytes[used] & 0x3F);
    }
    return {value, used, true};
}

DecodedChar DecodeUtf8(std::string_view text)
{
    return DecodeUtf8(std::span(reinterpret_cast<const uint8_t *>(text.data()), text.size()));
}

DecodedChar DecodeUtf16(std::span<const char16_t> units)
{
    if (units.empty())
        return {};
    const char32_t first = units[0];
    if (first < kFirstSurrogate || first > kLastSurrogate)
        return {first, 1, true};
    if (first < kFirstLowSurrogate && units.size() >= 2 && units[1] >= kFirstLowSurrogate &&
        units[1] <= kLastSurrogate)
        return {kFirstSupplementary + ((first - kFirstSurrogate) << 10) +
                    (units[1] - kFirstLowSurrogate),
                2, true};
    return {kReplacementCharacter, 1, false};
}

Utf8Units EncodeUtf8(char32_t c)
{
    if (c < 0x80)
        return {{static_cast<uint8_t>(c)}, 1};
    if (c < 0x800)
        return {{static_cast<uint8_t>(0xC0 | (c >> 6)), static_cast<uint8_t>(0x80 | (c & 0x3F))},
                2};
    if (c < kFirstSupplementary)
        return {{static_cast<uint8_t>(0xE0 | (c >> 12)),
                 static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F)),
                 static_cast<uint8_t>(0x80 | (c & 0x3F))},
                3};
    return {{static_cast<uint8_t>(0xF0 | (c >> 18)),
             static_cast<uint8_t>(0x80 | ((c >> 12) & 0x3F)),
             static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F)),
             static_cast<uint8_t>(0x80 | (c & 0x3F))},
            4};
}

Utf16Units EncodeUtf16(char32_t c)
{
    if (c < kFirstSupplementary)
        return {{static_cast<char16_t>(c)}, 1};
    return {{static_cast<char16_t>(kFirstSurrogate + ((c - kFirstSupplementary) >> 10)),
             static_cast<char16_t>(kFirstLowSurrogate + ((c - kFirstSupplementary) & 0x3FF))},
            2};
}

size_t Utf8FitLength(std::string_view text, size_t room)
{
    if (text.size() <= room)
        return text.size();
    size_t length = room;
    while (length > 0 && IsContinuation(static_cast<uint8_t>(text[length])))
        --length;
    return length;
}

std::string_view LogFontFaceName(std::string_view name)
{
    return name.substr(0, Utf8FitLength(name, kFaceNameBytes));
}
