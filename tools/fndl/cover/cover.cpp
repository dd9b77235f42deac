// SPDX-License-Identifier: MIT
// The cover page: laid out first, with every string measured by the
// library's own advances (asked of it before anything is written), then
// drawn: the frame and rules as PCL XL
// rectangles, each text at its place with the page origin moved there, so
// that the library's line and page limits never cut it.
#include "cover/cover.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <span>

#include "layout/bidi.h"
#include "cover/covermeasure.h"
#include "fonts/fontruns.h"
#include "fonts/fonts.h"
#include "layout/framing.h"
#include "layout/librarycall.h"
#include "qorvfndl.h"

namespace {

using namespace coverpage;

constexpr int kBoldFontIds = 1000; // the bold face's font ids follow the regular's by this
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

std::u16string Units(const std::string &utf8)
{
    std::u16string units;
    size_t bad = 0;
    Utf8ToUtf16(utf8, units, bad);
    return units;
}

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
    BidiLevels(chars, cover.request.direction, levels, rightToLeft);
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
    const long lineWidth = std::min(right - left, static_cast<long>(request.limits.nRightLimit) - 1);
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

// Sets a shaped run through the glyph call, in pieces the call takes; a
// glyph the font cannot give is set as glyph 0 (its missing-glyph box).
bool DrawGlyphs(const Request &style, const JobFont &font, const Run &run, long left,
                long baseline, JobOutput &output)
{
    std::vector<FNDL_GLYPH> glyphs = run.glyphs;
    long x = left + run.x;
    for (size_t pos = 0; pos < glyphs.size();) {
        const std::span<FNDL_GLYPH> piece(glyphs.data() + pos,
                                          std::min<size_t>(FNDL_MAX_GLYPH_RUN, glyphs.size() - pos));
        SetCursor(x, baseline);
        const GlyphRunResult result = CallGlyphRun(style, font, piece, output.workPath);
        const auto stop = static_cast<size_t>(std::max(result.stopIndex, 0));
        if (result.code == FNDL_INVALID_GLYPH_HANDLE && stop < piece.size() &&
            piece[stop].nGlyph != 0) {
            piece[stop].nGlyph = 0;
            continue;
        }
        if (result.code != FNDL_OK) {
            PrintDownloadFailure(style, font, output.workPath, WorkFileProblem(output));
            return false;
        }
        std::string reason;
        if (!CountAppended(output, reason)) {
            PrintError("cannot write the job: " + reason);
            return false;
        }
        for (const FNDL_GLYPH &glyph : piece)
            x += glyph.nAdvance;
        pos += piece.size();
    }
    return true;
}

// Draws one placed text: the page origin moved to the line, each run set
// by one library call (a shaped run by one glyph call a piece).
bool DrawText(Cover &cover, const PlacedText &text, JobOutput &output)
{
    const Request style = StyleRequest(cover.request, text.face, text.height);
    const long em = CharacterSizeInDots(static_cast<int>(text.height), static_cast<int>(style.resolution));
    // The library clips at its page box, which the moved origin moves too:
    // a shaped line, whose marks may stack above the em or reach left of
    // its start, gets an em of room above and to the left.
    const bool shaped = std::any_of(text.runs.begin(), text.runs.end(),
                                    [](const Run &run) { return !run.glyphs.empty(); });
    const long room = shaped ? em : 0;
    std::vector<uint8_t> bytes;
    PutMovedOrigin(bytes, text.x - room, text.baseline - em - room);
    if (!AppendToOutput(output, bytes))
        return false;
    for (const Run &run : text.runs) {
        const JobFont &font = cover.faces[text.face].fonts[static_cast<size_t>(run.font)];
        if (!run.glyphs.empty()) {
            if (!DrawGlyphs(style, font, run, room, em + room, output))
                return false;
            continue;
        }
        SetCursor(run.x, em);
        const CallResult result = CallDownload(style, font, run.text, 0, output.workPath);
        std::string reason;
        if (result.code != FNDL_OK) {
            PrintDownloadFailure(style, font, output.workPath, WorkFileProblem(output));
            return false;
        }
        if (!CountAppended(output, reason)) {
            PrintError("cannot write the job: " + reason);
            return false;
        }
    }
    bytes.clear();
    PutRestoredOrigin(bytes);
    return AppendToOutput(output, bytes);
}

// Counts the characters of the page's texts that no font prints (set as a
// replacement) and says so in one line, as text jobs do. Returns the count.
long ReportUnprintable(Cover &cover, const CoverSpec &spec)
{
    std::vector<std::string> texts{spec.heading, spec.owner, spec.classification, spec.header, spec.footer};
    for (const auto &rows : {spec.rows, spec.fields}) {
        for (const auto &[label, value] : rows)
            texts.insert(texts.end(), {label, value});
    }
    texts.insert(texts.end(), spec.notices.begin(), spec.notices.end());
    JobFonts &fonts = cover.faces[kRegular];
    long count = 0;
    char32_t first = 0;
    for (const std::string &text : texts) {
        const std::u16string units = Units(text);
        for (size_t i = 0; i < units.size();) {
            size_t length = 1;
            const char32_t c = CodePointAt(units, i, length);
            if (c != kTabChar && c != kFormFeed && !IsInvisible(c) &&
                FontForChar(fonts, c, kLeftOut) < 0) {
                first = count == 0 ? c : first;
                ++count;
            }
            i += length;
        }
    }
    if (count > 0)
        PrintError(std::to_string(count) + (count == 1 ? " character" : " characters") +
                   " of the cover page " +
                   (fonts.fallback ? "no installed font can print"
                                   : fonts.fonts.front().face.family + " cannot print") +
                   ", first " + CodePointName(first) + "; printed as " +
                   ReplacementName(fonts, ChooseReplacement(fonts)));
    return count;
}

bool ChooseFaces(Cover &cover)
{
    const Request &request = cover.request;
    for (const Face face : {kRegular, kBold}) {
        JobFonts &fonts = cover.faces[face];
        JobFont main;
        fonts.fallback = request.fallback;
        if (!ChooseMainFace(request.font, request.fromFile,
                            static_cast<int>(request.fontId) + (face == kBold ? kBoldFontIds : 0),
                            face == kBold ? kWeightBold : request.weight, false, fonts, main))
            return false;
        fonts.fonts.push_back(std::move(main));
    }
    return true;
}

} // namespace

bool ReadCoverSpec(const std::string &path, CoverSpec &spec, std::string &error)
{
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes, error))
        return false;
    const std::string text(bytes.begin(), bytes.end());
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        const size_t tab = line.find('\t');
        if (line.empty())
            continue;
        if (tab == std::string::npos) {
            error = "a line without a tab: " + Quoted(line);
            return false;
        }
        const std::string kind = line.substr(0, tab);
        const std::string value = line.substr(tab + 1);
        const size_t second = value.find('\t');
        const auto pair = [&] {
            return std::pair{value.substr(0, second),
                             second == std::string::npos ? std::string() : value.substr(second + 1)};
        };
        if (kind == "heading")
            spec.heading = value;
        else if (kind == "owner")
            spec.owner = value;
        else if (kind == "classification")
            spec.classification = value;
        else if (kind == "header")
            spec.header = value;
        else if (kind == "footer")
            spec.footer = value;
        else if (kind == "notice")
            spec.notices.push_back(value);
        else if (kind == "row")
            spec.rows.push_back(pair());
        else if (kind == "field")
            spec.fields.push_back(pair());
        else {
            error = "unknown part " + Quoted(kind) +
                    " (heading, owner, classification, header, footer, notice, row, field)";
            return false;
        }
    }
    std::u16string units;
    size_t bad = 0;
    if (!Utf8ToUtf16(text, units, bad)) {
        error = "not UTF-8 at byte " + std::to_string(bad);
        return false;
    }
    return true;
}

int WriteCover(const Request &request, const CoverSpec &spec, JobOutput &output)
{
    Cover cover{.request = request};
    if (!ChooseFaces(cover))
        return kExitFailed;
    // The cover page places everything from the page's corner itself, measured and drawn with
    // the library's own page limits.
    if (!UsePageBox(Request{})) {
        PrintError("the library did not take its own page limits back");
        return kExitFailed;
    }

    LayOutCover(cover, spec);
    if (cover.failed)
        return kExitFailed;
    // After the layout, whose order of finding fallback fonts gives their
    // font ids.
    if (ReportUnprintable(cover, spec) > 0 && request.strict) {
        PrintError("--strict: the job is not written");
        return kExitFailed;
    }
    std::vector<uint8_t> bytes = JobStart(request);
    PutPageStart(bytes, request, 1);
    if (!AppendToOutput(output, bytes))
        return kExitFailed;
    for (const Drawing &drawing : cover.drawings) {
        if (drawing.isText) {
            if (!DrawText(cover, drawing.text, output))
                return kExitFailed;
            continue;
        }
        bytes.clear();
        PutRectangle(bytes, drawing.box, drawing.penWidth, drawing.gray);
        if (!AppendToOutput(output, bytes))
            return kExitFailed;
    }
    bytes.clear();
    PutPageEnd(bytes);
    if (!AppendToOutput(output, bytes) || !AppendToOutput(output, JobEnd(request)) ||
        !StreamOut(output))
        return kExitFailed;
    if (request.pageLog)
        std::fprintf(stderr, "PAGE: 1 %ld\n", request.copies);
    if (!FinishJobOutput(output))
        return kExitFailed;
    PrintNote((request.output == "-" ? std::string("standard output") : request.output) +
              ": cover page, " + std::to_string(JobBytes(output)) + " bytes");
    return kExitDone;
}
