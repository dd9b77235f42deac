// SPDX-License-Identifier: MIT
#include "pagecount.h"

#include <algorithm>

namespace {

constexpr uint8_t kEndPage = 0x44;
constexpr uint8_t kEscape = 0x1B; // the universal exit back to PJL

// Bytes of one element of a value type (low bits of the tag): ubyte,
// uint16, uint32, sint16, sint32, real32.
uint32_t ElementSize(uint8_t type)
{
    constexpr uint32_t sizes[] = {1, 2, 4, 2, 4, 4};
    return type < 6 ? sizes[type] : 1;
}

bool IsWhitespace(uint8_t byte)
{
    return byte == 0x00 || (byte >= 0x09 && byte <= 0x0D) || byte == 0x20;
}

} // namespace

size_t PclXlPageCounter::Feed(const uint8_t *data, size_t size)
{
    pageEnded = false;
    size_t at = 0;
    while (at < size) {
        if (mode == Mode::Skip) {
            const uint64_t take = std::min<uint64_t>(skip, size - at);
            at += static_cast<size_t>(take);
            skip -= take;
            if (skip == 0)
                mode = Mode::Token;
            continue;
        }
        const uint8_t byte = data[at++];
        switch (mode) {
        case Mode::Pjl:
            if (lineStart && (byte == ')' || byte == '(')) {
                littleEndian = byte == ')';
                mode = Mode::HeaderLine;
            }
            lineStart = byte == '\n';
            break;
        case Mode::HeaderLine:
            if (byte == '\n')
                mode = Mode::Token;
            break;
        case Mode::ArrayLength:
            // The element count is a ubyte or uint16 value.
            numberBytes = byte == 0xC0 ? 1 : byte == 0xC1 ? 2 : 0;
            numberRead = 0;
            number = 0;
            mode = numberBytes ? Mode::Number : Mode::Token;
            break;
        case Mode::Number:
            if (littleEndian)
                number |= static_cast<uint64_t>(byte) << (8 * numberRead);
            else
                number = (number << 8) | byte;
            if (++numberRead == numberBytes) {
                skip = number * multiplier;
                mode = skip ? Mode::Skip : Mode::Token;
            }
            break;
        case Mode::Token:
            if (IsWhitespace(byte))
                break;
            if (byte == kEscape) {
                mode = Mode::Pjl;
                lineStart = false;
            } else if (byte >= 0xC0 && byte <= 0xC5) {
                skip = ElementSize(byte - 0xC0);
                mode = Mode::Skip;
            } else if (byte >= 0xC8 && byte <= 0xCD) {
                multiplier = ElementSize(byte - 0xC8);
                mode = Mode::ArrayLength;
            } else if (byte >= 0xD0 && byte <= 0xD5) {
                skip = 2 * ElementSize(byte - 0xD0);
                mode = Mode::Skip;
            } else if (byte >= 0xE0 && byte <= 0xE5) {
                skip = 4 * ElementSize(byte - 0xE0);
                mode = Mode::Skip;
            } else if (byte == 0xF8 || byte == 0xF9) {
                skip = byte == 0xF8 ? 1 : 2;
                mode = Mode::Skip;
            } else if (byte == 0xFA || byte == 0xFB) {
                numberBytes = byte == 0xFA ? 4 : 1;
                numberRead = 0;
                number = 0;
                multiplier = 1;
                mode = Mode::Number;
            } else if (byte == kEndPage) {
                pageEnded = true;
                return at;
            }
            break;
        case Mode::Skip:
            break;
        }
    }
    return at;
}
