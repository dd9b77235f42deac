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
        } else if (op.op == xl::kOpBeginFontHeader) {
            ++lines.fontHeaders;
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

bool FontDownloadsOf(std::span<const uint8_t> bytes, std::vector<uint8_t> &kept,
                     XLDecodeError &error)
{
    std::vector<XLToken> tokens;
    if (!XLDecodeTokens(bytes, tokens, error))
        return false;
    // An operation runs from its first attribute value (the first token
    // after the operation before it and its data) to the end of its data.
    size_t start = 0;
    bool open = false; // an operator was read; its data may follow
    bool keep = false;
    const auto close = [&](size_t end) {
        if (open && keep)
            kept.insert(kept.end(), bytes.begin() + static_cast<ptrdiff_t>(start),
                        bytes.begin() + static_cast<ptrdiff_t>(end));
        open = false;
        start = end;
    };
    for (const XLToken &token : tokens) {
        if (token.kind == XLTokenKind::EmbeddedData)
            continue;
        if (token.kind == XLTokenKind::StreamHeader) {
            start = token.offset + token.size;
        } else if (token.kind == XLTokenKind::Operator) {
            if (open)
                close(token.offset);
            const uint16_t op = token.id;
            keep = op == xl::kOpBeginFontHeader || op == xl::kOpReadFontHeader ||
                   op == xl::kOpEndFontHeader || op == xl::kOpBeginChar ||
                   op == xl::kOpReadChar || op == xl::kOpEndChar || op == xl::kOpRemoveFont;
            open = true;
        } else if (open) {
            close(token.offset);
        }
    }
    close(bytes.size());
    return true;
}
