// SPDX-License-Identifier: MIT
// Text bytes into UTF-16, block by block, in the encoding asked for.
#include "input/textdecode.h"

#include <cerrno>
#include <cstdint>

#include "cli/requestparts.h"
#include "text/text.h"

namespace {

// Windows-1252's 0x80-0x9F; the five bytes it leaves undefined read as
// U+FFFD.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

// The longest UTF-8 sequence: what DecodeUtf8 looks at.
constexpr size_t kUtf8Longest = 4;

} // namespace

std::string AsciiLower(std::string_view text)
{
    std::string lower;
    for (const char c : text)
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return lower;
}

TextEncoding EncodingNamed(const std::string &name)
{
    const std::string lower = AsciiLower(name);
    if (lower.empty() || lower == "auto")
        return TextEncoding::Auto;
    if (lower == "utf-8" || lower == "utf8" || lower == "us-ascii" || lower == "ascii")
        return TextEncoding::Utf8;
    // Latin-1 text is read with the C1 range as Windows uses it: files
    // called Latin-1 hold curly quotes and dashes there, never controls.
    if (lower == "windows-1252" || lower == "cp1252" || lower == "iso-8859-1" ||
        lower == "iso8859-1" || lower == "latin1" || lower == "latin-1" || lower == "l1")
        return TextEncoding::Windows1252;
    return TextEncoding::Other;
}

namespace {

// decoder.utf8 with every ill-formed sequence as U+FFFD; what may be the
// start of a sequence stays for the next block, unless this is the last.
void DecodeUtf8Leniently(Decoder &decoder, bool last, std::u16string &text)
{
    const std::string_view bytes = decoder.utf8;
    size_t at = 0;
    while (at < bytes.size() && (last || bytes.size() - at >= kUtf8Longest)) {
        const DecodedChar decoded = DecodeUtf8(bytes.substr(at));
        decoder.bad += decoded.wellFormed ? 0 : 1;
        decoder.good += decoded.wellFormed && decoded.length > 1 ? 1 : 0;
        const Utf16Units units = EncodeUtf16(decoded.codePoint);
        text.append(units.units, units.count);
        at += decoded.length;
    }
    decoder.utf8.erase(0, at);
}

// The most of one line that auto decides on at once.
constexpr size_t kAutoDecision = 65536;

// Auto: each line of decoder.utf8 (its newline included) as UTF-8, or as
// Windows-1252 when its ill-formed sequences outnumber its UTF-8 ones; a
// line not ended yet waits for the next block unless it is this long.
void DecodeAutoLines(Decoder &decoder, bool last, std::u16string &text)
{
    const std::string_view bytes = decoder.utf8;
    size_t start = 0;
    std::u16string line;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end != std::string_view::npos) {
            ++end;
        } else if (last) {
            end = bytes.size();
        } else if (bytes.size() - start > kAutoDecision) {
            end = start + kAutoDecision;
            // Not inside a sequence: back to the byte that starts one.
            for (int back = 0; back < 3 && (static_cast<uint8_t>(bytes[end]) & 0xC0) == 0x80; ++back)
                --end;
        } else {
            break;
        }
        const std::string_view piece = bytes.substr(start, end - start);
        size_t good = 0;
        size_t bad = 0;
        line.clear();
        for (size_t at = 0; at < piece.size();) {
            const DecodedChar decoded = DecodeUtf8(piece.substr(at));
            bad += decoded.wellFormed ? 0 : 1;
            good += decoded.wellFormed && decoded.length > 1 ? 1 : 0;
            const Utf16Units units = EncodeUtf16(decoded.codePoint);
            line.append(units.units, units.count);
            at += decoded.length;
        }
        if (bad > 0 && good < bad) {
            DecodeWindows1252(piece, text);
            ++decoder.windowsLines;
        } else {
            text += line;
            decoder.bad += bad;
            decoder.good += good;
            decoder.utf8Lines += good > 0 ? 1 : 0;
        }
        start = end;
    }
    decoder.utf8.erase(0, start);
}

} // namespace

// Windows-1252's 0x80-0x9F from the table; every other byte is its code.
void DecodeWindows1252(std::string_view bytes, std::u16string &text)
{
    for (const char c : bytes) {
        const auto byte = static_cast<uint8_t>(c);
        text += byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : char16_t{byte};
    }
}

namespace {

// What iconv holds back, out, and its state back to the initial one.
void FlushIconv(Decoder &decoder)
{
    char block[64];
    char *out = block;
    size_t outLeft = sizeof block;
    iconv(decoder.converter, nullptr, nullptr, &out, &outLeft);
    decoder.utf8.append(block, sizeof block - outLeft);
}

// Through iconv to UTF-8: a byte the encoding does not have is one U+FFFD,
// and the converter's state goes on from block to block.
void DecodeWithIconv(Decoder &decoder, std::string_view bytes, bool last)
{
    decoder.carry.append(bytes);
    char *in = decoder.carry.data();
    size_t inLeft = decoder.carry.size();
    char block[4096];
    while (inLeft > 0) {
        char *out = block;
        size_t outLeft = sizeof block;
        const size_t done = iconv(decoder.converter, &in, &inLeft, &out, &outLeft);
        const int error = errno;
        decoder.utf8.append(block, sizeof block - outLeft);
        if (done != static_cast<size_t>(-1) || error == E2BIG)
            continue;
        if (error == EINVAL && !last)
            break; // a character the next block completes
        decoder.utf8 += "\xEF\xBF\xBD";
        ++in;
        --inLeft;
        // A stateful encoding (UTF-7, ISO-2022) starts afresh after the
        // byte: its shift state would turn the rest into garbage.
        FlushIconv(decoder);
    }
    decoder.carry.erase(0, decoder.carry.size() - inLeft);
    // Encodings that hold a character back to combine it with the next
    // (CP1258, TCVN) give it up at the end.
    if (last)
        FlushIconv(decoder);
}

} // namespace

// Appends the UTF-16 of the next block of bytes; last: no more follow.
void Decode(Decoder &decoder, std::string_view bytes, bool last, std::u16string &text)
{
    switch (decoder.encoding) {
    case TextEncoding::Windows1252:
        DecodeWindows1252(bytes, text);
        return;
    case TextEncoding::Other:
        if (decoder.converter == kNoConverter)
            return;
        DecodeWithIconv(decoder, bytes, last);
        break;
    case TextEncoding::Auto:
        decoder.utf8.append(bytes);
        DecodeAutoLines(decoder, last, text);
        return;
    case TextEncoding::Utf8:
        decoder.utf8.append(bytes);
        break;
    }
    DecodeUtf8Leniently(decoder, last, text);
}

bool KnownToIconv(const std::string &name)
{
    const Decoder decoder(TextEncoding::Other, name);
    return decoder.converter != kNoConverter;
}


