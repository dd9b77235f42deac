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
#include "inspect/previewstate.h"
#include "xlstream/xlcodes.h"

namespace {

using namespace xlpreview;

constexpr double kMaxPagePixels = 400e6;
constexpr double kMillimetresPerInch = 25.4;
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
