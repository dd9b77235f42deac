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

// Reads one token at a time from pos on.
struct TokenReader {
    std::span<const uint8_t> bytes;
    XLDecodeError &error;
    size_t pos = 0;
    bool lastWasValue = false; // an attribute id needs a value right before it

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

    static void Start(XLToken &token, XLTokenKind kind, size_t start, uint8_t tag)
    {
        token = XLToken{};
        token.kind = kind;
        token.offset = start;
        token.tag = tag;
    }

    // The line from pos up to and including its LF.
    bool ReadStreamHeader(XLToken &token)
    {
        const auto from = bytes.begin() + static_cast<std::ptrdiff_t>(pos);
        const auto lineEnd = std::find(from, bytes.end(), kLineFeed);
        if (lineEnd == bytes.end())
            return Fail(pos, "stream header line without LF");
        const size_t lineLength = static_cast<size_t>(lineEnd - from);
        size_t textLength = lineLength;
        if (textLength > 0 && bytes[pos + textLength - 1] == kCarriageReturn)
            --textLength;
        Start(token, XLTokenKind::StreamHeader, pos, bytes[pos]);
        token.size = lineLength + 1;
        token.raw = bytes.subspan(pos, textLength);
        pos += token.size;
        lastWasValue = false;
        return true;
    }

    bool ReadValue(size_t start, uint8_t tag, ValueShape shape, XLToken &token)
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
        Start(token, XLTokenKind::Value, start, tag);
        token.valueType = elementType;
        token.count = count;
        token.raw = bytes.subspan(at, valueBytes);
        token.numbers.reserve(count);
        for (size_t i = 0; i < count; ++i)
            token.numbers.push_back(
                ElementNumber(elementType, ReadLittleEndian(bytes, at + i * width, width)));
        token.size = at + valueBytes - start;
        pos = at + valueBytes;
        lastWasValue = true;
        return true;
    }

    bool ReadAttribute(size_t start, uint8_t tag, XLToken &token)
    {
        const size_t idWidth = tag == xl::kAttrUByte ? 1 : 2;
        if (LeftAt(start + 1) < idWidth)
            return CutShort(start, tag, idWidth, LeftAt(start + 1));
        const uint16_t id = static_cast<uint16_t>(ReadLittleEndian(bytes, start + 1, idWidth));
        if (!lastWasValue)
            return Fail(start, "attribute id " + Hex(id) + " without a value before it");
        Start(token, XLTokenKind::Attribute, start, tag);
        token.id = id;
        token.size = 1 + idWidth;
        pos = start + token.size;
        lastWasValue = false;
        return true;
    }

    bool ReadEmbeddedData(size_t start, uint8_t tag, XLToken &token)
    {
        const size_t lengthWidth = tag == xl::kDataLength ? 4 : 1;
        if (LeftAt(start + 1) < lengthWidth)
            return CutShort(start, tag, lengthWidth, LeftAt(start + 1));
        const uint32_t length = ReadLittleEndian(bytes, start + 1, lengthWidth);
        const size_t at = start + 1 + lengthWidth;
        if (LeftAt(at) < length)
            return Fail(start, "embedded data cut short: " + std::to_string(length) +
                                   " bytes announced, " + std::to_string(LeftAt(at)) + " left");
        Start(token, XLTokenKind::EmbeddedData, start, tag);
        token.count = length;
        token.raw = bytes.subspan(at, length);
        token.size = 1 + lengthWidth + length;
        pos = at + length;
        lastWasValue = false;
        return true;
    }

    // Skips whitespace; pos then stands at the next token or the end.
    void SkipWhitespace()
    {
        while (pos < bytes.size() && IsWhitespace(bytes[pos]))
            ++pos;
    }

    // The token at pos (not whitespace, not the end). False with the error.
    bool Read(XLToken &token)
    {
        const size_t start = pos;
        const uint8_t tag = bytes[start];
        if (tag >= kFirstOperator && tag <= kLastOperator) {
            Start(token, XLTokenKind::Operator, start, tag);
            token.id = tag;
            token.size = 1;
            pos = start + 1;
            lastWasValue = false;
            return true;
        }
        if (const ValueShape shape = ShapeOfTag(tag); shape != ValueShape::None)
            return ReadValue(start, tag, shape, token);
        if (tag == xl::kAttrUByte || tag == xl::kAttrUInt16)
            return ReadAttribute(start, tag, token);
        if (tag == xl::kDataLength || tag == xl::kDataLengthByte)
            return ReadEmbeddedData(start, tag, token);
        return Fail(start, "unknown byte " + Hex(tag));
    }
};

} // namespace

bool XLDecodeTokens(std::span<const uint8_t> bytes, std::vector<XLToken> &tokens,
                    XLDecodeError &error)
{
    tokens.clear();
    error = XLDecodeError{};
    TokenReader reader{bytes, error};
    if (!bytes.empty() && (bytes[0] == '(' || bytes[0] == ')') &&
        !reader.ReadStreamHeader(tokens.emplace_back())) {
        tokens.pop_back();
        return false;
    }
    for (reader.SkipWhitespace(); reader.pos < bytes.size(); reader.SkipWhitespace()) {
        XLToken token;
        if (!reader.Read(token))
            return false;
        tokens.push_back(std::move(token));
    }
    return true;
}

const XLAttribute *XLOperation::Find(uint16_t id) const
{
    for (const XLAttribute &attribute : attributes) {
        if (attribute.id == id)
            return &attribute;
    }
    return nullptr;
}

XLOperationReader::XLOperationReader(std::span<const uint8_t> run, size_t from, bool job)
    : bytes(run), pos(from), streamStart(from), jobStream(job)
{
}

bool XLOperationReader::Fail(size_t offset, std::string message)
{
    failed = true;
    stored.offset = offset;
    stored.message = std::move(message);
    return false;
}

// Gives the pending operation to the caller. The caller's previous one
// comes back as the storage of the next, so that reading a run an operation
// at a time reuses its buffers instead of allocating them for each.
void XLOperationReader::HandOver(XLOperation &op)
{
    std::swap(op, *pendingOp);
    spare = std::move(*pendingOp);
    pendingOp.reset();
}

// The operation being read, once it is complete; or the error.
bool XLOperationReader::GiveOrFail(XLOperation &op, XLDecodeError &error)
{
    if (pendingOp) {
        HandOver(op);
        lastBeforeError = true;
        return true;
    }
    error = stored;
    return false;
}

bool XLOperationReader::BeginStream(XLDecodeError &error)
{
    TokenReader reader{bytes, stored, pos, lastWasValue};
    if (jobStream)
        reader.SkipWhitespace();
    if (tokenSeen || reader.pos >= bytes.size() || (bytes[reader.pos] != '(' && bytes[reader.pos] != ')'))
        return true;
    XLToken token;
    tokenSeen = true;
    if (!reader.ReadStreamHeader(token)) {
        failed = true;
        error = stored;
        return false;
    }
    pos = reader.pos;
    header = token.raw;
    hasHeader = true;
    return true;
}

bool XLOperationReader::Next(XLOperation &op, XLDecodeError &error)
{
    error = XLDecodeError{};
    lastBeforeError = false;
    if (failed)
        return GiveOrFail(op, error);
    if (ended)
        return false;
    TokenReader reader{bytes, stored, pos, lastWasValue};
    while (true) {
        reader.SkipWhitespace();
        pos = reader.pos;
        const bool atEnd = pos >= bytes.size();
        // In a file of jobs a stream ends at a universal exit or at the
        // next stream's header.
        if (atEnd || (jobStream && tokenSeen &&
                      (XLIsUniversalExitAt(bytes, pos) || bytes[pos] == '(' || bytes[pos] == ')'))) {
            end = pos;
            if (pendingOp) {
                HandOver(op);
                lastBeforeError = pendingValue || !pendingAttributes.empty();
                return true;
            }
            ended = true;
            if (pendingValue)
                Fail(pendingValue->offset, "value not followed by an attribute id at the end");
            else if (!pendingAttributes.empty())
                Fail(pendingAttributes.front().value.offset, "attributes without an operator at the end");
            else
                return false;
            error = stored;
            return false;
        }
        XLToken token;
        if (!tokenSeen && (pos == streamStart || jobStream) && (bytes[pos] == '(' || bytes[pos] == ')')) {
            if (!BeginStream(error))
                return false;
            reader.pos = pos;
            continue;
        }
        tokenSeen = true;
        const bool read = reader.Read(token);
        pos = reader.pos;
        lastWasValue = reader.lastWasValue;
        if (!read) {
            failed = true;
            return GiveOrFail(op, error);
        }
        switch (token.kind) {
        case XLTokenKind::StreamHeader: break;
        case XLTokenKind::Value:
            if (pendingValue) {
                Fail(token.offset, "value at " + std::to_string(pendingValue->offset) +
                                       " not followed by an attribute id");
                return GiveOrFail(op, error);
            }
            pendingValue = std::move(token);
            dataAllowed = false;
            // The operation before is complete.
            if (pendingOp) {
                HandOver(op);
                return true;
            }
            break;
        case XLTokenKind::Attribute:
            // The token reader puts an attribute id only right after a value.
            pendingAttributes.push_back(XLAttribute{token.id, std::move(*pendingValue)});
            pendingValue.reset();
            break;
        case XLTokenKind::Operator: {
            if (pendingValue) {
                Fail(token.offset, "value at " + std::to_string(pendingValue->offset) +
                                       " not followed by an attribute id");
                return GiveOrFail(op, error);
            }
            XLOperation next = std::move(spare);
            next.op = token.tag;
            next.offset = token.offset;
            next.hasData = false;
            next.data.clear();
            std::swap(next.attributes, pendingAttributes);
            pendingAttributes.clear();
            dataAllowed = true;
            if (pendingOp) {
                HandOver(op);
                pendingOp = std::move(next);
                return true;
            }
            pendingOp = std::move(next);
            break;
        }
        case XLTokenKind::EmbeddedData:
            if (!dataAllowed) {
                Fail(token.offset, "embedded data not right after an operator");
                return GiveOrFail(op, error);
            }
            pendingOp->hasData = true;
            pendingOp->data.insert(pendingOp->data.end(), token.raw.begin(), token.raw.end());
            break;
        }
    }
}

bool XLDecodeOperations(std::span<const uint8_t> bytes, std::vector<XLOperation> &ops,
                        XLDecodeError &error)
{
    ops.clear();
    XLOperationReader reader(bytes);
    XLOperation op;
    while (reader.Next(op, error))
        ops.push_back(std::move(op));
    return error.message.empty();
}
