// SPDX-License-Identifier: MIT
// Text on a preview page: the job's soft fonts rebuilt and opened by
// FreeType when first drawn with, each character drawn at the cursor.
#include <algorithm>

#include "core/fndl.h"
#include "inspect/previewstate.h"
#include "inspect/rebuild.h"
#include "xlstream/xlcodes.h"

namespace xlpreview {

namespace {

// The font's FreeType face, rebuilt and opened when first drawn with; null
// with the reason when it cannot be, or with error when the budget is spent.
FT_Face FaceOf(Preview &preview, size_t font, std::string &reason, std::string &error)
{
    FontFace &face = preview.faces[font];
    if (!face.tried) {
        face.tried = true;
        const SoftFontInJob &source = preview.fonts[font];
        if (!preview.Spend(static_cast<double>(RebuiltGlyphBytes(source) + source.headerSize),
                           "rebuilding font " + Quoted(source.name), error))
            return nullptr;
        if (!RebuildFont(source, "font", face.ttf, face.problem))
            face.problem = "cannot be made a TrueType font: " + face.problem;
        else if (const FT_Error status =
                     FT_New_Memory_Face(preview.library, face.ttf.data(),
                                        static_cast<FT_Long>(face.ttf.size()), 0, &face.face)) {
            face.face = nullptr;
            face.problem = "FreeType cannot open it (error " + std::to_string(status) + ")";
        }
    }
    reason = face.problem;
    return face.face;
}

} // namespace

void SetFont(Preview &preview, const XLOperation &op)
{
    const XLAttribute *name = op.Find(xl::kAttrFontName);
    const std::optional<double> size = Number(op, xl::kAttrCharSize);
    preview.state.fontName = name ? std::string(name->value.raw.begin(), name->value.raw.end()) : "";
    const auto found = preview.fontInEffect.find(preview.state.fontName);
    preview.state.font = found == preview.fontInEffect.end() ? SIZE_MAX : found->second;
    preview.state.charSize = size ? *size : 0;
    if (found == preview.fontInEffect.end())
        preview.Note("SetFont of a font that is not a soft font of this job (" +
                         Quoted(preview.state.fontName) + "): its text",
                     op.offset);
}

bool Text(Preview &preview, const XLOperation &op, std::string &error)
{
    GraphicsState &state = preview.state;
    const XLAttribute *textData = op.Find(xl::kAttrTextData);
    if (!textData)
        return preview.Note("Text without TextData", op.offset), true;
    const std::vector<double> &codes = textData->value.numbers;
    const std::vector<double> *advancesX = Numbers(op, xl::kAttrXSpacingData, 0);
    const std::vector<double> *advancesY = Numbers(op, xl::kAttrYSpacingData, 0);
    if ((advancesX && advancesX->size() != codes.size()) ||
        (advancesY && advancesY->size() != codes.size()))
        return preview.Note("Text whose spacing data does not count its characters", op.offset), true;
    if (state.font == SIZE_MAX)
        return preview.Note("Text without a soft font of this job selected", op.offset), true;
    const SoftFontInJob &font = preview.fonts[state.font];
    std::string reason;
    FT_Face face = FaceOf(preview, state.font, reason, error);
    if (!error.empty())
        return false;
    if (!face)
        return preview.Note("Text in font " + Quoted(font.name) + ", which " + reason, op.offset), true;
    // The em follows the page's y scale; a page scaled unevenly widens or
    // narrows the characters as SetCharScale does.
    const double pageAspect = state.pageScaleY != 0 ? state.pageScaleX / state.pageScaleY : 1;
    const GlyphStyle style{preview.LengthY(state.charSize), state.bold, state.shearX,
                           state.shearY, state.scaleX * pageAspect, state.scaleY};
    if (std::any_of(codes.begin(), codes.end(), [](double code) { return code < 0 || code > 0xFFFF; }))
        return preview.Note("Text with character codes beyond 16 bits", op.offset), true;
    const bool drawing = preview.page && !state.brushNull;
    const double glyphPixels = GlyphPixels(style);
    for (size_t i = 0; i < codes.size(); ++i) {
        const auto glyph = font.charToGlyph.find(static_cast<uint16_t>(codes[i]));
        const double x = preview.PointX(state.cursorX);
        const double y = preview.PointY(state.cursorY);
        // The library downloads no glyph for a space; the advance places the
        // next character.
        const bool blank = codes[i] == 0x20 || codes[i] == 0x3000;
        const bool drawn = drawing && glyph != font.charToGlyph.end();
        if (!preview.Spend(drawn ? glyphPixels : 1, "the Text at byte " + std::to_string(op.offset), error))
            return false;
        if (glyph == font.charToGlyph.end() && !blank) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(codes[i]));
            preview.Note(std::string("character ") + code + " that font " + Quoted(font.name) +
                             " does not hold",
                         op.offset);
        } else if (drawn &&
                   !DrawGlyph(*preview.page, face, glyph->second, x, y, style, state.clip,
                              state.brush, reason)) {
            preview.Note("characters of font " + Quoted(font.name) + ": " + reason, op.offset);
        }
        if (advancesX)
            state.cursorX += (*advancesX)[i];
        else if (glyph != font.charToGlyph.end() &&
                 !FT_Load_Glyph(face, glyph->second, FT_LOAD_NO_SCALE))
            state.cursorX += face->glyph->advance.x * state.charSize * state.scaleX /
                             face->units_per_EM;
        if (advancesY)
            state.cursorY += (*advancesY)[i];
    }
    return true;
}

} // namespace xlpreview
