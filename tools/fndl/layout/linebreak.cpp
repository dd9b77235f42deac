// SPDX-License-Identifier: MIT
// Breaking a line at the last space or cluster that fits.
#include "layout/linebreak.h"

bool IsBreakSpace(char32_t c)
{
    return c == u' ' || c == 0x3000;
}

LineEnd BreakLine(std::u32string_view text, const std::vector<bool> &boundary, size_t start,
                  long x, long right, const std::function<long(size_t, long)> &advance)
{
    const size_t count = text.size();
    long width = 0;
    size_t end = start;
    size_t lastSpace = start;
    size_t lastCluster = start;
    while (end < count) {
        if (end > start && boundary[end])
            lastCluster = end;
        if (IsBreakSpace(text[end]) && end > start)
            lastSpace = end;
        const long step = advance(end, x + width);
        if (x + width + step > right && lastCluster > start)
            break;
        width += step;
        ++end;
    }
    LineEnd line{end, end};
    if (end < count) {
        line.trimmed = lastSpace > start ? lastSpace : lastCluster;
        line.next = line.trimmed;
    }
    while (line.next < count && IsBreakSpace(text[line.next]) && line.next > start)
        ++line.next;
    while (line.trimmed > start && line.next < count && IsBreakSpace(text[line.trimmed - 1]))
        --line.trimmed;
    return line;
}
