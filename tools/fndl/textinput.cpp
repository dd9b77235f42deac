// SPDX-License-Identifier: MIT
// The text of a job or call: from --text, a file or standard input, or the
// default cover page text, read into UTF-16 with newlines in one form.
#include "requestparts.h"

namespace {

constexpr char16_t kNewLine = u'\n';
constexpr char16_t kSpace = u' ';

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

// Newlines in one form, tabs as spaces, and one trailing newline dropped, as
// text files end in one. False when the text holds a NUL, which would end
// the library's text early.
bool NormalizeText(std::u16string &text, size_t &nulOffset)
{
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit == 0) {
            nulOffset = i;
            return false;
        }
        if (unit == u'\r') {
            out += kNewLine;
            if (i + 1 < text.size() && text[i + 1] == kNewLine)
                ++i;
        } else {
            out += unit == u'\t' ? kSpace : unit;
        }
    }
    if (!out.empty() && out.back() == kNewLine)
        out.pop_back();
    text = std::move(out);
    return true;
}

} // namespace

int ReadText(const ParsedArgs &parsed, const CommandKind &kind, Request &request)
{
    std::string utf8;
    std::string source;
    if (parsed.Has("--text") && parsed.Has("--text-file"))
        return UsageError(kind.name, "give the text with --text or --text-file, not both");
    if (parsed.Has("--text")) {
        utf8 = parsed.Get("--text");
        source = "--text";
    } else if (parsed.Has("--text-file")) {
        const std::string &path = parsed.Get("--text-file");
        request.textPath = path;
        std::vector<uint8_t> bytes;
        std::string reason;
        if (!ReadWholeFile(path, bytes, reason)) {
            PrintError("cannot read text file '" + path + "': " + reason);
            return kExitFailed;
        }
        utf8.assign(bytes.begin(), bytes.end());
        if (utf8.starts_with("\xEF\xBB\xBF"))
            utf8.erase(0, 3);
        source = path == "-" ? "standard input" : "text file '" + path + "'";
    } else if (kind.takesJob) {
        utf8 = kDefaultText;
    }
    size_t badOffset = 0;
    if (!Utf8ToUtf16(utf8, request.text, badOffset)) {
        PrintError(source + " is not UTF-8: ill-formed bytes at byte " + std::to_string(badOffset) +
                   "; convert it to UTF-8");
        return source == "--text" ? kExitUsage : kExitFailed;
    }
    if (!kind.takesJob)
        return -1; // the bare call passes the text unchanged
    size_t nulOffset = 0;
    if (!NormalizeText(request.text, nulOffset)) {
        PrintError(source + " holds a NUL character at offset " + std::to_string(nulOffset) +
                   "; remove it");
        return kExitFailed;
    }
    return -1;
}

