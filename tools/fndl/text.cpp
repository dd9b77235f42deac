// SPDX-License-Identifier: MIT
// UTF-8 and UTF-16 conversions and file reading.
#include "fndl.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// One well-formed UTF-8 sequence at text[at]: its code point and length, or
// length 0 when the bytes there are ill-formed (overlong, surrogate, beyond
// U+10FFFF, cut short).
size_t DecodeUtf8(std::string_view text, size_t at, char32_t &codePoint)
{
    const auto lead = static_cast<uint8_t>(text[at]);
    size_t length = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        minimum = 0x80;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        minimum = 0x800;
        codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        minimum = 0x10000;
        codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() - at < length)
        return 0;
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<uint8_t>(text[at + k]);
        if ((next & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

void AppendUtf8(std::string &out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

bool Utf8ToUtf16(std::string_view utf8, std::u16string &utf16, size_t &badOffset)
{
    utf16.clear();
    for (size_t at = 0; at < utf8.size();) {
        char32_t cp = 0;
        const size_t length = DecodeUtf8(utf8, at, cp);
        if (length == 0) {
            badOffset = at;
            return false;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            utf16 += static_cast<char16_t>(0xD800 + (cp >> 10));
            utf16 += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            utf16 += static_cast<char16_t>(cp);
        }
        at += length;
    }
    return true;
}

std::string Utf16ToUtf8(std::u16string_view utf16)
{
    std::string out;
    for (size_t i = 0; i < utf16.size(); ++i) {
        char32_t cp = utf16[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacement;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

bool ReadWholeFile(const std::string &path, std::vector<uint8_t> &bytes, std::string &reason)
{
    bytes.clear();
    const bool standardInput = path == "-";
    std::unique_ptr<FILE, int (*)(FILE *)> file(
        standardInput ? stdin : std::fopen(path.c_str(), "rb"),
        standardInput ? [](FILE *) { return 0; } : std::fclose);
    if (!file) {
        reason = std::strerror(errno);
        return false;
    }
    uint8_t block[65536];
    size_t got = 0;
    while ((got = std::fread(block, 1, sizeof block, file.get())) > 0)
        bytes.insert(bytes.end(), block, block + got);
    if (std::ferror(file.get())) {
        reason = std::strerror(errno ? errno : EIO);
        return false;
    }
    return true;
}

size_t Utf8SequenceAt(std::string_view text, size_t i)
{
    const auto byte = static_cast<uint8_t>(text[i]);
    const size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    std::u16string ignored;
    size_t bad = 0;
    if (length > 1 && i + length <= text.size() && Utf8ToUtf16(text.substr(i, length), ignored, bad))
        return length;
    return 0;
}

std::string Quoted(std::string_view text)
{
    std::string out = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<uint8_t>(text[i]);
        if (byte == '"' || byte == '\\') {
            out += '\\';
            out += static_cast<char>(byte);
        } else if (byte >= 0x20 && byte < 0x7F) {
            out += static_cast<char>(byte);
        } else {
            if (const size_t length = Utf8SequenceAt(text, i)) {
                out += text.substr(i, length);
                i += length - 1;
            } else {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", byte);
                out += hex;
            }
        }
    }
    return out + "\"";
}
