// SPDX-License-Identifier: MIT
// PCL XL binary tokens, little-endian: typed values (scalars 0xC0-0xC5,
// arrays 0xC8-0xCD, _xy 0xD0-0xD5, _box 0xE0-0xE5), attribute ids (0xF8,
// 0xF9), operators (0x41-0xBF) and embedded data (0xFA, 0xFB).
#include "xldecode/xldecode.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <optional>
#include <utility>
#include "xlstream/xlcodes.h"

namespace {

constexpr uint8_t kFirstOperator = 0x41;
constexpr uint8_t kLastOperator = 0xBF;
constexpr uint8_t kLineFeed = 0x0A;
constexpr uint8_t kCarriageReturn = 0x0D;

// Element width by element type, 0xC0 ubyte to 0xC5 real32.
constexpr size_t kElementWidth[6] = {1, 2, 4, 2, 4, 4};

enum class ValueShape { None, Scalar, Array, XY, Box };

ValueShape ShapeOfTag(uint8_t tag)
{
    if ((tag & 0x07) > 5)
        return ValueShape::None;
    switch (tag & 0xF8) {
    case 0xC0: return ValueShape::Scalar;
    case 0xC8: return ValueShape::Array;
    case 0xD0: return ValueShape::XY;
    case 0xE0: return ValueShape::Box;
    default: return ValueShape::None;
    }
}

bool IsWhitespace(uint8_t byte)
{
    return byte == 0x00 || (byte >= 0x09 && byte <= 0x0D) || byte == 0x20;
}

std::string Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(value));
    return text;
}

std::string TagText(uint8_t tag)
{
    const char *name = XLDataTypeName(tag);
    return name ? std::string(name) + " (" + Hex(tag) + ")" : Hex(tag);
}

// Little-endian, width 1 to 4; the caller has checked that the bytes exist.
uint32_t ReadLittleEndian(std::span<const uint8_t> bytes, size_t at, size_t width)
{
    uint32_t value = 0;
    for (size_t i = 0; i < width; ++i)
        value |= static_cast<uint32_t>(bytes[at + i]) << (8 * i);
    return value;
}

double ElementNumber(uint8_t elementType, uint32_t bits)
{
    switch (elementType) {
    case 0xC3: return static_cast<int16_t>(static_cast<uint16_t>(bits));
    case 0xC4: return static_cast<int32_t>(bits);
    case 0xC5: return std::bit_cast<float>(bits);
    default: return bits;
    }
}

struct TokenReader {
    std::span<const uint8_t> bytes;
    std::vector<XLToken> &tokens;
    XLDecodeError &error;
    size_t pos = 0;

    size_t LeftAt(size_t at) const { return at <= bytes.size() ? bytes.size() - at : 0; }

    bool Fail(size_t offset, std::string message)
    {
        error.offset = offset;
        error.message = std::move(message);
        return false;
    }

    bool CutShort(size_t start, uint8_t tag, size_t needed, size_t left)
    {
        return Fail(start, TagText(tag) + " cut short: " + std::to_string(needed) +
                               " bytes needed, " + std::to_string(left) + " left");
    }

    XLToken &Add(XLTokenKind kind, size_t start, uint8_t tag)
    {
        XLToken &token = tokens.emplace_back();
        token.kind = kind;
        token.offset = start;
        token.tag = tag;
        return token;
    }

    bool ReadStreamHeader()
    {
        const auto lineEnd = std::find(bytes.begin(), bytes.end(), kLineFeed);
        if (lineEnd == bytes.end())
            return Fail(0, "stream header line without LF");
        const size_t lineLength = static_cast<size_t>(lineEnd - bytes.begin());
        size_t textLength = lineLength;
        if (textLength > 0 && bytes[textLength - 1] == kCarriageReturn)
            --textLength;
        XLToken &token = Add(XLTokenKind::StreamHeader, 0, bytes[0]);
        token.size = lineLength + 1;
        token.raw = bytes.first(textLength);
        pos = token.size;
        return true;
    }

    bool ReadValue(size_t start, uint8_t tag, ValueShape shape)
    {
        const uint8_t elementType = static_cast<uint8_t>(xl::kUByte | (tag & 0x07));
        const size_t width = kElementWidth[tag & 0x07];
        size_t at = start + 1;
        uint32_t count = 1;
        if (shape == ValueShape::XY)
            count = 2;
        else if (shape == ValueShape::Box)
            count = 4;
        else if (shape == ValueShape::Array) {
            if (LeftAt(at) < 1)
                return CutShort(start, tag, 2, LeftAt(at));
            const uint8_t lengthTag = bytes[at];
            size_t lengthWidth = 0;
            if (lengthTag == xl::kUByte)
                lengthWidth = 1;
            else if (lengthTag == xl::kUInt16)
                lengthWidth = 2;
            else
                return Fail(at, TagText(tag) + " length must be ubyte or uint16, found " +
                                    TagText(lengthTag));
            if (LeftAt(at + 1) < lengthWidth)
                return CutShort(start, tag, 1 + lengthWidth, LeftAt(at));
            count = ReadLittleEndian(bytes, at + 1, lengthWidth);
            at += 1 + lengthWidth;
        }
        // count <= 65535, width <= 4: no overflow.
        const size_t valueBytes = count * width;
        if (LeftAt(at) < valueBytes)
            return CutShort(start, tag, valueBytes, LeftAt(at));
        XLToken &token = Add(XLTokenKind::Value, start, tag);
        token.valueType = elementType;
        token.count = count;
        token.raw = bytes.subspan(at, valueBytes);
        token.numbers.reserve(count);
        for (size_t i = 0; i < count; ++i)
            token.numbers.push_back(
                ElementNumber(elementType, ReadLittleEndian(bytes, at + i * width, width)));
        token.size = at + valueBytes - start;
        pos = at + valueBytes;
        return true;
    }

    bool ReadAttribute(size_t start, uint8_t tag)
    {
        const size_t idWidth = tag == xl::kAttrUByte ? 1 : 2;
        if (LeftAt(start + 1) < idWidth)
            return CutShort(start, tag, idWidth, LeftAt(start + 1));
        const uint16_t id = static_cast<uint16_t>(ReadLittleEndian(bytes, start + 1, idWidth));
        if (tokens.empty() || tokens.back().kind != XLTokenKind::Value)
            return Fail(start, "attribute id " + Hex(id) + " without a value before it");
        XLToken &token = Add(XLTokenKind::Attribute, start, tag);
        token.id = id;
        token.size = 1 + idWidth;
        pos = start + token.size;
        return true;
    }

    bool ReadEmbeddedData(size_t start, uint8_t tag)
    {
        const size_t lengthWidth = tag == xl::kDataLength ? 4 : 1;
        if (LeftAt(start + 1) < lengthWidth)
            return CutShort(start, tag, lengthWidth, LeftAt(start + 1));
        const uint32_t length = ReadLittleEndian(bytes, start + 1, lengthWidth);
        const size_t at = start + 1 + lengthWidth;
        if (LeftAt(at) < length)
            return Fail(start, "embedded data cut short: " + std::to_string(length) +
                                   " bytes announced, " + std::to_string(LeftAt(at)) + " left");
        XLToken &token = Add(XLTokenKind::EmbeddedData, start, tag);
        token.count = length;
        token.raw = bytes.subspan(at, length);
        token.size = 1 + lengthWidth + length;
        pos = at + length;
        return true;
    }

    bool ReadAll()
    {
        if (!bytes.empty() && (bytes[0] == '(' || bytes[0] == ')') && !ReadStreamHeader())
            return false;
        while (pos < bytes.size()) {
            const size_t start = pos;
            const uint8_t tag = bytes[start];
            bool ok = true;
            if (IsWhitespace(tag))
                pos = start + 1;
            else if (tag >= kFirstOperator && tag <= kLastOperator) {
                XLToken &token = Add(XLTokenKind::Operator, start, tag);
                token.id = tag;
                token.size = 1;
                pos = start + 1;
            } else if (const ValueShape shape = ShapeOfTag(tag); shape != ValueShape::None)
                ok = ReadValue(start, tag, shape);
            else if (tag == xl::kAttrUByte || tag == xl::kAttrUInt16)
                ok = ReadAttribute(start, tag);
            else if (tag == xl::kDataLength || tag == xl::kDataLengthByte)
                ok = ReadEmbeddedData(start, tag);
            else
                ok = Fail(start, "unknown byte " + Hex(tag));
            if (!ok)
                return false;
        }
        return true;
    }
};

} // namespace

bool XLDecodeTokens(std::span<const uint8_t> bytes, std::vector<XLToken> &tokens,
                    XLDecodeError &error)
{
    tokens.clear();
    error = XLDecodeError{};
    TokenReader reader{bytes, tokens, error};
    return reader.ReadAll();
}

const XLAttribute *XLOperation::Find(uint16_t id) const
{
    for (const XLAttribute &attribute : attributes) {
        if (attribute.id == id)
            return &attribute;
    }
    return nullptr;
}

bool XLDecodeOperations(std::span<const uint8_t> bytes, std::vector<XLOperation> &ops,
                        XLDecodeError &error)
{
    ops.clear();
    std::vector<XLToken> tokens;
    XLDecodeError tokenError;
    const bool tokensComplete = XLDecodeTokens(bytes, tokens, tokenError);

    auto fail = [&error](size_t offset, std::string message) {
        error.offset = offset;
        error.message = std::move(message);
        return false;
    };
    error = XLDecodeError{};
    std::optional<XLToken> pendingValue;
    std::vector<XLAttribute> pendingAttributes;
    bool dataAllowed = false; // right after an operator or its data
    for (XLToken &token : tokens) {
        switch (token.kind) {
        case XLTokenKind::StreamHeader: break;
        case XLTokenKind::Value:
            if (pendingValue)
                return fail(token.offset, "value at " + std::to_string(pendingValue->offset) +
                                              " not followed by an attribute id");
            pendingValue = std::move(token);
            dataAllowed = false;
            break;
        case XLTokenKind::Attribute:
            // The token reader puts an attribute id only right after a value.
            if (!pendingValue)
                return fail(token.offset,
                            "attribute id " + Hex(token.id) + " without a value before it");
            pendingAttributes.push_back(XLAttribute{token.id, std::move(*pendingValue)});
            pendingValue.reset();
            break;
        case XLTokenKind::Operator: {
            if (pendingValue)
                return fail(token.offset, "value at " + std::to_string(pendingValue->offset) +
                                              " not followed by an attribute id");
            XLOperation &op = ops.emplace_back();
            op.op = token.tag;
            op.offset = token.offset;
            op.attributes = std::move(pendingAttributes);
            pendingAttributes.clear();
            dataAllowed = true;
            break;
        }
        case XLTokenKind::EmbeddedData:
            if (!dataAllowed)
                return fail(token.offset, "embedded data not right after an operator");
            ops.back().hasData = true;
            ops.back().data.insert(ops.back().data.end(), token.raw.begin(), token.raw.end());
            break;
        }
    }
    if (!tokensComplete) {
        error = std::move(tokenError);
        return false;
    }
    if (pendingValue)
        return fail(pendingValue->offset, "value not followed by an attribute id at the end");
    if (!pendingAttributes.empty())
        return fail(pendingAttributes.front().value.offset,
                    "attributes without an operator at the end");
    return true;
}
