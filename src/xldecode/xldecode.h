// SPDX-License-Identifier: MIT
// PCL XL decoder: reads a binary little-endian PCL XL byte run back into
// tokens and into operations (an operator with its attributes and the
// embedded data that follows it). Built for untrusted input: it never reads
// past the end of what it is given, and every count it reads is checked
// against the bytes that are there before memory is taken for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

enum class XLTokenKind : uint8_t {
    StreamHeader, // the binding line, e.g. ") HP-PCL XL;2;0;comment\r\n"
    Value,        // a typed value: scalar, array, _xy or _box
    Attribute,    // attr_ubyte (0xF8) or attr_uint16 (0xF9) with its id
    Operator,     // a byte 0x41-0xBF
    EmbeddedData, // dataLength (0xFA) or dataLengthByte (0xFB) with its bytes
};

// One token. raw points into the decoded bytes: keep them alive while the
// token is used.
struct XLToken {
    XLTokenKind kind = XLTokenKind::Value;
    size_t offset = 0;           // of the token's first byte
    size_t size = 0;             // bytes the token takes in the stream
    uint8_t tag = 0;             // the token's first byte
    uint16_t id = 0;             // attribute id or operator code
    uint8_t valueType = 0;       // values: element type, 0xC0 ubyte to 0xC5 real32
    uint32_t count = 0;          // values: elements (1 scalar, 2 _xy, 4 _box, n array);
                                 // embedded data: bytes
    std::vector<double> numbers; // values: every element, in order
    // Values: the element bytes (after the tag and any array length).
    // Embedded data: the data bytes. Stream header: the line without its LF
    // (and without a CR before the LF).
    std::span<const uint8_t> raw;
};

struct XLDecodeError {
    size_t offset = 0;
    std::string message;
};

// Splits bytes into tokens. A run that starts with '(' or ')' begins with a
// stream header line, up to and including the first LF. Whitespace bytes
// (0x00, 0x09-0x0D, 0x20) between tokens are skipped. On a malformed run
// (unknown byte, value or data cut short, attribute id without a value
// before it) returns false with the error; tokens then holds every complete
// token before it.
bool XLDecodeTokens(std::span<const uint8_t> bytes, std::vector<XLToken> &tokens,
                    XLDecodeError &error);

struct XLAttribute {
    uint16_t id = 0;
    XLToken value;
};

struct XLOperation {
    uint8_t op = 0;
    size_t offset = 0;                   // of the operator byte
    std::vector<XLAttribute> attributes; // in stream order
    bool hasData = false;                // embedded data followed the operator
    std::vector<uint8_t> data;           // all data blocks after it, joined

    // The first attribute with this id, or null.
    const XLAttribute *Find(uint16_t id) const;
};

// Groups the tokens into operations; the stream header is skipped. Besides
// the token errors, a value not followed by an attribute id, embedded data
// not right after an operator (or its earlier data), and values or
// attributes left without an operator at the end are errors. On failure ops
// holds the operations completed before the error.
bool XLDecodeOperations(std::span<const uint8_t> bytes, std::vector<XLOperation> &ops,
                        XLDecodeError &error);

// Where the PCL XL stream lies in a whole job's bytes: [begin, end).
struct XLStreamBounds {
    size_t begin = 0;
    size_t end = 0;
};

// Finds the PCL XL stream in a job that may be wrapped in printer job
// language: an optional universal exit (ESC%-12345X) followed by @PJL lines
// up to and including "@PJL ENTER LANGUAGE=PCLXL" (blank lines and further
// universal exits allowed), and a trailer of universal exits and @PJL lines
// (e.g. "@PJL EOJ") after the stream. A job without a preamble starts at 0;
// one without a trailer ends at its end. Fails, with the offset, on a
// preamble that enters another language, holds a line that is not PJL, or
// ends before the stream starts.
bool XLFindStream(std::span<const uint8_t> job, XLStreamBounds &bounds, XLDecodeError &error);

// Published PCL XL names; null for a code without one here.
const char *XLOperatorName(uint8_t code);
const char *XLAttributeName(uint16_t id);
const char *XLDataTypeName(uint8_t tag); // value, attribute and data-length tags
