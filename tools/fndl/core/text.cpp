// SPDX-License-Identifier: MIT
// UTF-8 and UTF-16 strings over the library's codec, and file reading.
#include "core/fndl.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "text/text.h"

bool Utf8ToUtf16(std::string_view utf8, std::u16string &utf16, size_t &badOffset)
{
    utf16.clear();
    for (size_t at = 0; at < utf8.size();) {
        const DecodedChar decoded = DecodeUtf8(utf8.substr(at));
        if (!decoded.wellFormed) {
            badOffset = at;
            return false;
        }
        const Utf16Units units = EncodeUtf16(decoded.codePoint);
        utf16.append(units.units, units.count);
        at += decoded.length;
    }
    return true;
}

std::string Utf16ToUtf8(std::u16string_view utf16)
{
    std::string out;
    for (size_t at = 0; at < utf16.size();) {
        const DecodedChar decoded = DecodeUtf16(utf16.substr(at));
        const Utf8Units units = EncodeUtf8(decoded.codePoint);
        out.append(reinterpret_cast<const char *>(units.units), units.count);
        at += decoded.length;
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
    const DecodedChar decoded = DecodeUtf8(text.substr(i));
    return decoded.wellFormed && decoded.length > 1 ? decoded.length : 0;
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
