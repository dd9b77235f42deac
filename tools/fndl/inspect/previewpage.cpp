// SPDX-License-Identifier: MIT
// The page interpreter of 'fndl preview': the graphics state as far as the
// library and the tool use it, Text in the job's soft fonts (rebuilt when
// first drawn with), rectangles, the clip rectangle; the rest is noted once
// per kind. Every pixel it makes counts against the job's pixel budget.
#include "inspect/previewpage.h"

#include <algorithm>
#include <cmath>

#include "core/fndl.h"
#include "inspect/jobstructure.h"
#include "inspect/rebuild.h"
#include "xlstream/xlcodes.h"

namespace {

constexpr double kMaxPagePixels = 400e6;
constexpr double kMillimetresPerInch = 25.4;
constexpr uint8_t kBlack = 0;
// Graphics states saved by PushGS; deeper ones are not kept, so that a run
// of one-byte PushGS operators cannot take memory without end.
constexpr size_t kMaxSavedStates = 1000;

// State that changes nothing this preview draws (fills of rectangles, and
// lines it does not draw anyway).
constexpr uint8_t kHarmlessOps[] = {
    xl::kOpSetHalftoneMethod, xl::kOpSetFillMode,     xl::kOpSetLineDash,
    xl::kOpSetLineCap,        xl::kOpSetLineJoin,     xl::kOpSetMiterLimit,
    xl::kOpSetPaintTxMode,    xl::kOpSetSourceTxMode, xl::kOpSetNeutralAxis,
    xl::kOpSetClipMode};

constexpr unsigned kClipInterior = 0;
constexpr unsigned kRopSource = 0xCC;
constexpr unsigned kRopPattern = 0xF0;
constexpr unsigned kRopSourceOrPattern = 0xFC;

// What is drawn with: the PCL XL graphics state as far as it matters here.
struct GraphicsState {
    PixelRect clip;
    // The page transform: a user point (x, y) lies at origin + pageScale *
    // (x, y) in the session's units. SetPageOrigin moves the origin by user
    // units, SetPageScale multiplies the scale (n-up frames use both).
    double originX = 0;
    double originY = 0;
    double pageScaleX = 1;
    double pageScaleY = 1;
    double cursorX = 0; // user units
    double cursorY = 0;
    size_t font = SIZE_MAX; // into the rebuilt fonts
    std::string fontName;
    double charSize = 0; // user units
    double bold = 0;
    double shearX = 0;
    double shearY = 0;
    double scaleX = 1;
    double scaleY = 1;
    bool brushNull = false;
    uint8_t brush = kBlack;
    bool penNull = false;
    uint8_t pen = kBlack;
    double penWidth = 1; // user units
};

struct FontFace {
    std::vector<uint8_t> ttf;
    FT_Face face = nullptr;
    bool tried = false;
    std::string problem; // why it cannot be drawn with
};

struct Preview {
    Preview(const PageSettings &chosen, const std::vector<SoftFontInJob> &walked, const PageSink &output)
        : settings(chosen), fonts(walked), sink(output), faces(walked.size())
    {
    }
    ~Preview()
    {
        for (FontFace &face : faces) {
            if (face.face)
                FT_Done_Face(face.face);
        }
        if (library)
            FT_Done_FreeType(library);
    }
    Preview(const Preview &) = delete;
    Preview &operator=(const Preview &) = delete;

    const PageSettings &settings;
    const std::vector<SoftFontInJob> &fonts;
    const PageSink &sink;
    std::vector<FontFace> faces; // per font, made when first drawn with
    FT_Library library = nullptr;
    std::map<std::string, NotDrawn> notDrawn;
    std::map<std::string, size_t> fontInEffect; // PCL XL name to font
    size_t nextFont = 0;                        // BeginFontHeaders seen
    double unitsX = 600;                        // user units per inch
    double unitsY = 600;
    int pageNumber = 0;
    bool halfTurn = false;           // of the page being drawn
    std::optional<PreviewPage> page; // the page being drawn
    GraphicsState state;
    std::vector<GraphicsState> saved;
    std::vector<PixelRect> path;
    double spent = 0; // of the pixel budget

    double ToPixelsX(double units) const { return units * settings.dpi / unitsX; }
    double ToPixelsY(double units) const { return units * settings.dpi / unitsY; }
    // Positions count from the page origin, in units the page scale sizes.
    double PointX(double units) const { return ToPixelsX(state.originX + state.pageScaleX * units); }
    double PointY(double units) const { return ToPixelsY(state.originY + state.pageScaleY * units); }
    // A length along x or y in user units, in pixels.
    double LengthX(double units) const { return ToPixelsX(state.pageScaleX * units); }
    double LengthY(double units) const { return ToPixelsY(state.pageScaleY * units); }
    PixelRect ToPixels(const std::vector<double> &box) const
    {
        return {PointX(std::min(box[0], box[2])), PointY(std::min(box[1], box[3])),
                PointX(std::max(box[0], box[2])), PointY(std::max(box[1], box[3]))};
    }
    PixelRect WholePage() const
    {
        return page ? PixelRect{0, 0, double(page->width), double(page->height)} : PixelRect{};
    }

    void Note(const std::string &what, size_t offset)
    {
        NotDrawn &entry = notDrawn[what];
        if (entry.count++ == 0)
            entry.firstOffset = offset;
    }

    // Takes pixels from the budget; false with the error once it is spent.
    bool Spend(double pixels, const std::string &what, std::string &error)
    {
        spent += std::max(pixels, 1.0);
        if (spent <= settings.pixelBudget)
            return true;
        char text[64];
        std::snprintf(text, sizeof text, "%.0f", settings.pixelBudget);
        error = what + " takes the job past the " + text +
                " pixels that fndl preview draws for it; use a lower --dpi, or --page";
        return false;
    }
};

void BeginSession(Preview &preview, const XLOperation &op)
{
    const std::vector<double> *units = Numbers(op, xl::kAttrUnitsPerMeasure, 2);
    const std::optional<double> measure = Number(op, xl::kAttrMeasure);
    const double perInch = !measure || *measure == 0 ? 1 : *measure == 1 ? kMillimetresPerInch
                                                                         : 10 * kMillimetresPerInch;
    if (units && (*units)[0] > 0 && (*units)[1] > 0) {
        preview.unitsX = (*units)[0] * perInch;
        preview.unitsY = (*units)[1] * perInch;
    }
}

bool Selected(const Preview &preview)
{
    return preview.settings.onlyPage == 0 || preview.settings.onlyPage == preview.pageNumber;
}

bool BeginPage(Preview &preview, const XLOperation &op, std::string &error)
{
    ++preview.pageNumber;
    preview.state = GraphicsState{};
    preview.saved.clear();
    preview.path.clear();
    PageMedia media;
    const MediaCheck check = ReadPageMedia(op, media);
    const std::string page = "page " + std::to_string(preview.pageNumber);
    if (check == MediaCheck::TooLarge) {
        error = page + " asks for a custom media larger than any paper";
        return false;
    }
    if (check == MediaCheck::Unknown)
        preview.Note("BeginPage with a MediaSize not known here (drawn on Letter)", op.offset);
    if (!Selected(preview))
        return true;
    const double pixelsX = std::ceil(media.width * preview.settings.dpi);
    const double pixelsY = std::ceil(media.height * preview.settings.dpi);
    if (pixelsX * pixelsY > kMaxPagePixels) {
        char pixels[32];
        std::snprintf(pixels, sizeof pixels, "%.0f", pixelsX * pixelsY);
        error = page + " would take " + pixels + " pixels at " +
                std::to_string(preview.settings.dpi) + " dpi; use a lower --dpi";
        return false;
    }
    if (!preview.Spend(pixelsX * pixelsY, page, error))
        return false;
    PreviewPage &raster = preview.page.emplace();
    raster.width = static_cast<int>(pixelsX);
    raster.height = static_cast<int>(pixelsY);
    raster.gray.assign(static_cast<size_t>(raster.width) * raster.height, 255);
    preview.halfTurn = media.halfTurn;
    preview.state.clip = preview.WholePage();
    return true;
}

bool EndPage(Preview &preview, std::string &error)
{
    if (!preview.page)
        return true;
    // A reverse orientation prints the page turned half round on the sheet.
    if (preview.halfTurn)
        std::reverse(preview.page->gray.begin(), preview.page->gray.end());
    const bool written = preview.sink(*preview.page, preview.pageNumber, error);
    preview.page.reset();
    return written;
}

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

// The pixels painting rect inside the clip and the page touches, at least one.
double PaintedPixels(const Preview &preview, const PixelRect &rect)
{
    const PixelRect area = Intersect(Intersect(rect, preview.state.clip), preview.WholePage());
    const double pixels = (area.right - area.left + 2) * (area.bottom - area.top + 2);
    return area.right > area.left && area.bottom > area.top && std::isfinite(pixels) ? pixels : 1;
}

bool PaintPath(Preview &preview, const std::vector<PixelRect> &rects, size_t offset, std::string &error)
{
    if (!preview.page)
        return true;
    const GraphicsState &state = preview.state;
    const std::string what = "the painting at byte " + std::to_string(offset);
    for (const PixelRect &rect : rects) {
        // The fill, and the pen's four edges, each about the rectangle's size at most.
        if (!preview.Spend(PaintedPixels(preview, rect) * (state.penNull ? 1 : 5), what, error))
            return false;
        if (!state.brushNull)
            PaintRect(*preview.page, rect, state.clip, state.brush);
        if (!state.penNull) {
            // The pen's stroke is centred on the rectangle's edges.
            const double halfX = std::fabs(preview.LengthX(state.penWidth)) / 2;
            const double halfY = std::fabs(preview.LengthY(state.penWidth)) / 2;
            const PixelRect edges[] = {
                {rect.left - halfX, rect.top - halfY, rect.right + halfX, rect.top + halfY},
                {rect.left - halfX, rect.bottom - halfY, rect.right + halfX, rect.bottom + halfY},
                {rect.left - halfX, rect.top + halfY, rect.left + halfX, rect.bottom - halfY},
                {rect.right - halfX, rect.top + halfY, rect.right + halfX, rect.bottom - halfY}};
            for (const PixelRect &edge : edges)
                PaintRect(*preview.page, edge, state.clip, state.pen);
        }
    }
    return true;
}

void SetClipRectangle(Preview &preview, const XLOperation &op)
{
    const std::vector<double> *box = Numbers(op, xl::kAttrBoundingBox, 4);
    const std::optional<double> region = Number(op, xl::kAttrClipRegion);
    if (!box || (region && *region != kClipInterior))
        return preview.Note("SetClipRectangle other than an interior box (not clipped)", op.offset);
    preview.state.clip = Intersect(preview.state.clip, preview.ToPixels(*box));
}

// One operator. False on an output failure or a spent budget, with the error.
bool Interpret(Preview &preview, const XLOperation &op, std::string &error)
{
    GraphicsState &state = preview.state;
    switch (op.op) {
    case xl::kOpBeginSession: BeginSession(preview, op); break;
    case xl::kOpBeginPage: return BeginPage(preview, op, error);
    case xl::kOpEndPage: return EndPage(preview, error);
    case xl::kOpBeginFontHeader:
        if (const XLAttribute *name = op.Find(xl::kAttrFontName))
            preview.fontInEffect[std::string(name->value.raw.begin(), name->value.raw.end())] =
                preview.nextFont;
        ++preview.nextFont;
        break;
    case xl::kOpRemoveFont:
        if (const XLAttribute *name = op.Find(xl::kAttrFontName))
            preview.fontInEffect.erase(std::string(name->value.raw.begin(), name->value.raw.end()));
        break;
    case xl::kOpSetFont: SetFont(preview, op); break;
    case xl::kOpSetCharBoldValue: state.bold = Number(op, xl::kAttrCharBoldValue).value_or(0); break;
    case xl::kOpSetCharShear:
        if (const std::vector<double> *shear = Numbers(op, xl::kAttrCharShear, 2)) {
            state.shearX = (*shear)[0];
            state.shearY = (*shear)[1];
        }
        break;
    case xl::kOpSetCharScale:
        if (const std::vector<double> *scale = Numbers(op, xl::kAttrCharScale, 2)) {
            state.scaleX = (*scale)[0];
            state.scaleY = (*scale)[1];
        }
        break;
    case xl::kOpSetCharAngle:
        if (Number(op, xl::kAttrCharAngle).value_or(0) != 0)
            preview.Note("SetCharAngle other than 0 (characters drawn upright)", op.offset);
        break;
    case xl::kOpSetCursor:
        if (const std::vector<double> *point = Numbers(op, xl::kAttrPoint, 2)) {
            state.cursorX = (*point)[0];
            state.cursorY = (*point)[1];
        }
        break;
    case xl::kOpSetPageOrigin:
        if (const std::vector<double> *origin = Numbers(op, xl::kAttrPageOrigin, 2)) {
            state.originX += state.pageScaleX * (*origin)[0];
            state.originY += state.pageScaleY * (*origin)[1];
        }
        break;
    case xl::kOpSetPageScale:
        if (const std::vector<double> *scale = Numbers(op, xl::kAttrPageScale, 2)) {
            state.pageScaleX *= (*scale)[0];
            state.pageScaleY *= (*scale)[1];
        }
        break;
    case xl::kOpSetCursorRel:
        if (const std::vector<double> *point = Numbers(op, xl::kAttrPoint, 2)) {
            state.cursorX += (*point)[0];
            state.cursorY += (*point)[1];
        }
        break;
    case xl::kOpText: return Text(preview, op, error);
    case xl::kOpSetClipRectangle: SetClipRectangle(preview, op); break;
    case xl::kOpSetClipToPage: state.clip = preview.WholePage(); break;
    case xl::kOpSetBrushSource:
    case xl::kOpSetPenSource: {
        const bool brush = op.op == xl::kOpSetBrushSource;
        const std::optional<uint8_t> color = ColorOf(op);
        const bool none = op.Find(brush ? xl::kAttrNullBrush : xl::kAttrNullPen) != nullptr;
        if (!color && !none)
            preview.Note(OperatorName(op.op) + " other than a gray, a color or none (black used)",
                         op.offset);
        (brush ? state.brushNull : state.penNull) = none;
        (brush ? state.brush : state.pen) = color.value_or(kBlack);
        break;
    }
    case xl::kOpSetPenWidth: state.penWidth = Number(op, xl::kAttrPenWidth).value_or(1); break;
    case xl::kOpSetROP: {
        const double rop = Number(op, xl::kAttrROP3).value_or(kRopSourceOrPattern);
        if (rop != kRopSource && rop != kRopPattern && rop != kRopSourceOrPattern)
        {
            char text[48];
            std::snprintf(text, sizeof text, "SetROP %g (painted over)", rop);
            preview.Note(text, op.offset);
        }
        break;
    }
    case xl::kOpNewPath: preview.path.clear(); break;
    case xl::kOpRectanglePath:
    case xl::kOpRectangle:
        if (const std::vector<double> *box = Numbers(op, xl::kAttrBoundingBox, 4)) {
            if (op.op == xl::kOpRectangle)
                return PaintPath(preview, {preview.ToPixels(*box)}, op.offset, error);
            else
                preview.path.push_back(preview.ToPixels(*box));
        }
        break;
    case xl::kOpPaintPath: return PaintPath(preview, preview.path, op.offset, error);
    case xl::kOpPushGS:
        if (preview.saved.size() < kMaxSavedStates)
            preview.saved.push_back(state);
        else
            preview.Note("PushGS beyond " + std::to_string(kMaxSavedStates) + " levels (not saved)",
                         op.offset);
        break;
    case xl::kOpPopGS:
        if (!preview.saved.empty()) {
            state = preview.saved.back();
            preview.saved.pop_back();
        }
        break;
    case xl::kOpEndSession:
    case xl::kOpOpenDataSource:
    case xl::kOpCloseDataSource:
    case xl::kOpReadFontHeader:
    case xl::kOpEndFontHeader:
    case xl::kOpBeginChar:
    case xl::kOpReadChar:
    case xl::kOpEndChar:
    case xl::kOpSetColorSpace:
    case xl::kOpComment:
    case xl::kOpEchoComment:
    case xl::kOpCloseSubPath: break;
    default:
        if (std::find(std::begin(kHarmlessOps), std::end(kHarmlessOps), op.op) ==
            std::end(kHarmlessOps))
            preview.Note(OperatorName(op.op), op.offset);
        break;
    }
    return true;
}

} // namespace

bool DrawPages(std::span<const uint8_t> job, const std::vector<SoftFontInJob> &fonts,
               const PageSettings &settings, const PageSink &sink,
               std::map<std::string, NotDrawn> &notDrawn, std::string &error)
{
    Preview preview(settings, fonts, sink);
    if (FT_Init_FreeType(&preview.library) != 0) {
        preview.library = nullptr;
        error = "cannot start FreeType";
        return false;
    }
    XLJobReader reader(job);
    XLJobPiece piece;
    XLDecodeError decodeError;
    bool done = true;
    while (done && reader.Next(piece, decodeError)) {
        if (piece.kind == XLJobPieceKind::Operation)
            done = Interpret(preview, piece.op, error);
        else if (piece.kind == XLJobPieceKind::StreamEnd)
            preview.fontInEffect.clear(); // a job's soft fonts end with it
    }
    if (done && !decodeError.message.empty()) {
        error = "malformed at byte " + std::to_string(decodeError.offset) + ": " + decodeError.message;
        done = false;
    }
    notDrawn = std::move(preview.notDrawn);
    return done;
}
