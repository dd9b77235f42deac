// SPDX-License-Identifier: MIT
// What the library's calls appended to the job, read back: the text lines
// it set, so that the layout knows where the last line ends without asking
// the library for more than its results.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "xldecode/xldecode.h"

// What the library's text lines in some output were: where the last one
// starts and ends, how many Text operations, lines (baselines: the runs of
// one line in several fonts are one line) and characters there were.
struct WrittenLines {
    long texts = 0;
    long count = 0;
    long characters = 0;
    long fontHeaders = 0; // BeginFontHeader operations
    bool hasLast = false;
    long lastY = 0;
    long lastEndX = 0;
};

// lines comes in with the line set last on the page, if any (hasLast,
// lastY) and its counts at zero.
bool ReadWrittenLines(std::span<const uint8_t> bytes, WrittenLines &lines, XLDecodeError &error);

// The operators of bytes that download fonts and characters (font headers,
// characters, font removals), with their attributes and data, in order.
bool FontDownloadsOf(std::span<const uint8_t> bytes, std::vector<uint8_t> &kept,
                     XLDecodeError &error);
