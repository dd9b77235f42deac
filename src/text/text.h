// SPDX-License-Identifier: MIT
// Text pieces that the library, its platform layer and the fndl tool share:
// one UTF-8 and UTF-16 codec, the cut of UTF-8 text at a character boundary,
// and the face name that a logical font keeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// One code point read from the start of some text, and how many units it
// took. An ill-formed UTF-8 sequence (overlong, a surrogate, beyond
// U+10FFFF, cut short) reads as U+FFFD over its maximal ill-formed
// subsequence, at least one byte; an unpaired surrogate as U+FFFD over its
// one unit. Empty text reads as nothing (length 0).
struct DecodedChar {
    char32_t codePoint = 0;
    size_t length = 0;
    bool wellFormed = false;
};

DecodedChar DecodeUtf8(std::span<const uint8_t> bytes);
DecodedChar DecodeUtf8(std::string_view text);
DecodedChar DecodeUtf16(std::span<const char16_t> units);

// A code point (at most U+10FFFF, no surrogate) as UTF-8 or UTF-16 units.
struct Utf8Units {
    uint8_t units[4];
    size_t count;
};
struct Utf16Units {
    char16_t units[2];
    size_t count;
};
Utf8Units EncodeUtf8(char32_t codePoint);
Utf16Units EncodeUtf16(char32_t codePoint);

// The length of the longest start of text that fits in room bytes without
// cutting through a UTF-8 character: text.size() when it fits, else room
// backed up over the continuation bytes that follow it.
size_t Utf8FitLength(std::string_view text, size_t room);

// A logical font keeps at most this many bytes of a face name (LOGFONT's
// lfFaceName, 32 with its NUL).
inline constexpr size_t kFaceNameBytes = 31;

// The face name a logical font keeps of name: its first kFaceNameBytes bytes
// or fewer, ending at a character boundary. Face matching sees only this.
std::string_view LogFontFaceName(std::string_view name);
