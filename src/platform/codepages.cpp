// SPDX-License-Identifier: MIT
// Code page conversions (the ANSI code page is UTF-8 here) and lstrcmpA.
//
// Length conventions as on Windows: an input length of -1 means the input is
// NUL-terminated and the NUL is converted and counted; an output size of 0
// (or no output buffer) asks for the needed count; an output buffer that is
// too small gets nothing and the result is 0. Malformed input is not an
// error: each maximal ill-formed UTF-8 subsequence and each unpaired
// surrogate becomes U+FFFD.
#include "platform_internal.h"

#include <climits>
#include <cstring>
#include <span>

#include "text/text.h"

namespace {

bool IsUtf8CodePage(UINT codePage) { return codePage == CP_ACP || codePage == CP_UTF8; }

// Each conversion decodes by its input's unit and encodes by its output's.
DecodedChar DecodeUnits(std::span<const uint8_t> s) { return DecodeUtf8(s); }
DecodedChar DecodeUnits(std::span<const WCHAR> s) { return DecodeUtf16(s); }
Utf16Units EncodeUnits(char32_t c, const WCHAR *) { return EncodeUtf16(c); }
Utf8Units EncodeUnits(char32_t c, const uint8_t *) { return EncodeUtf8(c); }

template <typename Unit> size_t UnitLength(const Unit *s)
{
    size_t n = 0;
    while (s[n] != 0)
        ++n;
    return n;
}

// Input length per the -1 convention; false for an invalid length.
template <typename Unit> bool InputLength(const Unit *input, int length, size_t *out)
{
    if (!input || length == 0 || length < -1)
        return false;
    *out = length == -1 ? UnitLength(input) + 1 : static_cast<size_t>(length);
    return true;
}

// Converts the input code point by code point; writes only when output is
// given. Returns the number of output units, or -1 when it exceeds int.
template <typename In, typename Out>
long long Convert(std::span<const In> input, Out *output)
{
    long long produced = 0;
    while (!input.empty()) {
        const DecodedChar decoded = DecodeUnits(input);
        input = input.subspan(decoded.length);
        const auto encoded = EncodeUnits(decoded.codePoint, output);
        if (output)
            memcpy(output + produced, encoded.units, encoded.count * sizeof(Out));
        produced += static_cast<long long>(encoded.count);
        if (produced > INT_MAX)
            return -1;
    }
    return produced;
}

template <typename In, typename Out>
int ConvertWithWindowsLengths(const In *input, int inputLength, Out *output, int outputSize)
{
    size_t length;
    if (!InputLength(input, inputLength, &length) || outputSize < 0)
        return 0;
    const std::span<const In> units(input, length);
    const long long needed = Convert(units, static_cast<Out *>(nullptr));
    if (needed < 0)
        return 0;
    if (!output || outputSize == 0)
        return static_cast<int>(needed);
    if (needed > outputSize)
        return 0;
    Convert(units, output);
    return static_cast<int>(needed);
}

} // namespace

int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                        LPWSTR lpWideCharStr, int cchWideChar)
{
    (void)dwFlags;
    if (!IsUtf8CodePage(CodePage))
        return 0;
    return ConvertWithWindowsLengths(reinterpret_cast<const uint8_t *>(lpMultiByteStr), cbMultiByte,
                                     lpWideCharStr, cchWideChar);
}

int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                        LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                        LPBOOL lpUsedDefaultChar)
{
    (void)dwFlags;
    (void)lpDefaultChar; // every code point has a UTF-8 form: no default character
    if (!IsUtf8CodePage(CodePage))
        return 0;
    if (lpUsedDefaultChar)
        *lpUsedDefaultChar = FALSE;
    return ConvertWithWindowsLengths(lpWideCharStr, cchWideChar,
                                     reinterpret_cast<uint8_t *>(lpMultiByteStr), cbMultiByte);
}

int lstrcmpA(LPCSTR lpString1, LPCSTR lpString2)
{
    // Windows orders a null string before any other.
    if (!lpString1 || !lpString2)
        return (lpString1 ? 1 : 0) - (lpString2 ? 1 : 0);
    const int order = strcmp(lpString1, lpString2);
    return (order > 0) - (order < 0);
}
