// SPDX-License-Identifier: MIT
// PCL XL data types, attributes and operators appended to a byte sink: the
// one encoder of the library's buffered stream writer, of the fixed page
// fragments the library writes straight into a file and of the fndl tool's
// framing around the library's output. Values go out little-endian, the
// stream header's byte order; 16-bit values as their low 16 bits.
//
// A sink is any container with push_back(uint8_t). Every byte reaches it
// through PutItem (a tag, an attribute id, an operator or one value of up
// to four bytes) or PutBlock (bytes as they lie); a sink with members of
// those names takes them whole, as the stream writer does to keep an item
// within one buffer.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "xlstream/xlcodes.h"

namespace xl {

// The low nWidth bytes of value, least significant first, as one item.
template <typename Sink>
inline void PutItem(Sink &out, uint32_t value, int nWidth)
{
    if constexpr (requires { out.PutItem(value, nWidth); }) {
        out.PutItem(value, nWidth);
    } else {
        for (int i = 0; i < nWidth; ++i)
            out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

template <typename Sink>
inline void PutBlock(Sink &out, const uint8_t *pbyBytes, uint32_t dwLength)
{
    if constexpr (requires { out.PutBlock(pbyBytes, dwLength); }) {
        out.PutBlock(pbyBytes, dwLength);
    } else {
        for (uint32_t i = 0; i < dwLength; ++i)
            out.push_back(pbyBytes[i]);
    }
}

template <typename Sink>
inline void PutLow16(Sink &out, uint32_t value)
{
    PutItem(out, value & 0xFFFF, 2);
}

// One encoder per data type: its tag, then its value.

template <typename Sink>
inline void PutUByte(Sink &out, uint8_t value)
{
    PutItem(out, kUByte, 1);
    PutItem(out, value, 1);
}

template <typename Sink>
inline void PutUInt16(Sink &out, uint16_t value)
{
    PutItem(out, kUInt16, 1);
    PutItem(out, value, 2);
}

template <typename Sink>
inline void PutSInt16(Sink &out, int16_t value)
{
    PutItem(out, kSInt16, 1);
    PutItem(out, static_cast<uint16_t>(value), 2);
}

template <typename Sink>
inline void PutUInt32(Sink &out, uint32_t value)
{
    PutItem(out, kUInt32, 1);
    PutItem(out, value, 4);
}

template <typename Sink>
inline void PutReal32(Sink &out, float value)
{
    PutItem(out, kReal32, 1);
    PutItem(out, std::bit_cast<uint32_t>(value), 4);
}

template <typename Sink>
inline void PutReal32XY(Sink &out, float x, float y)
{
    PutItem(out, kReal32XY, 1);
    PutItem(out, std::bit_cast<uint32_t>(x), 4);
    PutItem(out, std::bit_cast<uint32_t>(y), 4);
}

// A uint16_xy or sint16_xy pair (tag): both are two 16-bit values.
template <typename Sink>
inline void PutXY(Sink &out, uint8_t tag, uint16_t x, uint16_t y)
{
    PutItem(out, tag, 1);
    PutLow16(out, x);
    PutLow16(out, y);
}

// A uint16_box or sint16_box (tag): left, top, right, bottom.
template <typename Sink>
inline void PutBox(Sink &out, uint8_t tag, uint16_t left, uint16_t top, uint16_t right, uint16_t bottom)
{
    PutItem(out, tag, 1);
    for (const uint16_t value : {left, top, right, bottom})
        PutLow16(out, value);
}

// The head of an array of nCount elements (tag: ubyte_array, uint16_array,
// sint16_array): its length as a uint16. The elements follow.
template <typename Sink>
inline void PutArrayHead(Sink &out, uint8_t tag, uint16_t nCount)
{
    PutItem(out, tag, 1);
    PutUInt16(out, nCount);
}

// A ubyte_array.
template <typename Sink>
inline void PutUByteArray(Sink &out, const uint8_t *pbyBytes, uint16_t nCount)
{
    PutArrayHead(out, kUByteArray, nCount);
    PutBlock(out, pbyBytes, nCount);
}

// A uint16_array or sint16_array (tag) of 16-bit values (two's complement
// for sint16: the same bits).
template <typename Sink>
inline void PutArray16(Sink &out, uint8_t tag, const uint16_t *pnValues, uint16_t nCount)
{
    PutArrayHead(out, tag, nCount);
    for (uint16_t i = 0; i < nCount; ++i)
        PutItem(out, pnValues[i], 2);
}

// The length of the embedded data that follows (with PutBlock).
template <typename Sink>
inline void PutDataLength(Sink &out, uint32_t dwLength)
{
    PutItem(out, kDataLength, 1);
    PutItem(out, dwLength, 4);
}

// The attribute id that follows an attribute's value.
template <typename Sink>
inline void PutAttributeId(Sink &out, uint8_t attribute)
{
    PutItem(out, kAttrUByte, 1);
    PutItem(out, attribute, 1);
}

template <typename Sink>
inline void PutOperator(Sink &out, uint8_t op)
{
    PutItem(out, op, 1);
}

// Attributes: a value, then its attribute id.

template <typename Sink>
inline void PutUByteAttribute(Sink &out, uint8_t value, uint8_t attribute)
{
    PutUByte(out, value);
    PutAttributeId(out, attribute);
}

template <typename Sink>
inline void PutXYAttribute(Sink &out, uint8_t tag, uint16_t x, uint16_t y, uint8_t attribute)
{
    PutXY(out, tag, x, y);
    PutAttributeId(out, attribute);
}

template <typename Sink>
inline void PutBoxAttribute(Sink &out, uint16_t left, uint16_t top, uint16_t right, uint16_t bottom,
                            uint8_t attribute, uint8_t tag = kUInt16Box)
{
    PutBox(out, tag, left, top, right, bottom);
    PutAttributeId(out, attribute);
}

template <typename Sink>
inline void PutUByteArrayAttribute(Sink &out, std::string_view bytes, uint8_t attribute)
{
    PutArrayHead(out, kUByteArray, static_cast<uint16_t>(bytes.size()));
    PutBlock(out, reinterpret_cast<const uint8_t *>(bytes.data()), static_cast<uint32_t>(bytes.size()));
    PutAttributeId(out, attribute);
}

// The head of a uint16_array of count elements; the elements follow with
// PutLow16, then the attribute id.
template <typename Sink>
inline void PutUInt16ArrayHead(Sink &out, uint16_t count)
{
    PutArrayHead(out, kUInt16Array, count);
}

template <typename Sink>
inline void PutReal32XYAttribute(Sink &out, float x, float y, uint8_t attribute)
{
    PutReal32XY(out, x, y);
    PutAttributeId(out, attribute);
}

} // namespace xl
