// SPDX-License-Identifier: MIT
// Finds the pages of a PCL XL job as its bytes stream past: PJL lines, a
// stream header, then binary tokens, in any number of jobs joined by the
// universal exit. Only the token structure is followed (value sizes,
// array lengths, embedded data), so data that looks like an EndPage byte
// is never taken for one.
#pragma once

#include <cstddef>
#include <cstdint>

struct PclXlPageCounter {
    // Reads up to size bytes; returns how many it took, which ends right
    // after an EndPage operator when pageEnded is true.
    size_t Feed(const uint8_t *data, size_t size);

    bool pageEnded = false;

    enum class Mode : uint8_t { Pjl, HeaderLine, Token, ArrayLength, Number, Skip };
    Mode mode = Mode::Pjl;
    bool lineStart = true;     // in PJL: at the start of a line
    bool littleEndian = true;  // ')' binding; '(' is big-endian
    uint32_t numberBytes = 0;  // a length still being read
    uint32_t numberRead = 0;
    uint64_t number = 0;
    uint32_t multiplier = 1;   // what the length counts: array elements or data bytes
    uint64_t skip = 0;
};
