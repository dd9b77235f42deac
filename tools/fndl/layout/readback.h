// SPDX-License-Identifier: MIT
// The text lines a library call sets, as its measure says them before it
// is made: the layout knows where the last line ends without reading the
// job back.
#pragma once

// The lines a call sets: where the last one starts and ends, how many Text
// operations, lines (baselines: the runs of one line in several fonts are
// one line) and characters there are.
struct WrittenLines {
    long texts = 0;
    long count = 0;
    long characters = 0;
    bool hasLast = false;
    long lastY = 0;
    long lastEndX = 0;
};
