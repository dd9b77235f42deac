// SPDX-License-Identifier: MIT
// PCL XL data types, attributes and operators appended to a byte sink (any
// container with push_back(uint8_t)): the one encoder of the fixed page
// fragments the library writes straight into a file and of the fndl tool's
// framing around the library's output. Values go out little-endian, the
// stream header's byte order; 16-bit values as their low 16 bits.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "xlstream/xlcodes.h"

namespace xl {

template <typename Sink>
void PutLow16(Sink &out, uint32_t value)
{
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

// The attribute id that follows an attribute's value.
template <typename Sink>
void PutAttributeId(Sink &out, uint8_t attribute)
{
    out.push_back(kAttrUByte);
    out.push_back(attribute);
}

template <typename Sink>
void PutOperator(Sink &out, uint8_t op)
{
    out.push_back(op);
}

template <typename Sink>
void PutUByteAttribute(Sink &out, uint8_t value, uint8_t attribute)
{
    out.push_back(kUByte);
    out.push_back(value);
    PutAttributeId(out, attribute);
}

// A uint16_xy or sint16_xy pair (tag): both are two 16-bit values.
template <typename Sink>
void PutXYAttribute(Sink &out, uint8_t tag, uint16_t x, uint16_t y, uint8_t attribute)
{
    out.push_back(tag);
    PutLow16(out, x);
    PutLow16(out, y);
    PutAttributeId(out, attribute);
}

// A uint16_box or sint16_box (tag): left, top, right, bottom.
template <typename Sink>
void PutBoxAttribute(Sink &out, uint16_t left, uint16_t top, uint16_t right, uint16_t bottom,
                     uint8_t attribute, uint8_t tag = kUInt16Box)
{
    out.push_back(tag);
    for (const uint16_t value : {left, top, right, bottom})
        PutLow16(out, value);
    PutAttributeId(out, attribute);
}

// A ubyte_array: its length as a uint16, then the bytes.
template <typename Sink>
void PutUByteArrayAttribute(Sink &out, std::string_view bytes, uint8_t attribute)
{
    out.push_back(kUByteArray);
    out.push_back(kUInt16);
    PutLow16(out, static_cast<uint32_t>(bytes.size()));
    for (const char byte : bytes)
        out.push_back(static_cast<uint8_t>(byte));
    PutAttributeId(out, attribute);
}

// The head of a uint16_array of count elements (its length as a uint16);
// the elements follow with PutLow16, then the attribute id.
template <typename Sink>
void PutUInt16ArrayHead(Sink &out, uint16_t count)
{
    out.push_back(kUInt16Array);
    out.push_back(kUInt16);
    PutLow16(out, count);
}

template <typename Sink>
void PutReal32XYAttribute(Sink &out, float x, float y, uint8_t attribute)
{
    out.push_back(kReal32XY);
    for (const float value : {x, y}) {
        uint32_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        for (int shift = 0; shift < 32; shift += 8)
            out.push_back(static_cast<uint8_t>(bits >> shift));
    }
    PutAttributeId(out, attribute);
}

} // namespace xl
