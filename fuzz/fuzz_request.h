// SPDX-License-Identifier: MIT
// Shared by the download fuzz targets and the seed generator: the layout of
// an input, and one round of requests against the library with the checks
// that must hold whatever the font and the text are.
//
// Input layout: text length in bytes (2 bytes, little-endian), an options
// byte, the text as UTF-16LE, then the font bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

enum FuzzOption : uint8_t {
    kFuzzBold = 0x01,
    kFuzzItalic = 0x02,
    kFuzzUnderline = 0x04,
    kFuzzSameIdAgain = 0x08,  // a second call for the same id, from the text's middle
    kFuzzSecondId = 0x10,     // a second font id in the same session
    kFuzzLargeFont = 0x20,    // 72 pt: lines break after a few characters
    kFuzzNearPageEnd = 0x40,  // cursor near the bottom: the page ends
    kFuzzNarrowMargin = 0x80, // left margin near the right limit
};

struct FuzzRequest {
    std::u16string text;
    uint8_t options = 0;
    std::span<const uint8_t> font;
};

FuzzRequest SplitFuzzInput(const uint8_t *data, size_t size);
std::vector<uint8_t> JoinFuzzInput(const std::u16string &text, uint8_t options,
                                   const std::vector<uint8_t> &font);

// Runs the calls the options ask for with the font named by font (a file path
// when fromFile, else a face name), removes every id and resets the library.
// Aborts when a result is out of range, a successful call's output does not
// decode as PCL XL, or memory, GDI objects or the session outlive the round.
void RunFuzzRequest(const FuzzRequest &request, const std::string &font, bool fromFile);

// Aborts when the bytes do not decode as PCL XL operations.
void RequireWellFormedOutput(std::span<const uint8_t> bytes);

// Every new font allocates a 256 KiB character table, which
// AddressSanitizer maps afresh each time: the platform keeps the freed one
// (poisoned) for the next input instead.
void KeepFreedCharacterTables();

// A per-process path in the temporary directory.
std::string FuzzTempPath(const char *suffix);
