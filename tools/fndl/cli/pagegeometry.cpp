// SPDX-License-Identifier: MIT
// The paper and the page geometry: media sizes with their PCL XL codes,
// orientations, page selection, and the page box from the
// page margins and columns.
#include <algorithm>
#include <cmath>
#include <climits>
#include <cstdio>

#include "cli/requestparts.h"

namespace {

constexpr long kPointsPerInch = 72;
constexpr long kMilsPerInch = 1000;
constexpr double kMarginLimit = 1000; // points, as texttopdf reads them

// The PCL XL MediaSize codes: Letter 0, Legal 1, A4 2, Executive 3,
// Ledger (11 x 17 in) 4, A3 5, JIS B5 11, A5 16.
constexpr PaperSize kPapers[] = {
    {"A4", 2, 8268, 11693},       {"Letter", 0, 8500, 11000}, {"Legal", 1, 8500, 14000},
    {"A5", 16, 5827, 8268},       {"A3", 5, 11693, 16535},    {"B5", 11, 7165, 10118},
    {"Executive", 3, 7250, 10500}, {"Tabloid", 4, 11000, 17000},
};

// Other names of the same sizes: IPP media names start with these, and the
// PPD keywords of CUPS are the names above.
struct PaperAlias {
    const char *prefix;
    const char *paper;
};
constexpr PaperAlias kAliases[] = {
    {"iso_a4_", "A4"},         {"na_letter_", "Letter"},  {"na_legal_", "Legal"},
    {"iso_a5_", "A5"},         {"iso_a3_", "A3"},         {"jis_b5_", "B5"},
    {"na_executive_", "Executive"}, {"na_ledger_", "Tabloid"}, {"ledger", "Tabloid"},
    {"11x17", "Tabloid"},      {"exec", "Executive"},
};

long Dots(long mils, long resolution)
{
    return mils * resolution / kMilsPerInch;
}

// "1-3,7,9-" into ranges; false when it is not that.
bool ParseRanges(const std::string &text, std::vector<std::pair<long, long>> &ranges)
{
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find(',', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string part = text.substr(at, end - at);
        long first = 0;
        long last = 0;
        int used = 0;
        if (std::sscanf(part.c_str(), "%ld-%ld%n", &first, &last, &used) == 2 &&
            static_cast<size_t>(used) == part.size()) {
        } else if (std::sscanf(part.c_str(), "%ld-%n", &first, &used) == 1 &&
                   static_cast<size_t>(used) == part.size()) {
            last = LONG_MAX;
        } else if (std::sscanf(part.c_str(), "-%ld%n", &last, &used) == 1 &&
                   static_cast<size_t>(used) == part.size()) {
            first = 1;
        } else if (std::sscanf(part.c_str(), "%ld%n", &first, &used) == 1 &&
                   static_cast<size_t>(used) == part.size()) {
            last = first;
        } else {
            return false;
        }
        if (first < 1 || last < first)
            return false;
        ranges.emplace_back(first, last);
        at = end + 1;
    }
    return !ranges.empty();
}

// The paper, orientation, page selection and number-up. Returns an exit
// code, or -1.
int ReadPaper(const ParsedArgs &parsed, const CommandKind &kind, Request &request)
{
    request.page.paper = &kPapers[0];
    if (parsed.Has("--media")) {
        // CUPS's media may list a size with a type and a source: "A4,Plain".
        const std::string &media = parsed.Get("--media");
        request.page.paper = nullptr;
        for (size_t at = 0; at <= media.size() && !request.page.paper;) {
            const size_t end = std::min(media.find(',', at), media.size());
            request.page.paper = PaperNamed(std::string_view(media).substr(at, end - at));
            at = end + 1;
        }
        if (!request.page.paper)
            return UsageError(kind.name, "--media: the printer cannot be told the paper '" +
                                             parsed.Get("--media") +
                                             "'; give A4, Letter, Legal, A5, A3, B5, Executive "
                                             "or Tabloid");
    }
    if (!kind.takesJob)
        return -1;
    if (parsed.Has("--orientation")) {
        const std::string name = AsciiLower(parsed.Get("--orientation"));
        if (name == "portrait")
            request.page.orientation = Orientation::Portrait;
        else if (name == "landscape")
            request.page.orientation = Orientation::Landscape;
        else if (name == "reverse-portrait")
            request.page.orientation = Orientation::ReversePortrait;
        else if (name == "reverse-landscape")
            request.page.orientation = Orientation::ReverseLandscape;
        else
            return UsageError(kind.name, "--orientation wants portrait, landscape, "
                                         "reverse-portrait or reverse-landscape, not '" +
                                             parsed.Get("--orientation") + "'");
        if (parsed.Has("--landscape") && request.page.orientation != Orientation::Landscape)
            return UsageError(kind.name, "give --landscape or --orientation, not both");
    } else if (parsed.Has("--landscape")) {
        request.page.orientation = Orientation::Landscape;
    }
    request.page.landscape = request.page.orientation == Orientation::Landscape ||
                        request.page.orientation == Orientation::ReverseLandscape;
    std::string error;
    // A value the option does not take fails the command; with --clamp (the
    // CUPS filter's text options) it is left out with a warning instead and
    // the option keeps its default.
    const auto refuse = [&](const std::string &message) {
        if (!request.settings.clamp)
            return UsageError(kind.name, message);
        PrintError(message + ": ignored");
        return -1;
    };
    if (parsed.Has("--page-ranges") && !ParseRanges(parsed.Get("--page-ranges"), request.page.pages.ranges)) {
        request.page.pages.ranges.clear();
        if (const int exitCode = refuse("--page-ranges wants pages and ranges such as 1-3,7,9-, not '" +
                                        parsed.Get("--page-ranges") + "'");
            exitCode >= 0)
            return exitCode;
    }
    if (parsed.Has("--page-set")) {
        const std::string set = AsciiLower(parsed.Get("--page-set"));
        if (set == "odd" || set == "even") {
            request.page.pages.odd = set == "odd";
            request.page.pages.even = set == "even";
        } else if (set != "all") {
            if (const int exitCode =
                    refuse("--page-set wants all, odd or even, not '" + parsed.Get("--page-set") + "'");
                exitCode >= 0)
                return exitCode;
        }
    }
    if (parsed.Has("--number-up")) {
        if (!ParseNumber("--number-up", parsed.Get("--number-up"), 1, 4, request.page.numberUp, error) ||
            request.page.numberUp == 3) {
            request.page.numberUp = 1;
            if (const int exitCode =
                    refuse("--number-up wants 1, 2 or 4, not '" + parsed.Get("--number-up") + "'");
                exitCode >= 0)
                return exitCode;
        }
    }
    if (parsed.Has("--number-up-layout")) {
        const std::string layout = AsciiLower(parsed.Get("--number-up-layout"));
        static constexpr const char *kLayouts[] = {"lrtb", "lrbt", "rltb", "rlbt",
                                                   "tblr", "tbrl", "btlr", "btrl"};
        if (std::find(std::begin(kLayouts), std::end(kLayouts), layout) != std::end(kLayouts))
            request.page.numberUpLayout = layout;
        else if (const int exitCode = refuse("--number-up-layout wants lrtb, lrbt, rltb, rlbt, tblr, "
                                             "tbrl, btlr or btrl, not '" +
                                             parsed.Get("--number-up-layout") + "'");
                 exitCode >= 0)
            return exitCode;
    }
    if (parsed.Has("--columns") &&
        !ParseNumber("--columns", parsed.Get("--columns"), 1, 16, request.page.columns, error)) {
        request.page.columns = 1;
        if (const int exitCode = refuse(error); exitCode >= 0)
            return exitCode;
    }
    return -1;
}

} // namespace

std::span<const PaperSize> PaperSizes()
{
    return kPapers;
}

const PaperSize *PaperNamed(std::string_view name)
{
    std::string lower = AsciiLower(name);
    // PPD keywords may carry a variant: "A4.Fullbleed".
    if (const size_t dot = lower.find('.'); dot != std::string::npos && !lower.starts_with("na_") &&
                                            !lower.starts_with("iso_") && !lower.starts_with("jis_"))
        lower.erase(dot);
    for (const PaperSize &paper : kPapers) {
        if (lower == AsciiLower(paper.name))
            return &paper;
    }
    for (const PaperAlias &alias : kAliases) {
        const std::string prefix = alias.prefix;
        if (prefix.ends_with('_') ? lower.starts_with(prefix) : lower == prefix)
            return PaperNamed(alias.paper);
    }
    return nullptr;
}

bool PageSelection::Selects(long page) const
{
    if (!(page % 2 == 1 ? odd : even))
        return false;
    if (ranges.empty())
        return true;
    return std::any_of(ranges.begin(), ranges.end(),
                       [page](const auto &range) { return page >= range.first && page <= range.second; });
}

int ReadPageGeometry(const ParsedArgs &parsed, const CommandKind &kind, Request &request)
{
    if (const int exitCode = ReadPaper(parsed, kind, request); exitCode >= 0 || !kind.takesJob)
        return exitCode;
    struct MarginOption {
        const char *name;
        double points;
    };
    MarginOption margins[] = {
        {"--page-left", -1}, {"--page-right", -1}, {"--page-top", -1}, {"--page-bottom", -1}};
    std::string error;
    bool marginsGiven = false;
    for (MarginOption &margin : margins) {
        if (!parsed.Has(margin.name))
            continue;
        marginsGiven = true;
        if (request.settings.clamp)
            margin.points = ClampedDecimal(margin.name, parsed.Get(margin.name), 0, kMarginLimit)
                                .value_or(-1); // no number: the default margin
        else if (!ParseDecimal(margin.name, parsed.Get(margin.name), 0, kMarginLimit, margin.points,
                               error))
            return UsageError(kind.name, error);
    }
    // The page is laid out on the paper when anything about the paper is
    // asked; otherwise in the library's own page box, as before.
    if (!marginsGiven && request.page.orientation == Orientation::Portrait && !parsed.Has("--media") &&
        request.page.columns == 1 && request.page.numberUp == 1)
        return -1;
    if (parsed.Has("--cursor") || parsed.Has("--margin"))
        return UsageError(kind.name, "--cursor and --margin place text in device units; with "
                                     "--media, --page-* margins, orientations, columns or "
                                     "number-up leave them out");
    const long resolution = request.call.resolution;
    const auto dots = [resolution](double points) {
        return std::lround(points * static_cast<double>(resolution) / kPointsPerInch);
    };
    const long width = PageWidth(request);
    const long height = PageHeight(request);
    const long defaultMargin = resolution / 2; // half an inch
    long left = margins[0].points < 0 ? defaultMargin : dots(margins[0].points);
    long right = margins[1].points < 0 ? defaultMargin : dots(margins[1].points);
    long top = margins[2].points < 0 ? defaultMargin : dots(margins[2].points);
    long bottom = margins[3].points < 0 ? defaultMargin : dots(margins[3].points);
    const long size = request.call.characterSize;
    // A line takes the character size: four fifths above the baseline, a
    // fifth below, so that a page holds as many lines as the text area has
    // line pitches (as texttopdf counts them).
    const long descent = size / 5;
    // At least an inch of line, and a line of text and one more below it.
    const long minWidth = std::min(width, resolution);
    const long minHeight = std::min(height, size + descent + request.call.lineSpacing);
    const auto fit = [&](long &first, long &second, long room, const char *what) {
        if (first + second <= room)
            return true;
        if (!request.settings.clamp)
            return false;
        const double scale = static_cast<double>(room) / static_cast<double>(first + second);
        first = static_cast<long>(static_cast<double>(first) * scale);
        second = static_cast<long>(static_cast<double>(second) * scale);
        PrintError(std::string("the ") + what +
                   " page margins leave no room for text: they are made smaller");
        return true;
    };
    if (!fit(left, right, width - minWidth, "left and right") ||
        !fit(top, bottom, height - minHeight, "top and bottom"))
        return UsageError(kind.name, "the page margins leave no room for a line of text");
    const long textRight = width - right;
    const long lowest = height - bottom - descent;
    if (textRight <= left || top + size - descent > lowest)
        return UsageError(kind.name, "the page margins leave no room for a line of text");

    // Columns share the width, a quarter inch apart.
    long lineWidth = textRight - left;
    if (request.page.columns > 1) {
        request.page.columnGap = resolution / 4;
        const auto widthOf = [&](long columns) {
            return (lineWidth - request.page.columnGap * (columns - 1)) / columns;
        };
        if (widthOf(request.page.columns) < resolution / 2) {
            if (!request.settings.clamp)
                return UsageError(kind.name, std::to_string(request.page.columns) +
                                                 " columns do not fit between the page margins");
            // As many columns of at least half an inch as fit.
            const long asked = request.page.columns;
            while (request.page.columns > 1 && widthOf(request.page.columns) < resolution / 2)
                --request.page.columns;
            PrintError(std::to_string(asked) + " columns do not fit between the page margins: " +
                       std::to_string(request.page.columns) + " used");
        }
        if (request.page.columns > 1) {
            request.page.columnWidth = widthOf(request.page.columns);
            lineWidth = request.page.columnWidth;
        } else {
            request.page.columnGap = 0;
        }
    }
    // The library's page box: lines break at the text area's right edge
    // (the first column's; the others are the first moved across), pages
    // end at its lowest baseline, and the clip box is the paper (the
    // column, with columns).
    if (width > INT16_MAX || height > INT16_MAX)
        return UsageError(kind.name, "the page is too large at this resolution");
    request.call.box.nRightLimit = static_cast<int>(left + lineWidth);
    request.call.box.nBottomLimit = static_cast<int>(lowest);
    request.call.box.nClipLeft = 0;
    request.call.box.nClipTop = 0;
    request.call.box.nClipRight = static_cast<int>(
        request.page.columns > 1 ? left + lineWidth + request.page.columnGap / 2 : width);
    request.call.box.nClipBottom = static_cast<int>(height);
    request.call.hasBox = true;
    request.call.limits = {request.call.box.nRightLimit, request.call.box.nBottomLimit, request.call.box.nClipRight,
                      request.call.box.nClipBottom, request.call.box.nClipLeft, request.call.box.nClipTop};
    request.call.margin = left;
    request.page.cursorX = left;
    request.page.cursorY = top + size - descent;
    return -1;
}

long PageWidth(const Request &request)
{
    const PaperSize &paper = request.page.paper ? *request.page.paper : kPapers[0];
    return Dots(request.page.landscape ? paper.heightMils : paper.widthMils, request.call.resolution);
}

long PageHeight(const Request &request)
{
    const PaperSize &paper = request.page.paper ? *request.page.paper : kPapers[0];
    return Dots(request.page.landscape ? paper.widthMils : paper.heightMils, request.call.resolution);
}
