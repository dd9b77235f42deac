// SPDX-License-Identifier: MIT
// The cover page's layout: the frame, the heading in the largest size that
// fits, the owner, the table of rows and fields in the largest type that
// holds them, the notices and the classification, each placed by its
// measured width.
#include "cover/coverlayout.h"

#include <algorithm>
#include <span>

#include "layout/bidi.h"
#include "fonts/fontruns.h"
#include "qorvfndl.h"

namespace coverpage {

namespace {

constexpr int kMaxHeadingLines = 3;

// Type sizes in tenths of a point.
constexpr long kClassificationSize = 360;
constexpr long kHeadingSizes[] = {280, 200, 160};
constexpr long kSubheadingSize = 200;
constexpr long kHeaderSize = 140;
// The table's type sizes, largest first: the first that fits is used.
constexpr long kTableSizes[] = {180, 160, 140, 125, kBodySize};
// The owner, to find one's job in a shared tray from across the room.
constexpr long kOwnerSize = 360;

// Places a line of text: its left end at x, or centred on centreX.
long Place(Cover &cover, Face face, long height, const std::u16string &text, long x, long baseline,
           bool centred)
{
    Drawing drawing;
    drawing.isText = true;
    drawing.text.face = face;
    drawing.text.height = height;
    long width = 0;
    drawing.text.runs = RunsOf(cover, face, height, text, width);
    drawing.text.x = centred ? x - width / 2 : x;
    drawing.text.baseline = baseline;
    if (!drawing.text.runs.empty())
        cover.drawings.push_back(std::move(drawing));
    return width;
}

void Rule(Cover &cover, long left, long right, long y, long thickness, uint8_t gray = 0)
{
    Drawing drawing;
    drawing.box = {left, y, right, y + std::max(1L, thickness)};
    drawing.gray = gray;
    cover.drawings.push_back(drawing);
}

void Frame(Cover &cover, const PageBox &box, long penWidth)
{
    Drawing drawing;
    drawing.box = box;
    drawing.penWidth = std::max(1L, penWidth);
    cover.drawings.push_back(drawing);
}

// Whether text runs right to left as one paragraph: FriBidi's direction
// from its first strong character, or the job's forced one.
bool RightToLeft(const Cover &cover, std::u16string_view text)
{
    std::u32string chars;
    for (size_t i = 0; i < text.size();) {
        size_t units = 1;
        chars += CodePointAt(text, i, units);
        i += units;
    }
    std::vector<uint8_t> levels;
    bool rightToLeft = false;
    BidiLevels(chars, cover.request.source.direction, levels, rightToLeft);
    return rightToLeft;
}

// The wrapped lines of text, each set in the direction of the whole text:
// a line whose own first strong character says otherwise (a left-to-right
// title whose second line starts with Hebrew) starts with the mark of the
// text's direction, so its runs keep the text's reading order.
std::vector<std::u16string> InTextDirection(const Cover &cover, const std::u16string &text,
                                            std::vector<std::u16string> lines)
{
    if (lines.size() < 2)
        return lines;
    const bool rightToLeft = RightToLeft(cover, text);
    for (std::u16string &line : lines) {
        if (RightToLeft(cover, line) != rightToLeft)
            line.insert(line.begin(), rightToLeft ? u'\u200F' : u'\u200E');
    }
    return lines;
}

// The lines of the heading in the largest size that needs at most three,
// the last cut with an ellipsis when even the smallest needs more.
std::vector<std::u16string> HeadingLines(Cover &cover, const std::u16string &heading, long width,
                                         long &size)
{
    std::vector<std::u16string> lines;
    for (const long candidate : kHeadingSizes) {
        size = candidate;
        lines = Wrap(cover, kBold, size, heading, width);
        if (lines.size() <= static_cast<size_t>(kMaxHeadingLines))
            return lines;
    }
    lines.resize(kMaxHeadingLines);
    std::u16string &last = lines.back();
    while (!last.empty() && WidthOf(cover, kBold, size, last + u"\u2026") > width) {
        last.pop_back();
        if (!last.empty() && last.back() >= 0xD800 && last.back() <= 0xDBFF)
            last.pop_back(); // with its low surrogate
    }
    last += u"\u2026";
    return lines;
}

// text on one line of width: whole when it fits, else cut with an ellipsis.
std::u16string OneLineCut(Cover &cover, Face face, long size, const std::u16string &text, long width)
{
    const std::vector<std::u16string> lines = Wrap(cover, face, size, text, width);
    if (lines.size() <= 1)
        return lines.empty() ? text : lines.front();
    std::u16string cut = lines.front();
    while (!cut.empty() && WidthOf(cover, face, size, cut + u"\u2026") > width) {
        cut.pop_back();
        if (!cut.empty() && cut.back() >= 0xD800 && cut.back() <= 0xDBFF)
            cut.pop_back(); // with its low surrogate
    }
    while (!cut.empty() && cut.back() == u' ')
        cut.pop_back();
    return cut + u"\u2026";
}

} // namespace

// Lays the page out into cover.drawings.
void LayOutCover(Cover &cover, const CoverSpec &spec)
{
    const Request &request = cover.request;
    const long pageWidth = PageWidth(request);
    const long pageHeight = PageHeight(request);
    // The frame lies inside the 12-point unprintable edge of most printers.
    const long inset = cover.Dots(24);
    const long pad = cover.Dots(18);
    const long left = inset + pad;
    const long right = pageWidth - inset - pad;
    // The library breaks lines at its right limit: no line is wider.
    const long lineWidth = std::min(right - left, static_cast<long>(request.call.limits.nRightLimit) - 1);
    const long centre = pageWidth / 2;
    const std::u16string classification = Units(spec.classification);

    Frame(cover, {inset, inset, pageWidth - inset, pageHeight - inset}, cover.Dots(2));
    Frame(cover, {inset + cover.Dots(4), inset + cover.Dots(4), pageWidth - inset - cover.Dots(4),
                  pageHeight - inset - cover.Dots(4)},
          cover.Dots(0.5));

    long y = inset + pad;
    long bottom = pageHeight - inset - pad;
    if (!classification.empty()) {
        y += cover.Dots(36);
        Place(cover, kBold, kClassificationSize, classification, centre, y, true);
        y += cover.Dots(14);
        Rule(cover, left, right, y, cover.Dots(1));
        Place(cover, kBold, kClassificationSize, classification, centre, bottom - cover.Dots(6), true);
        bottom -= cover.Dots(36 + 6 + 14);
        Rule(cover, left, right, bottom + cover.Dots(6), cover.Dots(1));
    }
    if (!spec.footer.empty()) {
        const std::u16string footer = Units(spec.footer);
        Place(cover, kRegular, kBodySize, footer, centre, bottom - cover.Dots(4), true);
        bottom -= cover.Dots(20);
    }

    // The heading: the title (or "Cover Page"), the classification again,
    // the banner's header line.
    long headingSize = kHeadingSizes[0];
    const std::u16string heading = Units(spec.heading.empty() ? "Cover Page" : spec.heading);
    y += cover.Dots(18);
    for (const std::u16string &line :
         InTextDirection(cover, heading, HeadingLines(cover, heading, lineWidth, headingSize))) {
        y += cover.Dots(static_cast<double>(headingSize) * 1.15 / 10);
        Place(cover, kBold, headingSize, line, centre, y, true);
    }
    if (!spec.owner.empty()) {
        y += cover.Dots(static_cast<double>(kOwnerSize) * 1.2 / 10);
        Place(cover, kBold, kOwnerSize, OneLineCut(cover, kBold, kOwnerSize, Units(spec.owner), lineWidth),
              centre, y, true);
    }
    if (!classification.empty()) {
        y += cover.Dots(28);
        Place(cover, kBold, kSubheadingSize, classification, centre, y, true);
    }
    if (!spec.header.empty()) {
        const std::u16string header = Units(spec.header);
        for (const std::u16string &line :
             InTextDirection(cover, header, Wrap(cover, kRegular, kHeaderSize, header, lineWidth))) {
            y += cover.Dots(20);
            Place(cover, kRegular, kHeaderSize, line, centre, y, true);
        }
    }
    y += cover.Dots(16);
    Rule(cover, left, right, y, cover.Dots(1.5));
    y += cover.Dots(10);

    // The facts and the form's fields: labels in bold, values beside them,
    // then the notices; in the largest type that fills the page without
    // running off it, so that a short table is read from further away.
    long wrapped = 0; // lines the rows wrap into beyond their first, values cut
    // Rows past the page's end are left out, and said so once.
    size_t leftOut = 0;
    std::string firstLeftOut;
    const auto table = [&](long size, long top, bool place) {
        wrapped = 0;
        leftOut = 0;
        const auto leaveOut = [&](const std::string &label, size_t rest) {
            leftOut = rest;
            firstLeftOut = label;
            return bottom + 1; // the page ends: the rest would run off it
        };
        const double scale = static_cast<double>(size) / static_cast<double>(kBodySize);
        const auto step = [&](double points) { return cover.Dots(points * scale); };
        long y = top;
        long labelWidth = 0;
        for (const auto &rows : {spec.rows, spec.fields}) {
            for (const auto &[label, value] : rows)
                labelWidth = std::max(labelWidth, WidthOf(cover, kBold, size, Units(label)));
        }
        labelWidth = std::min(labelWidth, (right - left) * 2 / 5);
        const long valueX = left + labelWidth + cover.Dots(14);
        const long valueWidth = std::max(cover.Dots(36), std::min(right - valueX, lineWidth - (valueX - left)));
        const long lineStep = step(14);
        for (size_t row = 0; row < spec.rows.size(); ++row) {
            const auto &[label, value] = spec.rows[row];
            const std::u16string labelText = Units(label);
            const std::u16string valueText = Units(value.empty() ? "\xE2\x80\x94" : value);
            const std::vector<std::u16string> labelLines =
                InTextDirection(cover, labelText, Wrap(cover, kBold, size, labelText, labelWidth));
            const std::vector<std::u16string> valueLines =
                InTextDirection(cover, valueText, Wrap(cover, kRegular, size, valueText, valueWidth));
            const long lines = static_cast<long>(std::max(labelLines.size(), valueLines.size()));
            wrapped += lines - 1;
            if (y + lines * lineStep + step(8) > bottom)
                return leaveOut(label, spec.rows.size() - row + spec.fields.size());
            long line = y + step(13);
            for (const std::u16string &text : labelLines) {
                if (place)
                    Place(cover, kBold, size, text, left, line, false);
                line += lineStep;
            }
            line = y + step(13);
            for (const std::u16string &text : valueLines) {
                if (place)
                    Place(cover, kRegular, size, text, valueX, line, false);
                line += lineStep;
            }
            y += lines * lineStep + step(6);
            if (place)
                Rule(cover, left, right, y, cover.Dots(0.5), 160);
        }
        for (size_t field = 0; field < spec.fields.size(); ++field) {
            const auto &[label, value] = spec.fields[field];
            if (y + step(30) > bottom)
                return leaveOut(label, spec.fields.size() - field);
            y += step(26);
            if (!value.empty() &&
                WidthOf(cover, kRegular, size, Units(value)) > right - valueX - cover.Dots(4))
                ++wrapped; // cut with an ellipsis
            if (!place)
                continue;
            Place(cover, kBold, size, Units(label), left, y, false);
            if (!value.empty()) {
                const std::u16string shown =
                    OneLineCut(cover, kRegular, size, Units(value), right - valueX - cover.Dots(4));
                Place(cover, kRegular, size, shown, valueX + cover.Dots(4), y - step(2), false);
            }
            Rule(cover, valueX, right, y + step(3), cover.Dots(0.75));
        }
        y += step(8);
        for (const std::string &notice : spec.notices) {
            const std::u16string noticeText = Units(notice);
            for (const std::u16string &line :
                 InTextDirection(cover, noticeText, Wrap(cover, kRegular, size, noticeText, lineWidth))) {
                if (y + lineStep > bottom)
                    return bottom + 1;
                y += lineStep;
                if (place)
                    Place(cover, kRegular, size, line, left, y, false);
            }
            y += step(4);
        }
        return y;
    };
    // A larger type that would wrap a row or cut a value the smallest keeps
    // whole is not taken: a table reads best a row a line.
    table(kBodySize, y, false);
    const long wrappedAtBody = wrapped;
    long bodySize = kBodySize;
    for (const long size : kTableSizes) {
        if (table(size, y, false) <= bottom && wrapped <= wrappedAtBody) {
            bodySize = size;
            break;
        }
    }
    // The smallest type places what fits and leaves out the rest.
    table(bodySize, y, true);
    if (leftOut > 0)
        PrintError(std::to_string(leftOut) +
                   (leftOut == 1 ? " row of the cover page does" : " rows of the cover page do") +
                   " not fit on it, from '" + firstLeftOut + "' on: left out");
}

std::u16string Units(const std::string &utf8)
{
    std::u16string units;
    size_t bad = 0;
    Utf8ToUtf16(utf8, units, bad);
    return units;
}

} // namespace coverpage
