// SPDX-License-Identifier: MIT
// PCL XL decoder: reads a binary little-endian PCL XL byte run back into
// tokens and into operations (an operator with its attributes and the
// embedded data that follows it). Built for untrusted input: it never reads
// past the end of what it is given, and every count it reads is checked
// against the bytes that are there before memory is taken for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
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

// The operations of a byte run one at a time, by the rules of
// XLDecodeOperations: memory follows the largest operation, not the run.
// Offsets count from the start of bytes. With job set (a stream inside a
// file of jobs, see XLJobReader) the stream also ends at a universal exit or
// a stream header line that stands where a token could begin.
struct XLOperationReader {
    explicit XLOperationReader(std::span<const uint8_t> bytes, size_t from = 0, bool job = false);

    // The next operation. False at the end (error.message empty) or on a
    // malformed run (error set; every later call fails the same way).
    bool Next(XLOperation &op, XLDecodeError &error);
    // Reads the stream header line, if one opens the stream (after
    // whitespace in a job's stream). False with the error.
    bool BeginStream(XLDecodeError &error);

    bool lastBeforeError = false;       // the operation given last is followed by the error
    bool hasHeader = false;             // the stream began with a stream header line
    std::span<const uint8_t> header;    // its text, without CR LF
    size_t end = 0;                     // where the stream ended, once Next gave false

private:
    bool Fail(size_t offset, std::string message);
    bool GiveOrFail(XLOperation &op, XLDecodeError &error);
    void HandOver(XLOperation &op);

    std::span<const uint8_t> bytes;
    size_t pos = 0;
    size_t streamStart = 0;
    bool jobStream = false;
    bool lastWasValue = false;
    bool tokenSeen = false; // a stream header may only come first
    bool failed = false;
    bool ended = false;
    bool dataAllowed = false; // right after an operator or its data
    XLDecodeError stored;
    std::optional<XLToken> pendingValue;
    std::vector<XLAttribute> pendingAttributes;
    std::optional<XLOperation> pendingOp;
    XLOperation spare; // buffers of an operation given before, for the next
};

// True when the universal exit language command ESC%-12345X stands at at.
bool XLIsUniversalExitAt(std::span<const uint8_t> bytes, size_t at);

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

// A file of one or more PCL XL jobs one after another (a banner page and a
// document, each bare or wrapped in PJL, as a spooler passes them on), read
// piece by piece in linear time. A job's stream ends at a universal exit or
// a stream header that stands where a token could begin; what lies between
// streams must be universal exits, PJL lines and blanks, and a preamble
// must not enter a language other than PCLXL. A file that starts with
// neither a universal exit, a PJL line, a stream header nor a PCL XL value
// (the bare output of the library starts with one) is not read at all.
enum class XLJobPieceKind : uint8_t {
    Envelope,    // PJL and universal exits: offset, size
    StreamBegin, // offset; hasHeader and header when a stream header line opens it
    Operation,   // op; lastBeforeError when the damage follows it
    StreamEnd,   // offset: where the stream ends
};

struct XLJobPiece {
    XLJobPieceKind kind = XLJobPieceKind::Envelope;
    size_t offset = 0;
    size_t size = 0;
    bool hasHeader = false;
    std::span<const uint8_t> header;
    XLOperation op;
    bool lastBeforeError = false;
};

struct XLJobReader {
    explicit XLJobReader(std::span<const uint8_t> file) : bytes(file), stream(file) {}

    // The next piece. False at the end of the file (error.message empty) or
    // on damage (error set, with its offset from the start of the file).
    bool Next(XLJobPiece &piece, XLDecodeError &error);

private:
    enum class Where : uint8_t { Start, Envelope, StreamStart, Stream, Done };
    std::span<const uint8_t> bytes;
    XLOperationReader stream;
    Where where = Where::Start;
    size_t pos = 0;
    bool sawStream = false;
    XLDecodeError failure;
    bool failed = false;
};

// Published PCL XL names; null for a code without one here.
const char *XLOperatorName(uint8_t code);
const char *XLAttributeName(uint16_t id);
const char *XLDataTypeName(uint8_t tag); // value, attribute and data-length tags
