// SPDX-License-Identifier: MIT
// The state of 'fndl preview's page interpreter while it runs a job: the
// graphics state, the fonts as FreeType faces, the page being drawn and the
// pixel budget, shared by the interpreter (previewpage.cpp) and its Text
// (previewtext.cpp).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "inspect/previewpage.h"

namespace xlpreview {

inline constexpr uint8_t kBlack = 0;

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

// SetFont: the soft font of the job it names, and the size.
void SetFont(Preview &preview, const XLOperation &op);
// Text: each character drawn in the selected soft font at the cursor, the
// cursor moved by the spacing data or the glyph's advance. False with the
// error once the budget is spent; what cannot be drawn is noted.
bool Text(Preview &preview, const XLOperation &op, std::string &error);

} // namespace xlpreview
