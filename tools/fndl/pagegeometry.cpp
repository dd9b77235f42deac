// SPDX-License-Identifier: MIT
// The paper and the page geometry: media sizes, and the text area and page
// origin from the page margins and the orientation.
#include <algorithm>
#include <cmath>

#include "requestparts.h"

namespace {

constexpr long kPointsPerInch = 72;

long Rounded(double value)
{
    return std::lround(value);
}

} // namespace

int ReadPageGeometry(const ParsedArgs &parsed, const CommandKind &kind, Request &request)
{
    struct MarginOption {
        const char *name;
        double points;
    };
    MarginOption margins[] = {
        {"--page-left", -1}, {"--page-right", -1}, {"--page-top", -1}, {"--page-bottom", -1}};
    std::string error;
    for (MarginOption &margin : margins) {
        if (parsed.Has(margin.name)) {
            if (!ParseDecimal(margin.name, parsed.Get(margin.name), 0, 1000, margin.points, error))
                return UsageError(kind.name, error);
            request.movesOrigin = true;
        }
    }
    request.landscape = parsed.Has("--landscape");
    request.movesOrigin = request.movesOrigin || request.landscape;
    if (!request.movesOrigin)
        return -1;
    if (parsed.Has("--cursor") || parsed.Has("--margin"))
        return UsageError(kind.name, "--cursor and --margin place text in device units; with "
                                     "--page-* margins or --landscape leave them out");
    const auto dots = [&request](double points, long fallback) {
        return points < 0 ? fallback : Rounded(points * static_cast<double>(request.resolution) /
                                               kPointsPerInch);
    };
    const long defaultMargin = request.resolution / 2; // half an inch
    const long left = dots(margins[0].points, defaultMargin);
    const long right = PageWidth(request) - dots(margins[1].points, defaultMargin);
    const long top = dots(margins[2].points, defaultMargin);
    const long size = request.characterSize;
    // Descenders stay above the bottom margin.
    const long lowest = PageHeight(request) - dots(margins[3].points, defaultMargin) - size / 4;
    if (right <= left || top + size > lowest)
        return UsageError(kind.name, "the page margins leave no room for a line of text");
    request.originX = std::min(right - request.limits.nRightLimit, left);
    request.originY = std::min(lowest - request.limits.nBottomLimit, top);
    if (request.originX < INT16_MIN || request.originX > INT16_MAX ||
        request.originY < INT16_MIN || request.originY > INT16_MAX)
        return UsageError(kind.name, "the page is too large at this resolution");
    request.margin = left - request.originX;
    request.cursorX = request.margin;
    request.cursorY = top + size - request.originY;
    return -1;
}

uint8_t MediaSizeCode(Media media)
{
    // PCL XL MediaSize: Letter 0, Legal 1, A4 2.
    return media == Media::A4 ? 2 : media == Media::Legal ? 1 : 0;
}

namespace {

// Width and height in thousandths of an inch, portrait.
void MediaMils(Media media, long &width, long &height)
{
    width = media == Media::A4 ? 8268 : 8500;
    height = media == Media::A4 ? 11693 : media == Media::Legal ? 14000 : 11000;
}

} // namespace

long PageWidth(const Request &request)
{
    long width = 0;
    long height = 0;
    MediaMils(request.media, width, height);
    return (request.landscape ? height : width) * request.resolution / 1000;
}

long PageHeight(const Request &request)
{
    long width = 0;
    long height = 0;
    MediaMils(request.media, width, height);
    return (request.landscape ? width : height) * request.resolution / 1000;
}

