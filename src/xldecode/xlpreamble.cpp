// SPDX-License-Identifier: MIT
// The printer job language (PJL) wrapping of a PCL XL job: the universal
// exit language command ESC%-12345X, "@PJL ..." lines, and the trailer that
// follows the stream.
#include "xldecode/xldecode.h"

#include <algorithm>
#include <cctype>
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

// True when everything from `at` to the end is universal exits, PJL lines
// and blanks: the trailer of a job.
bool IsTrailer(std::span<const uint8_t> bytes, size_t at)
{
    while (at < bytes.size()) {
        if (StartsWithAt(bytes, at, kUniversalExit))
            at += kUniversalExit.size();
        else if (IsBlank(bytes[at]))
            ++at;
        else if (IsPjlLine(View(bytes, at, std::min<size_t>(4, bytes.size() - at))))
            at = LineEnd(bytes, at);
        else
            return false;
    }
    return true;
}

} // namespace

bool XLFindStream(std::span<const uint8_t> job, XLStreamBounds &bounds, XLDecodeError &error)
{
    bounds = XLStreamBounds{0, job.size()};
    error = XLDecodeError{};
    auto fail = [&error](size_t offset, std::string message) {
        error.offset = offset;
        error.message = std::move(message);
        return false;
    };

    size_t at = 0;
    if (StartsWithAt(job, 0, kUniversalExit)) {
        at = kUniversalExit.size();
        bool entered = false;
        while (!entered) {
            if (at >= job.size())
                return fail(at, "job ends in its PJL preamble, before the PCL XL stream");
            if (StartsWithAt(job, at, kUniversalExit)) {
                at += kUniversalExit.size();
                continue;
            }
            if (IsBlank(job[at])) {
                ++at;
                continue;
            }
            // A printer switches language on its own when the stream header
            // comes without ENTER LANGUAGE.
            if (job[at] == '(' || job[at] == ')')
                break;
            const size_t end = LineEnd(job, at);
            const std::string_view line = View(job, at, end - at);
            if (!IsPjlLine(line))
                return fail(at, "line in the PJL preamble that is not a PJL command");
            const std::string command = Squeezed(line.substr(0, line.find('\n')));
            constexpr std::string_view kEnter = "@PJLENTERLANGUAGE=";
            if (command.starts_with(kEnter)) {
                if (command.substr(kEnter.size()) != "PCLXL")
                    return fail(at, "the PJL preamble enters language " +
                                        command.substr(kEnter.size()) + ", not PCLXL");
                entered = true;
            }
            at = end;
        }
        bounds.begin = at;
    }

    // The trailer begins at the first universal exit after which only PJL
    // follows; an exit sequence inside font data is followed by more stream.
    for (size_t pos = at; pos + kUniversalExit.size() <= job.size(); ++pos) {
        if (job[pos] == 0x1B && StartsWithAt(job, pos, kUniversalExit) &&
            IsTrailer(job, pos + kUniversalExit.size())) {
            bounds.end = pos;
            break;
        }
    }
    return true;
}
