// SPDX-License-Identifier: MIT
// Measuring text through the library, on a scratch file.
#include "measure.h"

#include <vector>

#include "jobstructure.h"
#include "librarycall.h"
#include "output.h"
#include "qorvfndl.h"
#include "xldecode/xldecode.h"
#include "xlstream/xlcodes.h"

namespace {

// The characters and advances of the Text operations of bytes.
void ReadAdvances(std::span<const uint8_t> bytes, std::map<char16_t, long> &advances)
{
    std::vector<XLOperation> ops;
    XLDecodeError error;
    XLDecodeOperations(bytes, ops, error);
    for (const XLOperation &op : ops) {
        if (op.op != xl::kOpText)
            continue;
        const XLAttribute *text = op.Find(xl::kAttrTextData);
        const XLAttribute *spacing = op.Find(xl::kAttrXSpacingData);
        if (!text || !spacing)
            continue;
        const size_t count = std::min(text->value.numbers.size(), spacing->value.numbers.size());
        for (size_t i = 0; i < count; ++i)
            advances[static_cast<char16_t>(text->value.numbers[i])] =
                WholeNumber(spacing->value.numbers[i], 0);
    }
}

void MeasureOne(const Request &request, const JobFont &font, std::u16string_view text,
                JobOutput &scratch, std::map<char16_t, long> &advances)
{
    text = text.substr(0, kLibraryTextUnits);
    // Each call goes on after a character the font does not set.
    int offset = 0;
    for (int calls = 0; calls < 64 && static_cast<size_t>(offset) < text.size(); ++calls) {
        SetCursor(request.margin, request.cursorY);
        const CallResult result = CallDownload(request, font, text, offset, scratch.workPath);
        std::vector<uint8_t> appended;
        std::string reason;
        if (!TakeAppended(scratch, appended, reason))
            return;
        ReadAdvances(appended, advances);
        if (result.code != FNDL_INVALID_GLYPH_HANDLE || result.offset < offset)
            return;
        offset = result.offset + 1;
    }
}

} // namespace

bool MeasureCharacters(const Request &request, const JobFont &font,
                       std::span<const std::u16string> texts, std::map<char16_t, long> &advances)
{
    JobOutput scratch;
    std::string reason;
    if (!OpenJobOutput("-", scratch, reason))
        return false;
    for (const std::u16string &whole : texts)
        MeasureOne(request, font, whole, scratch, advances);
    int fontId = font.fontId;
    FNDLRemoveFontW(&fontId);
    return !advances.empty();
}
