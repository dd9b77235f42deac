// SPDX-License-Identifier: MIT
// fndl preview: renders the pages of a PCL XL job to PNG images, drawing
// what the library and the tool write: the job's soft fonts (rebuilt as
// 'fndl extract' does and rasterized by FreeType), Text at the cursor with
// its explicit advances, bold, shear and scale, rectangles (the underline),
// and the clip rectangle. Everything else is named on stderr, once per kind.
#include "fndl.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <optional>

#include "jobstructure.h"
#include "preview.h"
#include "softfont.h"
#include "xldecode/xldecode.h"
#include "xlstream/xlcodes.h"

namespace {

constexpr long kDefaultDpi = 100;
constexpr long kMaxDpi = 2400;
constexpr double kMaxPagePixels = 400e6;
constexpr double kMillimetresPerInch = 25.4;
constexpr uint8_t kBlack = 0;

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

struct MediaSize {
    unsigned code;
    const char *name;
    double width; // inches
    double height;
};
constexpr double Mm(double millimetres) { return millimetres / kMillimetresPerInch; }
// The PCL XL MediaSize enumeration, and the names a ubyte_array may give.
constexpr MediaSize kMediaSizes[] = {
    {0, "LETTER", 8.5, 11},        {1, "LEGAL", 8.5, 14},
    {2, "A4", Mm(210), Mm(297)},   {3, "EXECUTIVE", 7.25, 10.5},
    {4, "LEDGER", 11, 17},         {5, "A3", Mm(297), Mm(420)},
    {6, "COM10", 4.125, 9.5},      {7, "MONARCH", 3.875, 7.5},
    {8, "C5", Mm(162), Mm(229)},   {9, "DL", Mm(110), Mm(220)},
    {10, "JB4", Mm(257), Mm(364)}, {11, "JB5", Mm(182), Mm(257)},
    {12, "B5ENV", Mm(176), Mm(250)}, {14, "JPOSTCARD", Mm(100), Mm(148)},
    {15, "JDOUBLEPOSTCARD", Mm(200), Mm(148)}, {16, "A5", Mm(148), Mm(210)},
    {17, "A6", Mm(105), Mm(148)},  {18, "JB6", Mm(128), Mm(182)},
};

struct Options {
    std::string job;
    std::string pattern;
    long dpi = kDefaultDpi;
    long onlyPage = 0; // 0: every page
    bool mono = false;
};

// What is drawn with: the PCL XL graphics state as far as it matters here.
struct GraphicsState {
    PixelRect clip;
    double originX = 0; // user units, moved by SetPageOrigin
    double originY = 0;
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

// What could not be drawn, by kind: how often, and where first.
struct NotDrawn {
    size_t count = 0;
    size_t firstOffset = 0;
};

struct Preview {
    Preview(const Options &chosen, std::vector<RebuiltFont> &rebuilt)
        : options(chosen), fonts(rebuilt)
    {
    }
    const Options &options;
    std::vector<RebuiltFont> &fonts;
    std::vector<FT_Face> faces; // per rebuilt font, made when first drawn with
    FT_Library library = nullptr;
    std::map<std::string, NotDrawn> notDrawn;
    std::map<std::string, size_t> fontInEffect; // PCL XL name to rebuilt font
    size_t nextFont = 0;                        // BeginFontHeaders seen
    double unitsX = 600;                        // user units per inch
    double unitsY = 600;
    int pageNumber = 0;
    std::optional<PreviewPage> page; // the page being drawn
    GraphicsState state;
    std::vector<GraphicsState> saved;
    std::vector<PixelRect> path;
    std::vector<std::string> written;

    double ToPixelsX(double units) const { return units * options.dpi / unitsX; }
    double ToPixelsY(double units) const { return units * options.dpi / unitsY; }
    // Positions count from the page origin that SetPageOrigin moved.
    double PointX(double units) const { return ToPixelsX(units + state.originX); }
    double PointY(double units) const { return ToPixelsY(units + state.originY); }
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
};

const std::vector<double> *Numbers(const XLOperation &op, uint16_t id, size_t count)
{
    const XLAttribute *attribute = op.Find(id);
    if (!attribute || (count != 0 && attribute->value.numbers.size() != count))
        return nullptr;
    return &attribute->value.numbers;
}

std::optional<double> Number(const XLOperation &op, uint16_t id)
{
    const std::vector<double> *numbers = Numbers(op, id, 1);
    return numbers ? std::optional<double>(numbers->front()) : std::nullopt;
}

// A GrayLevel or RGBColor as a gray byte, 0 black; ubyte values run to 255,
// real ones to 1.
std::optional<uint8_t> ColorOf(const XLOperation &op)
{
    auto level = [](const XLAttribute &attribute, double value) {
        const double full = attribute.value.valueType == xl::kReal32 ? 1.0 : 255.0;
        return std::isfinite(value) ? std::clamp(value / full, 0.0, 1.0) : 0.0;
    };
    if (const XLAttribute *gray = op.Find(xl::kAttrGrayLevel);
        gray && gray->value.numbers.size() == 1)
        return static_cast<uint8_t>(std::lround(255 * level(*gray, gray->value.numbers[0])));
    if (const XLAttribute *rgb = op.Find(xl::kAttrRGBColor); rgb && rgb->value.numbers.size() == 3) {
        const std::vector<double> &c = rgb->value.numbers;
        const double luminance =
            0.299 * level(*rgb, c[0]) + 0.587 * level(*rgb, c[1]) + 0.114 * level(*rgb, c[2]);
        return static_cast<uint8_t>(std::lround(255 * luminance));
    }
    return std::nullopt;
}

// The media of a BeginPage in inches, turned by its orientation.
bool PageSize(const XLOperation &op, double &width, double &height)
{
    bool known = false;
    if (const std::vector<double> *custom = Numbers(op, xl::kAttrCustomMediaSize, 2)) {
        const std::optional<double> units = Number(op, xl::kAttrCustomMediaSizeUnits);
        const double perInch = !units || *units == 0 ? 1 : *units == 1 ? kMillimetresPerInch
                                                                       : 10 * kMillimetresPerInch;
        width = (*custom)[0] / perInch;
        height = (*custom)[1] / perInch;
        known = width > 0 && height > 0;
    } else if (const XLAttribute *media = op.Find(xl::kAttrMediaSize)) {
        std::string name(media->value.raw.begin(), media->value.raw.end());
        std::transform(name.begin(), name.end(), name.begin(),
                       [](char c) { return static_cast<char>(std::toupper(uint8_t(c))); });
        const bool byName = media->value.tag == xl::kUByteArray;
        for (const MediaSize &size : kMediaSizes) {
            if (byName ? name.starts_with(size.name)
                       : media->value.numbers.size() == 1 && media->value.numbers[0] == size.code) {
                width = size.width;
                height = size.height;
                known = true;
                break;
            }
        }
    }
    if (!known) {
        width = 8.5;
        height = 11;
    }
    const std::optional<double> orientation = Number(op, xl::kAttrOrientation);
    if (orientation && (*orientation == 1 || *orientation == 3))
        std::swap(width, height);
    return known;
}

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
    return preview.options.onlyPage == 0 || preview.options.onlyPage == preview.pageNumber;
}

bool BeginPage(Preview &preview, const XLOperation &op, std::string &error)
{
    ++preview.pageNumber;
    preview.state = GraphicsState{};
    preview.saved.clear();
    preview.path.clear();
    double width = 0;
    double height = 0;
    if (!PageSize(op, width, height))
        preview.Note("BeginPage with a MediaSize not known here (drawn on Letter)", op.offset);
    if (!Selected(preview))
        return true;
    const double pixelsX = std::ceil(width * preview.options.dpi);
    const double pixelsY = std::ceil(height * preview.options.dpi);
    if (pixelsX * pixelsY > kMaxPagePixels) {
        error = "page " + std::to_string(preview.pageNumber) + " would take " +
                std::to_string(static_cast<long long>(pixelsX * pixelsY)) +
                " pixels at " + std::to_string(preview.options.dpi) + " dpi; use a lower --dpi";
        return false;
    }
    PreviewPage &page = preview.page.emplace();
    page.width = static_cast<int>(pixelsX);
    page.height = static_cast<int>(pixelsY);
    page.gray.assign(static_cast<size_t>(page.width) * page.height, 255);
    preview.state.clip = preview.WholePage();
    return true;
}

// The output name for a page: the pattern's %d (or %0Nd) replaced, "%%" a '%'.
std::string PageFileName(const std::string &pattern, int pageNumber)
{
    std::string name;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            name += pattern[i];
            continue;
        }
        if (pattern[i + 1] == '%') {
            name += '%';
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (pattern[end] != 'd')
            ++end;
        char number[32];
        std::snprintf(number, sizeof number, pattern.substr(i, end - i + 1).c_str(), pageNumber);
        name += number;
        i = end;
    }
    return name;
}

// How many page numbers the pattern holds: "%d" or "%0Nd" (N one digit);
// -1 for any other use of '%'.
int PageNumbersIn(const std::string &pattern)
{
    int count = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%')
            continue;
        const std::string rest = pattern.substr(i + 1, 3);
        if (rest.starts_with("%")) {
            ++i;
        } else if (rest.starts_with("d")) {
            ++count;
            ++i;
        } else if (rest.size() == 3 && rest[0] == '0' && rest[1] >= '1' && rest[1] <= '9' &&
                   rest[2] == 'd') {
            ++count;
            i += 3;
        } else {
            return -1;
        }
    }
    return count;
}

bool EndPage(Preview &preview, std::string &error)
{
    if (!preview.page)
        return true;
    const bool toStdout = preview.options.pattern == "-";
    const std::string name =
        toStdout ? "-" : PageFileName(preview.options.pattern, preview.pageNumber);
    std::unique_ptr<FILE, int (*)(FILE *)> file(toStdout ? stdout : std::fopen(name.c_str(), "wb"),
                                                toStdout ? [](FILE *) { return 0; } : std::fclose);
    std::string reason;
    if (!file) {
        error = "cannot write '" + name + "': " + std::strerror(errno);
        return false;
    }
    if (!WritePng(file.get(), *preview.page, preview.options.mono, reason) ||
        std::fflush(file.get()) != 0 || (!toStdout && std::fclose(file.release()) != 0)) {
        error = "cannot write '" + name + "': " + (reason.empty() ? std::strerror(errno) : reason);
        return false;
    }
    preview.written.push_back("page " + std::to_string(preview.pageNumber) + ": " + name + " (" +
                              std::to_string(preview.page->width) + " x " +
                              std::to_string(preview.page->height) + ")");
    preview.page.reset();
    return true;
}

FT_Face FaceOf(Preview &preview, size_t font, std::string &reason)
{
    if (!preview.faces[font]) {
        const std::vector<uint8_t> &ttf = preview.fonts[font].ttf;
        const FT_Error error = FT_New_Memory_Face(preview.library, ttf.data(),
                                                  static_cast<FT_Long>(ttf.size()), 0,
                                                  &preview.faces[font]);
        if (error) {
            preview.faces[font] = nullptr;
            reason = "FreeType cannot open it (error " + std::to_string(error) + ")";
        }
    }
    return preview.faces[font];
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

void Text(Preview &preview, const XLOperation &op)
{
    GraphicsState &state = preview.state;
    const XLAttribute *textData = op.Find(xl::kAttrTextData);
    if (!textData)
        return preview.Note("Text without TextData", op.offset);
    const std::vector<double> &codes = textData->value.numbers;
    const std::vector<double> *advancesX = Numbers(op, xl::kAttrXSpacingData, 0);
    const std::vector<double> *advancesY = Numbers(op, xl::kAttrYSpacingData, 0);
    if ((advancesX && advancesX->size() != codes.size()) ||
        (advancesY && advancesY->size() != codes.size()))
        return preview.Note("Text whose spacing data does not count its characters", op.offset);
    if (state.font == SIZE_MAX)
        return preview.Note("Text without a soft font of this job selected", op.offset);
    const RebuiltFont &font = preview.fonts[state.font];
    std::string reason;
    FT_Face face = FaceOf(preview, state.font, reason);
    if (!face)
        return preview.Note("Text in font " + Quoted(font.name) + ", which " + reason, op.offset);
    const GlyphStyle style{preview.ToPixelsY(state.charSize), state.bold, state.shearX,
                           state.shearY, state.scaleX, state.scaleY};
    if (std::any_of(codes.begin(), codes.end(), [](double code) { return code < 0 || code > 0xFFFF; }))
        return preview.Note("Text with character codes beyond 16 bits", op.offset);
    for (size_t i = 0; i < codes.size(); ++i) {
        const auto glyph = font.charToGlyph.find(static_cast<uint16_t>(codes[i]));
        const double x = preview.PointX(state.cursorX);
        const double y = preview.PointY(state.cursorY);
        // The library downloads no glyph for a space; the advance places the
        // next character.
        const bool blank = codes[i] == 0x20 || codes[i] == 0x3000;
        if (glyph == font.charToGlyph.end() && !blank) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(codes[i]));
            preview.Note(std::string("character ") + code + " that font " + Quoted(font.name) +
                             " does not hold",
                         op.offset);
        } else if (glyph != font.charToGlyph.end() && preview.page && !state.brushNull &&
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
}

void PaintPath(Preview &preview, const std::vector<PixelRect> &rects)
{
    if (!preview.page)
        return;
    const GraphicsState &state = preview.state;
    for (const PixelRect &rect : rects) {
        if (!state.brushNull)
            PaintRect(*preview.page, rect, state.clip, state.brush);
        if (!state.penNull) {
            // The pen's stroke is centred on the rectangle's edges.
            const double halfX = preview.ToPixelsX(state.penWidth) / 2;
            const double halfY = preview.ToPixelsY(state.penWidth) / 2;
            const PixelRect edges[] = {
                {rect.left - halfX, rect.top - halfY, rect.right + halfX, rect.top + halfY},
                {rect.left - halfX, rect.bottom - halfY, rect.right + halfX, rect.bottom + halfY},
                {rect.left - halfX, rect.top + halfY, rect.left + halfX, rect.bottom - halfY},
                {rect.right - halfX, rect.top + halfY, rect.right + halfX, rect.bottom - halfY}};
            for (const PixelRect &edge : edges)
                PaintRect(*preview.page, edge, state.clip, state.pen);
        }
    }
}

void SetClipRectangle(Preview &preview, const XLOperation &op)
{
    const std::vector<double> *box = Numbers(op, xl::kAttrBoundingBox, 4);
    const std::optional<double> region = Number(op, xl::kAttrClipRegion);
    if (!box || (region && *region != kClipInterior))
        return preview.Note("SetClipRectangle other than an interior box (not clipped)", op.offset);
    preview.state.clip = Intersect(preview.state.clip, preview.ToPixels(*box));
}

// One operator. False on an output failure, with the error.
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
            state.originX += (*origin)[0];
            state.originY += (*origin)[1];
        }
        break;
    case xl::kOpSetCursorRel:
        if (const std::vector<double> *point = Numbers(op, xl::kAttrPoint, 2)) {
            state.cursorX += (*point)[0];
            state.cursorY += (*point)[1];
        }
        break;
    case xl::kOpText: Text(preview, op); break;
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
                PaintPath(preview, {preview.ToPixels(*box)});
            else
                preview.path.push_back(preview.ToPixels(*box));
        }
        break;
    case xl::kOpPaintPath: PaintPath(preview, preview.path); break;
    case xl::kOpPushGS: preview.saved.push_back(state); break;
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

constexpr const char *kPreviewHelp =
    "usage: fndl preview JOB -o PATTERN [options]\n"
    "\n"
    "Renders the pages of a PCL XL job (a bare stream or one wrapped in PJL) to\n"
    "PNG images, to look at a cover page without a printer. Page n goes to\n"
    "PATTERN with its %d (or %0Nd) replaced by n, e.g. -o page-%d.png; a PATTERN\n"
    "without %d (or '-', standard output) takes a single page: the job's only\n"
    "page or the one --page names. The page has the size of its media (BeginPage\n"
    "MediaSize and Orientation). The job's soft fonts are rebuilt as 'fndl\n"
    "extract' does and rasterized by FreeType (unhinted) at the SetFont size;\n"
    "each Text is drawn from the cursor with its explicit advances, with the\n"
    "selected bold, shear and scale; rectangles (the underline bar) are painted;\n"
    "the clip rectangle applies. What is not drawn (images, paths other than\n"
    "rectangles, fonts that are not soft fonts of the job, ...) is named once per\n"
    "kind on stderr, with its count and first byte offset. A damaged job is\n"
    "reported with its byte offset, no page is written, and the exit status is 1.\n"
    "\n"
    "  -o, --output PATTERN  where the pages go\n"
    "  --dpi N               pixels per inch, 1-2400 (default 100)\n"
    "  --page N              only page N\n"
    "  --mono                1-bit black and white instead of 8-bit gray\n"
    "  -h, --help            this help\n";

} // namespace

int RunPreview(std::span<char *const> args)
{
    constexpr OptionDefinition kOptions[] = {
        {"--output", true, nullptr}, {"-o", true, "--output"}, {"--dpi", true, nullptr},
        {"--page", true, nullptr},   {"--mono", false, nullptr},
    };
    ParsedArgs parsed;
    if (const int exitCode = ParseCommand(
            {"preview", kOptions, kPreviewHelp, 1, "name one job file to preview"}, args, parsed);
        exitCode >= 0)
        return exitCode;
    if (!parsed.Has("--output") || parsed.Get("--output").empty())
        return UsageError("preview", "name where the pages go with -o PATTERN");
    std::string error;
    Options options;
    options.job = parsed.positionals.front();
    options.pattern = parsed.Get("--output");
    options.mono = parsed.Has("--mono");
    if ((parsed.Has("--dpi") &&
         !ParseNumber("--dpi", parsed.Get("--dpi"), 1, kMaxDpi, options.dpi, error)) ||
        (parsed.Has("--page") &&
         !ParseNumber("--page", parsed.Get("--page"), 1, INT32_MAX, options.onlyPage, error)))
        return UsageError("preview", error);
    const int pageNumbers = options.pattern == "-" ? 0 : PageNumbersIn(options.pattern);
    if (pageNumbers < 0 || pageNumbers > 1)
        return UsageError("preview", "PATTERN takes one %d (or %0Nd) and '%%' for a '%'");

    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(options.job, bytes, error)) {
        PrintError("cannot read '" + options.job + "': " + error);
        return kExitFailed;
    }
    std::vector<XLOperation> ops;
    XLStreamBounds bounds;
    XLDecodeError decodeError;
    if (!ReadJob(bytes, ops, bounds, decodeError)) {
        PrintError("'" + options.job + "' is malformed at byte " +
                   std::to_string(decodeError.offset) + ": " + decodeError.message);
        return kExitFailed;
    }
    // The same faults 'fndl dump' names, found before any page is written.
    const std::vector<JobProblem> problems = CheckJobStructure(ops, bounds.end, false);
    size_t problemOffset = problems.empty() ? 0 : problems.front().offset;
    error = problems.empty() ? "" : problems.front().message;
    std::vector<RebuiltFont> fonts;
    if (!problems.empty() || !RebuildSoftFonts(ops, bounds.end, fonts, problemOffset, error)) {
        PrintError("'" + options.job + "' at byte " + std::to_string(problemOffset) + ": " + error);
        return kExitFailed;
    }
    const auto pages = static_cast<int>(std::count_if(
        ops.begin(), ops.end(), [](const XLOperation &op) { return op.op == xl::kOpBeginPage; }));
    if (options.onlyPage > pages) {
        PrintError("'" + options.job + "' has " + std::to_string(pages) + " page" +
                   (pages == 1 ? "" : "s") + ", no page " + std::to_string(options.onlyPage));
        return kExitFailed;
    }
    const int written = options.onlyPage ? 1 : pages;
    if (pageNumbers == 0 && written > 1)
        return UsageError("preview", "the job has " + std::to_string(pages) +
                                         " pages: give PATTERN a %d, or choose one with --page");

    Preview preview(options, fonts);
    if (FT_Init_FreeType(&preview.library) != 0) {
        PrintError("cannot start FreeType");
        return kExitFailed;
    }
    preview.faces.assign(fonts.size(), nullptr);
    bool done = true;
    for (const XLOperation &op : ops) {
        if (!Interpret(preview, op, error)) {
            PrintError(error);
            done = false;
            break;
        }
    }
    for (FT_Face face : preview.faces) {
        if (face)
            FT_Done_Face(face);
    }
    FT_Done_FreeType(preview.library);
    if (!done)
        return kExitFailed;

    for (const auto &[what, entry] : preview.notDrawn)
        PrintError("'" + options.job + "': not drawn: " + what + ", " +
                   std::to_string(entry.count) + (entry.count == 1 ? " time" : " times") +
                   ", first at byte " + std::to_string(entry.firstOffset));
    if (pages == 0)
        PrintError("'" + options.job + "' has no pages");
    if (options.pattern != "-") {
        for (const std::string &line : preview.written)
            std::printf("%s\n", line.c_str());
    }
    return kExitDone;
}
