// SPDX-License-Identifier: MIT
// The library's text lines read back from the operators it appended.
#include "readback.h"

#include <vector>

#include "jobstructure.h"
#include "xlstream/xlcodes.h"

bool ReadWrittenLines(std::span<const uint8_t> bytes, WrittenLines &lines, XLDecodeError &error)
{
    std::vector<XLOperation> ops;
    if (!XLDecodeOperations(bytes, ops, error))
        return false;
    long cursorX = 0;
    long cursorY = 0;
    for (const XLOperation &op : ops) {
        if (op.op == xl::kOpSetCursor) {
            if (const XLAttribute *point = op.Find(xl::kAttrPoint);
                point && point->value.numbers.size() == 2) {
                cursorX = WholeNumber(point->value.numbers[0], 0);
                cursorY = WholeNumber(point->value.numbers[1], 0);
            }
        } else if (op.op == xl::kOpText) {
            long advance = 0;
            if (const XLAttribute *spacing = op.Find(xl::kAttrXSpacingData)) {
                for (const double number : spacing->value.numbers)
                    advance += WholeNumber(number, 0);
            }
            if (const XLAttribute *textData = op.Find(xl::kAttrTextData))
                lines.characters += static_cast<long>(textData->value.count);
            ++lines.texts;
            lines.count += lines.hasLast && cursorY == lines.lastY ? 0 : 1;
            lines.hasLast = true;
            lines.lastY = cursorY;
            lines.lastEndX = cursorX + advance;
        }
    }
    return true;
}
