// SPDX-License-Identifier: MIT
// The printer job language (PJL) wrapping of a PCL XL job: the universal
// exit language command ESC%-12345X, "@PJL ..." lines, and the trailer that
// follows the stream.
#include "xldecode/xldecode.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view kUniversalExit = "\x1B%-12345X";
constexpr uint8_t kLineFeed = 0x0A;

std::string_view View(std::span<const uint8_t> bytes, size_t at, size_t length)
{
    return {reinterpret_cast<const char *>(bytes.data()) + at, length};
}

bool StartsWithAt(std::span<const uint8_t> bytes, size_t at, std::string_view text)
{
    return bytes.size() - at >= text.size() && View(bytes, at, text.size()) == text;
}

// Upper case with spaces and tabs removed, for comparing PJL commands,
// whose keywords are case-insensitive and may be spaced around '='.
std::string Squeezed(std::string_view line)
{
    std::string out;
    for (char c : line) {
        if (c != ' ' && c != '\t' && c != '\r')
            out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

bool IsBlank(uint8_t byte) { return byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n'; }

// The end of the line starting at `at`: the offset after its LF, or the
// end of the bytes.
size_t LineEnd(std::span<const uint8_t> bytes, size_t at)
{
    const auto lf = std::find(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end(), kLineFeed);
    return lf == bytes.end() ? bytes.size() : static_cast<size_t>(lf - bytes.begin()) + 1;
}

bool IsPjlLine(std::string_view line)
{
    return line.size() >= 4 && Squeezed(line.substr(0, 4)) == "@PJL";
}

// Where the PJL from `at` to the end of the job stops being PJL: the offset
// of the first byte that is neither a universal exit, a blank nor the start
// of a PJL line; the job's size when everything is, which makes `at` the
// start of the job's trailer.
size_t EndOfPjl(std::span<const uint8_t> bytes, size_t at)
{
    while (at < bytes.size()) {
        if (StartsWithAt(bytes, at, kUniversalExit))
            at += kUniversalExit.size();
        else if (IsBlank(bytes[at]))
            ++at;
        else if (IsPjlLine(View(bytes, at, std::min<size_t>(4, bytes.size() - at))))
            at = LineEnd(bytes, at);
        else
            return at;
    }
    return at;
}

enum class EnvelopeEnd : uint8_t { Stream, End, Failed };

// Universal exits, blanks and PJL lines from `at` on, up to the PCL XL
// stream: right after "@PJL ENTER LANGUAGE=PCLXL", or at a stream header
// line (a printer switches language on its own when the stream header
// comes without ENTER LANGUAGE); or up to the end of the job.
EnvelopeEnd ReadEnvelope(std::span<const uint8_t> job, size_t &at, bool first, XLDecodeError &error)
{
    auto fail = [&error](size_t offset, std::string message) {
        error.offset = offset;
        error.message = std::move(message);
        return EnvelopeEnd::Failed;
    };
    while (at < job.size()) {
        if (StartsWithAt(job, at, kUniversalExit)) {
            at += kUniversalExit.size();
            continue;
        }
        if (IsBlank(job[at])) {
            ++at;
            continue;
        }
        if (job[at] == '(' || job[at] == ')')
            return EnvelopeEnd::Stream;
        const size_t end = LineEnd(job, at);
        const std::string_view line = View(job, at, end - at);
        if (!IsPjlLine(line))
            return fail(at, first ? "line in the PJL preamble that is not a PJL command"
                                  : "line after a PCL XL stream that is neither PJL nor a new job");
        const std::string command = Squeezed(line.substr(0, line.find('\n')));
        constexpr std::string_view kEnter = "@PJLENTERLANGUAGE=";
        if (command.starts_with(kEnter)) {
            if (command.substr(kEnter.size()) != "PCLXL")
                return fail(at, "the PJL preamble enters language " +
                                    command.substr(kEnter.size()) + ", not PCLXL");
            at = end;
            return EnvelopeEnd::Stream;
        }
        at = end;
    }
    return EnvelopeEnd::End;
}

bool IsValueTag(uint8_t byte)
{
    return (byte & 0x07) <= 5 && ((byte & 0xF8) == 0xC0 || (byte & 0xF8) == 0xC8 ||
                                  (byte & 0xF8) == 0xD0 || (byte & 0xF8) == 0xE0);
}

bool IsWhitespace(uint8_t byte)
{
    return byte == 0x00 || (byte >= 0x09 && byte <= 0x0D) || byte == 0x20;
}

} // namespace

bool XLIsUniversalExitAt(std::span<const uint8_t> bytes, size_t at)
{
    return at <= bytes.size() && StartsWithAt(bytes, at, kUniversalExit);
}

bool XLFindStream(std::span<const uint8_t> job, XLStreamBounds &bounds, XLDecodeError &error)
{
    bounds = XLStreamBounds{0, job.size()};
    error = XLDecodeError{};
    size_t at = 0;
    if (StartsWithAt(job, 0, kUniversalExit)) {
        at = kUniversalExit.size();
        switch (ReadEnvelope(job, at, true, error)) {
        case EnvelopeEnd::Failed: return false;
        case EnvelopeEnd::End:
            error.offset = at;
            error.message = "job ends in its PJL preamble, before the PCL XL stream";
            return false;
        case EnvelopeEnd::Stream: break;
        }
        bounds.begin = at;
    }

    // The trailer begins at the first universal exit after which only PJL
    // follows; an exit sequence inside font data is followed by more stream.
    // Where the PJL after an exit stops, it stops for every exit up to there
    // too: the search goes on from that byte, once over the job.
    for (size_t pos = at; pos + kUniversalExit.size() <= job.size();) {
        if (job[pos] != 0x1B || !StartsWithAt(job, pos, kUniversalExit)) {
            ++pos;
            continue;
        }
        const size_t stop = EndOfPjl(job, pos + kUniversalExit.size());
        if (stop == job.size()) {
            bounds.end = pos;
            break;
        }
        pos = stop;
    }
    return true;
}

bool XLJobReader::Next(XLJobPiece &piece, XLDecodeError &error)
{
    error = XLDecodeError{};
    auto fail = [this, &error](size_t offset, std::string message) {
        failed = true;
        failure.offset = offset;
        failure.message = std::move(message);
        error = failure;
        where = Where::Done;
        return false;
    };
    if (failed) {
        error = failure;
        return false;
    }
    while (true) {
        switch (where) {
        case Where::Done: return false;
        case Where::Start: {
            if (StartsWithAt(bytes, 0, kUniversalExit) ||
                IsPjlLine(View(bytes, 0, std::min<size_t>(4, bytes.size())))) {
                where = Where::Envelope;
                break;
            }
            size_t first = 0;
            while (first < bytes.size() && IsWhitespace(bytes[first]))
                ++first;
            if (first == bytes.size()) {
                where = Where::Done;
                return false;
            }
            const uint8_t byte = bytes[first];
            if (!(first == 0 && (byte == '(' || byte == ')')) && !IsValueTag(byte)) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "0x%02X", byte);
                return fail(first, std::string("not a PCL XL stream or a PJL job: it starts with byte ") + hex);
            }
            where = Where::StreamStart;
            break;
        }
        case Where::Envelope: {
            const size_t begin = pos;
            XLDecodeError envelopeError;
            const EnvelopeEnd end = ReadEnvelope(bytes, pos, !sawStream, envelopeError);
            if (end == EnvelopeEnd::Failed)
                return fail(envelopeError.offset, envelopeError.message);
            if (end == EnvelopeEnd::End && !sawStream)
                return fail(pos, "job ends in its PJL preamble, before the PCL XL stream");
            where = end == EnvelopeEnd::Stream ? Where::StreamStart : Where::Done;
            piece = XLJobPiece{};
            piece.kind = XLJobPieceKind::Envelope;
            piece.offset = begin;
            piece.size = pos - begin;
            return true;
        }
        case Where::StreamStart: {
            stream = XLOperationReader(bytes, pos, true);
            sawStream = true;
            XLDecodeError headerError;
            if (!stream.BeginStream(headerError))
                return fail(headerError.offset, headerError.message);
            where = Where::Stream;
            piece = XLJobPiece{};
            piece.kind = XLJobPieceKind::StreamBegin;
            piece.offset = pos;
            piece.hasHeader = stream.hasHeader;
            piece.header = stream.header;
            return true;
        }
        case Where::Stream: {
            piece.kind = XLJobPieceKind::Operation;
            if (stream.Next(piece.op, error)) {
                piece.lastBeforeError = stream.lastBeforeError;
                return true;
            }
            if (!error.message.empty())
                return fail(error.offset, error.message);
            pos = stream.end;
            if (pos >= bytes.size())
                where = Where::Done;
            else if (StartsWithAt(bytes, pos, kUniversalExit))
                where = Where::Envelope;
            else
                where = Where::StreamStart; // the next stream's header
            piece = XLJobPiece{};
            piece.kind = XLJobPieceKind::StreamEnd;
            piece.offset = pos;
            return true;
        }
        }
    }
}
