// SPDX-License-Identifier: MIT
// The PCL XL vocabulary the stream writer accepts: an accepted operator or
// attribute code maps to itself, every other code to 0 (rejected). Code 0 is
// never accepted; codes from 256 up are rejected before the lookup. The
// accepted codes are the lists in xlcodes.h.
#include "xlstream/xlstream.h"

#include <initializer_list>
#include "xlstream/xlcodes.h"

namespace {

constexpr std::array<uint8_t, 256> AcceptedCodes(std::initializer_list<uint8_t> codes)
{
    std::array<uint8_t, 256> table{};
    for (uint8_t code : codes)
        table[code] = code;
    return table;
}

} // namespace

#define FNDL_XL_ACCEPT_NAMED(code, Name) code,
#define FNDL_XL_ACCEPT(code) code,

// 90 operators: 0x41-0x44, 0x46-0x4C, 0x4F-0x56, 0x5B-0x82, 0x84-0x86, 0x91,
// 0x93, 0x95-0x99, 0x9B, 0x9D-0xA3, 0xA8-0xAA, 0xB0-0xB6, 0xB8-0xB9, 0xBF.
const std::array<uint8_t, 256> XLOperatorTable =
    AcceptedCodes({FNDL_XL_OPERATORS(FNDL_XL_ACCEPT_NAMED, FNDL_XL_ACCEPT)});

// 128 attributes: 0x01-0x1C, 0x21-0x2D, 0x2F-0x36, 0x41-0x54, 0x61-0x69,
// 0x6B-0x73, 0x81-0x82, 0x86, 0x88-0x8C, 0x8F, 0x91-0xAD, 0xAF-0xB1.
const std::array<uint8_t, 256> XLAttributeTable =
    AcceptedCodes({FNDL_XL_ATTRIBUTES(FNDL_XL_ACCEPT_NAMED, FNDL_XL_ACCEPT)});
