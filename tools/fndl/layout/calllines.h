// SPDX-License-Identifier: MIT
// The text lines a library call sets, known before it is made: from the
// text call's measure (FNDLMeasureTextW) or a glyph run's advances. The
// layout keeps its last line from these, never from the job's bytes.
#pragma once

// The lines a call sets: where the last one starts and ends, how many Text
// operations, lines (baselines: the runs of one line in several fonts are
// one line) and characters there are.
struct CallLines {
    long texts = 0;
    long count = 0;
    long characters = 0;
    bool hasLast = false;
    long lastY = 0;
    long lastEndX = 0;
};
