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

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

bool IsUtf8CodePage(UINT codePage) { return codePage == CP_ACP || codePage == CP_UTF8; }

// Decodes one code point from s[0, length); returns the bytes consumed (at
// least 1). Continuation bytes are checked against the ranges that exclude
// overlong forms, surrogates and values above U+10FFFF.
size_t DecodeUtf8(const uint8_t *s, size_t length, char32_t *codePoint)
{
    const uint8_t lead = s[0];
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    }
    size_t needed;
    char32_t value;
    uint8_t secondLow = 0x80, secondHigh = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        needed = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        needed = 2;
        value = lead & 0x0F;
        if (lead == 0xE0)
            secondLow = 0xA0;
        else if (lead == 0xED)
            secondHigh = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        needed = 3;
        value = lead & 0x07;
        if (lead == 0xF0)
            secondLow = 0x90;
        else if (lead == 0xF4)
            secondHigh = 0x8F;
    } else {
        *codePoint = kReplacementCharacter;
        return 1;
    }
    size_t used = 1;
    for (size_t i = 0; i < needed; ++i, ++used) {
        const uint8_t low = i == 0 ? secondLow : 0x80;
        const uint8_t high = i == 0 ? secondHigh : 0xBF;
        if (used >= length || s[used] < low || s[used] > high) {
            *codePoint = kReplacementCharacter;
            return used;
        }
        value = (value << 6) | (s[used] & 0x3F);
    }
    *codePoint = value;
    return used;
}

// Decodes one code point from s[0, length); returns the units consumed.
size_t DecodeUtf16(const WCHAR *s, size_t length, char32_t *codePoint)
{
    const char32_t first = s[0];
    if (first >= 0xD800 && first <= 0xDBFF && length >= 2 && s[1] >= 0xDC00 && s[1] <= 0xDFFF) {
        *codePoint = 0x10000 + ((first - 0xD800) << 10) + (s[1] - 0xDC00);
        return 2;
    }
    *codePoint = (first >= 0xD800 && first <= 0xDFFF) ? kReplacementCharacter : first;
    return 1;
}

size_t EncodeUtf8(char32_t c, uint8_t out[4])
{
    if (c < 0x80) {
        out[0] = static_cast<uint8_t>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<uint8_t>(0xC0 | (c >> 6));
        out[1] = static_cast<uint8_t>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<uint8_t>(0xE0 | (c >> 12));
        out[1] = static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<uint8_t>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<uint8_t>(0xF0 | (c >> 18));
    out[1] = static_cast<uint8_t>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<uint8_t>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<uint8_t>(0x80 | (c & 0x3F));
    return 4;
}

size_t EncodeUtf16(char32_t c, WCHAR out[2])
{
    if (c < 0x10000) {
        out[0] = static_cast<WCHAR>(c);
        return 1;
    }
    out[0] = static_cast<WCHAR>(0xD800 + ((c - 0x10000) >> 10));
    out[1] = static_cast<WCHAR>(0xDC00 + ((c - 0x10000) & 0x3FF));
    return 2;
}

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

// Runs decode/encode over the input; writes only when output is given.
// Returns the number of output units, or -1 when it exceeds int.
template <typename In, typename Out, typename Decode, typename Encode>
long long Convert(const In *input, size_t inputLength, Out *output, Decode decode, Encode encode)
{
    long long produced = 0;
    size_t position = 0;
    while (position < inputLength) {
        char32_t codePoint;
        position += decode(input + position, inputLength - position, &codePoint);
        Out units[4];
        const size_t count = encode(codePoint, units);
        if (output)
            memcpy(output + produced, units, count * sizeof(Out));
        produced += static_cast<long long>(count);
        if (produced > INT_MAX)
            return -1;
    }
    return produced;
}

template <typename In, typename Out, typename Decode, typename Encode>
int ConvertWithWindowsLengths(const In *input, int inputLength, Out *output, int outputSize,
                              Decode decode, Encode encode)
{
    size_t length;
    if (!InputLength(input, inputLength, &length) || outputSize < 0)
        return 0;
    const long long needed = Convert<In, Out>(input, length, static_cast<Out *>(nullptr), decode,
                                              encode);
    if (needed < 0)
        return 0;
    if (!output || outputSize == 0)
        return static_cast<int>(needed);
    if (needed > outputSize)
        return 0;
    Convert<In, Out>(input, length, output, decode, encode);
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
                                     lpWideCharStr, cchWideChar, DecodeUtf8, EncodeUtf16);
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
                                     reinterpret_cast<uint8_t *>(lpMultiByteStr), cbMultiByte,
                                     DecodeUtf16, EncodeUtf8);
}

int lstrcmpA(LPCSTR lpString1, LPCSTR lpString2)
{
    // Windows orders a null string before any other.
    if (!lpString1 || !lpString2)
        return (lpString1 ? 1 : 0) - (lpString2 ? 1 : 0);
    const int order = strcmp(lpString1, lpString2);
    return (order > 0) - (order < 0);
}
