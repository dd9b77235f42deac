// SPDX-License-Identifier: MIT
// The text of a job or call: from --text, a file or standard input, or the
// default cover page text, decoded from its encoding into UTF-16 with
// newlines in one form.
#include <iconv.h>

#include <cerrno>

#include "requestparts.h"
#include "text/text.h"

namespace {

constexpr char16_t kNewLine = u'\n';

constexpr const char *kDefaultText =
    "Cover page \xE2\x80\x94 printed with a downloaded TrueType soft font.\n"
    "\n"
    "This page was set by fndl, the command-line tool of the qorvfndl library. The font went "
    "to the printer as a PCL XL soft font: a font header with the font's scaling and hinting "
    "tables, then one character for each glyph that the text uses. Every line on this page is "
    "text in that font, broken into lines and pages by the library.\n"
    "\n"
    "Accented letters are characters like any other: d\xC3\xA9j\xC3\xA0 vu, na\xC3\xAFve, "
    "\xC3\x85ngstr\xC3\xB6m, gr\xC3\xB6\xC3\x9F"
    "er, se\xC3\xB1or, \xC5\x93uvre.\n"
    "Digits and signs: 0123456789 + \xE2\x88\x92 \xC3\x97 \xC3\xB7 = % & @ \xC2\xA7 \xC2\xA9 "
    "\xC2\xBD \xE2\x82\xAC.";

constexpr char16_t kFormFeed = u'\f';
constexpr char16_t kNul = 0;

// Windows-1252's 0x80-0x9F; the five bytes it leaves undefined read as
// U+FFFD.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

enum class Encoding { Auto, Utf8, Windows1252, Other };

std::string Lower(std::string_view name)
{
    std::string lower;
    for (const char c : name)
        lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return lower;
}

Encoding EncodingNamed(const std::string &name)
{
    const std::string lower = Lower(name);
    if (lower.empty() || lower == "auto")
        return Encoding::Auto;
    if (lower == "utf-8" || lower == "utf8" || lower == "us-ascii" || lower == "ascii")
        return Encoding::Utf8;
    // Latin-1 text is read with the C1 range as Windows uses it: files
    // called Latin-1 hold curly quotes and dashes there, never controls.
    if (lower == "windows-1252" || lower == "cp1252" || lower == "iso-8859-1" ||
        lower == "iso8859-1" || lower == "latin1" || lower == "latin-1" || lower == "l1")
        return Encoding::Windows1252;
    return Encoding::Other;
}

// UTF-8 with every ill-formed sequence as U+FFFD; how many there were, and
// how many well-formed sequences of two or more bytes.
void DecodeUtf8Leniently(std::string_view bytes, std::u16string &text, size_t &bad, size_t &good)
{
    text.clear();
    bad = 0;
    good = 0;
    for (size_t at = 0; at < bytes.size();) {
        const DecodedChar decoded = DecodeUtf8(bytes.substr(at));
        bad += decoded.wellFormed ? 0 : 1;
        good += decoded.wellFormed && decoded.length > 1 ? 1 : 0;
        const Utf16Units units = EncodeUtf16(decoded.codePoint);
        text.append(units.units, units.count);
        at += decoded.length;
    }
}

void DecodeWindows1252(std::string_view bytes, std::u16string &text)
{
    text.clear();
    for (const char c : bytes) {
        const auto byte = static_cast<uint8_t>(c);
        text += byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : char16_t{byte};
    }
}

// Any other encoding the C library's iconv knows. False with the reason.
bool DecodeWithIconv(std::string_view bytes, const std::string &name, std::u16string &text,
                     std::string &reason)
{
    const iconv_t converter = iconv_open("UTF-8", name.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        reason = "unknown encoding '" + name + "'";
        return false;
    }
    std::string utf8;
    std::string input(bytes);
    char *in = input.data();
    size_t inLeft = input.size();
    char block[4096];
    while (inLeft > 0) {
        char *out = block;
        size_t outLeft = sizeof block;
        const size_t done = iconv(converter, &in, &inLeft, &out, &outLeft);
        utf8.append(block, sizeof block - outLeft);
        if (done == static_cast<size_t>(-1) && errno != E2BIG) {
            // A byte the encoding does not have: one U+FFFD, then on.
            utf8 += "\xEF\xBF\xBD";
            ++in;
            --inLeft;
        }
    }
    iconv_close(converter);
    size_t bad = 0;
    size_t good = 0;
    DecodeUtf8Leniently(utf8, text, bad, good);
    return true;
}

// The text of a file in the encoding asked for (auto: UTF-8 when the bytes
// are UTF-8 text, else Windows-1252), with one warning for a guess or for
// ill-formed bytes. False with a message for an unknown encoding.
bool DecodeFileText(std::string_view bytes, const std::string &encoding,
                    const std::string &source, std::u16string &text)
{
    size_t bad = 0;
    size_t good = 0;
    switch (EncodingNamed(encoding)) {
    case Encoding::Windows1252:
        DecodeWindows1252(bytes, text);
        return true;
    case Encoding::Other: {
        std::string reason;
        if (!DecodeWithIconv(bytes, encoding, text, reason)) {
            PrintError(reason + " for " + source);
            return false;
        }
        return true;
    }
    case Encoding::Utf8:
        DecodeUtf8Leniently(bytes, text, bad, good);
        break;
    case Encoding::Auto:
        DecodeUtf8Leniently(bytes, text, bad, good);
        // UTF-8 text with a stray byte or two keeps its characters; text
        // with no more UTF-8 sequences than bytes that break them is
        // another encoding.
        if (bad > 0 && good < bad) {
            DecodeWindows1252(bytes, text);
            PrintError(source + " is not UTF-8: read as Windows-1252 (Latin-1); name its "
                                "encoding with --encoding");
            return true;
        }
        break;
    }
    if (bad > 0)
        PrintError(source + ": " + std::to_string(bad) + " ill-formed UTF-8 " +
                   (bad == 1 ? "sequence" : "sequences") + " printed as U+FFFD");
    return true;
}

// Newlines in one form; NULs, which would end the library's text early,
// dropped with one warning; one trailing newline dropped, as text files end
// in one, and then one trailing form feed, which would only add an empty
// page.
void NormalizeText(std::u16string &text, const std::string &source)
{
    std::u16string out;
    out.reserve(text.size());
    size_t nuls = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit == kNul) {
            ++nuls;
        } else if (unit == u'\r') {
            out += kNewLine;
            if (i + 1 < text.size() && text[i + 1] == kNewLine)
                ++i;
        } else {
            out += unit;
        }
    }
    if (nuls > 0)
        PrintError(source + " holds " + std::to_string(nuls) +
                   (nuls == 1 ? " NUL character" : " NUL characters") + ": left out");
    if (!out.empty() && out.back() == kNewLine)
        out.pop_back();
    if (!out.empty() && out.back() == kFormFeed)
        out.pop_back();
    text = std::move(out);
}

} // namespace

int ReadText(const ParsedArgs &parsed, const CommandKind &kind, Request &request)
{
    if (parsed.Has("--text") && parsed.Has("--text-file"))
        return UsageError(kind.name, "give the text with --text or --text-file, not both");
    std::string source = "--text";
    if (parsed.Has("--text")) {
        size_t badOffset = 0;
        if (!Utf8ToUtf16(parsed.Get("--text"), request.text, badOffset)) {
            PrintError("--text is not UTF-8: ill-formed bytes at byte " +
                       std::to_string(badOffset));
            return kExitUsage;
        }
    } else if (parsed.Has("--text-file")) {
        const std::string &path = parsed.Get("--text-file");
        request.textPath = path;
        std::vector<uint8_t> bytes;
        std::string reason;
        if (!ReadWholeFile(path, bytes, reason)) {
            PrintError("cannot read text file '" + path + "': " + reason);
            return kExitFailed;
        }
        std::string_view view(reinterpret_cast<const char *>(bytes.data()), bytes.size());
        if (view.starts_with("\xEF\xBB\xBF"))
            view.remove_prefix(3);
        source = path == "-" ? "standard input" : "text file '" + path + "'";
        const std::string encoding = parsed.Has("--encoding") ? parsed.Get("--encoding") : "";
        if (!DecodeFileText(view, encoding, source, request.text))
            return kExitUsage;
    } else if (kind.takesJob) {
        size_t badOffset = 0;
        Utf8ToUtf16(kDefaultText, request.text, badOffset);
    }
    if (kind.takesJob)
        NormalizeText(request.text, source); // the bare call passes the text unchanged
    return -1;
}
