// SPDX-License-Identifier: MIT
// Text bytes into UTF-16, block by block: UTF-8 (leniently, ill-formed
// sequences as U+FFFD), Windows-1252, or any encoding iconv knows, with a
// sequence cut by a block's end carried to the next block.
#pragma once

#include <iconv.h>

#include <cstddef>
#include <string>
#include <string_view>

enum class TextEncoding { Auto, Utf8, Windows1252, Other };

// The encoding an --encoding value names: "auto" or empty, UTF-8 and ASCII,
// Latin-1 and Windows-1252, or another for iconv.
TextEncoding EncodingNamed(const std::string &name);

inline const auto kNoConverter = reinterpret_cast<iconv_t>(-1);

// Bytes to UTF-16, block by block: a sequence cut by a block's end waits
// for the next block, so that the blocks decode as the whole would.
struct Decoder {
    TextEncoding encoding = TextEncoding::Utf8;
    iconv_t converter = kNoConverter; // any other encoding the C library knows
    std::string carry;                // input bytes that the next block completes
    std::string utf8;                 // UTF-8 (read, or iconv's) not decoded yet
    size_t bad = 0;                   // ill-formed UTF-8 sequences
    size_t good = 0;                  // well-formed ones of two or more bytes
    size_t windowsLines = 0;          // auto: lines read as Windows-1252
    size_t utf8Lines = 0;             // auto: lines with UTF-8 beyond ASCII kept

    explicit Decoder(TextEncoding kind, const std::string &name = "") : encoding(kind)
    {
        if (kind == TextEncoding::Other)
            converter = iconv_open("UTF-8", name.c_str());
    }
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;
    ~Decoder()
    {
        if (converter != kNoConverter)
            iconv_close(converter);
    }
};

// Appends the UTF-16 of the next block of bytes; last: no more follow.
void Decode(Decoder &decoder, std::string_view bytes, bool last, std::u16string &text);

// Windows-1252's 0x80-0x9F from the table; every other byte is its code.
void DecodeWindows1252(std::string_view bytes, std::u16string &text);

bool KnownToIconv(const std::string &name);

// Auto decides line by line (a line longer than 64 KiB in 64 KiB pieces),
// so that valid UTF-8 is never read as another encoding: a line of UTF-8
// with a stray byte or two keeps its characters (the stray bytes U+FFFD); a
// line with fewer UTF-8 sequences than bytes that break them is another
// encoding, read as Windows-1252.
