// SPDX-License-Identifier: MIT
// fndl preview's page interpreter: runs a job's operators over page rasters
// within a pixel budget, and the media of a page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "inspect/preview.h"
#include "inspect/softfontwalk.h"
#include "xldecode/xldecode.h"

// A page's media in inches, turned by its orientation.
struct PageMedia {
    double width = 8.5;
    double height = 11;
    bool halfTurn = false; // reverse portrait or reverse landscape
};
enum class MediaCheck : uint8_t { Known, Unknown, TooLarge };
// The media of a BeginPage: its MediaSize (code or name) or
// CustomMediaSize, Letter when neither is known here (Unknown), nothing
// when a custom size is beyond any paper (TooLarge).
MediaCheck ReadPageMedia(const XLOperation &op, PageMedia &media);

// The first of an operation's attribute's numbers, when it has count of them
// (count 0: any).
const std::vector<double> *Numbers(const XLOperation &op, uint16_t id, size_t count);
std::optional<double> Number(const XLOperation &op, uint16_t id);

// A GrayLevel or RGBColor as a gray byte, 0 black.
std::optional<uint8_t> ColorOf(const XLOperation &op);

// What could not be drawn, by kind: how often, and where first.
struct NotDrawn {
    size_t count = 0;
    size_t firstOffset = 0;
};

struct PageSettings {
    long dpi = 100;
    long onlyPage = 0; // 0: every page
    // Pixels the whole job may make: its pages' rasters, the glyph bitmaps
    // and the painted rectangles together (and its rebuilt fonts' bytes).
    double pixelBudget = 0;
};

// Takes each drawn page with its number; false with an error stops.
using PageSink = std::function<bool(const PreviewPage &page, int number, std::string &error)>;

// Draws the pages of a job whose structure and soft fonts were read sound
// (fonts: its fonts walked with rebuild set, in the order of their headers),
// numbered across the job's streams. False with the error: an output
// failure, or a job that asks for more than the pixel budget.
bool DrawPages(std::span<const uint8_t> job, const std::vector<SoftFontInJob> &fonts,
               const PageSettings &settings, const PageSink &sink,
               std::map<std::string, NotDrawn> &notDrawn, std::string &error);
