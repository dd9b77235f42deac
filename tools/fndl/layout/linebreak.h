// SPDX-License-Identifier: MIT
// The tool's one line breaker, for the lines it breaks itself: shaped
// paragraphs (the library's text call breaks the others) and the cover
// page's lines. Widths come from the library's measure for what its text
// call sets, from HarfBuzz for what the glyph call sets.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

// A break opportunity: a space (U+0020 or the ideographic U+3000).
bool IsBreakSpace(char32_t c);

// Where a line ends: it sets [start, trimmed) (the spaces before a break
// left off), and the next line starts at next (the spaces at a break
// skipped). next is text.size() after the last line.
struct LineEnd {
    size_t trimmed = 0;
    size_t next = 0;
};

// The line of text from start, set from x, that ends at right: after the
// last space that fits, else after the last whole cluster that fits (one
// at least). advance(i, x) is the width of character i set at x (a tab's
// depends on where it falls); boundary[i]: a cluster starts at character i.
LineEnd BreakLine(std::u32string_view text, const std::vector<bool> &boundary, size_t start,
                  long x, long right, const std::function<long(size_t, long)> &advance);
