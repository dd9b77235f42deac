// SPDX-License-Identifier: MIT
// Paragraphs that need shaping or bidirectional order: lines broken on the
// logical text, measured by shaped advances; each line's runs (one font,
// embedding level and script) put in visual order and set from the left,
// right-to-left paragraphs flush right. A run whose shaped glyphs are the
// cmap's goes through the library's text call, as unshaped text does;
// every other run through its glyph call.
#include <algorithm>
#include <map>
#include <span>
#include <string>
#include <tuple>
#include <unordered_set>

#include "layout/bidi.h"
#include "fonts/fontruns.h"
#include "layout/framing.h"
#include "layout/layoutstate.h"
#include "layout/librarycall.h"
#include "layout/linebreak.h"
#include "qorvfndl.h"

namespace {

// Fonts, replacements, levels, runs and advances of one stretch of text.
// The advances the library's text call gives characters, by font and
// character at the job's size, as FNDLMeasureTextW says them.
using TextCallKey = std::tuple<std::string, int, long, char32_t>;
std::map<TextCallKey, long> g_textCallAdvances;

TextCallKey KeyOf(const Job &job, const JobFont &font, char32_t c)
{
    return {font.libraryName, font.fontId, job.request.call.height, c};
}

// Asks the library for the advances of the characters of [start, end) of
// the text in the font, unless they are known.
void MeasureTextCallAdvances(Job &job, int fontIndex, std::u32string_view text)
{
    const JobFont &font = job.fonts.fonts[static_cast<size_t>(fontIndex)];
    // Each character once, in the order the text first brings it.
    std::u16string units;
    std::unordered_set<char16_t> taken;
    for (const char32_t c : text) {
        if (c <= 0xFFFF && !g_textCallAdvances.contains(KeyOf(job, font, c)) &&
            taken.insert(static_cast<char16_t>(c)).second)
            units += static_cast<char16_t>(c);
    }
    FNDL_TEXTMEASURE measure;
    for (size_t pos = 0; pos < units.size(); pos += kLibraryTextUnits) {
        const std::u16string_view piece = std::u16string_view(units).substr(pos, kLibraryTextUnits);
        if (CallMeasure(job.request.call, font, piece, 0, job.request.call.margin, job.request.page.cursorY,
                        measure) == FNDL_DOWNLOAD_FAILURE)
            return;
        for (size_t i = 0; i < piece.size(); ++i)
            g_textCallAdvances[KeyOf(job, font, piece[i])] = measure.anAdvance[i];
    }
}

// The advance the text call sets for c in the font: the library's own,
// HarfBuzz's where the library could not say (a character beyond the
// 16-bit codes of a soft font never goes through the text call).
long TextCallAdvance(Job &job, int fontIndex, char32_t c)
{
    const JobFont &font = job.fonts.fonts[static_cast<size_t>(fontIndex)];
    if (!g_textCallAdvances.contains(KeyOf(job, font, c)))
        MeasureTextCallAdvances(job, fontIndex, std::u32string_view(&c, 1));
    const auto known = g_textCallAdvances.find(KeyOf(job, font, c));
    if (known != g_textCallAdvances.end())
        return known->second;
    hb_font_t *shaping = ShapingFont(job.shaping, job.fonts, static_cast<size_t>(fontIndex));
    return CmapAdvance(shaping, c, job.request.call.characterSize);
}

void Prepare(Job &job, std::u16string_view stretch, TextDirection direction, ShapedText &shaped)
{
    job.counts.replaced += PrepareText(job.fonts, direction, stretch, shaped);
    if (!shaped.stacked.empty() && !job.counts.reportedStacks) {
        job.counts.reportedStacks = true;
        PrintError("a character carries more than " + std::to_string(kMostStackedMarks) +
                   " combining marks: the marks past them are set on top of the stack");
    }
    // The advances the lines are measured by: a run the text call sets
    // takes the library's advances, asked of the library.
    shaped.widths.assign(shaped.text.size(), 0);
    shaped.boundary.assign(shaped.text.size(), false);
    std::vector<ShapedGlyph> glyphs;
    // A long run is measured a piece at a time, so that its glyphs need not
    // all be held at once.
    std::vector<ShapedItem> pieces;
    for (const ShapedItem &whole : shaped.items) {
        for (size_t from = whole.start; from < whole.end; from = pieces.back().end) {
            pieces.push_back(whole);
            pieces.back().start = from;
            pieces.back().end = PieceEnd(shaped.text, from, whole.end, kLongestShapedPiece);
        }
    }
    for (const ShapedItem &item : pieces) {
        bool cmap = false;
        ShapeItem(job.shaping, job.fonts, job.request.call.characterSize, item, shaped.text, 0, glyphs,
                  cmap, shaped.stacked);
        if (cmap)
            MeasureTextCallAdvances(job, item.font,
                                    std::u32string_view(shaped.text).substr(item.start, item.end - item.start));
        for (size_t i = item.start; cmap && i < item.end; ++i) {
            shaped.widths[i] = TextCallAdvance(job, item.font, shaped.text[i]);
            shaped.boundary[i] = true;
        }
        for (const ShapedGlyph &glyph : glyphs) {
            if (cmap || glyph.cluster >= shaped.text.size())
                continue;
            shaped.widths[glyph.cluster] += glyph.advance;
            shaped.boundary[glyph.cluster] = true;
        }
    }
    if (!shaped.boundary.empty())
        shaped.boundary[0] = true;
}

// The next tab stop after x: every tabWidth from the margin.
long TabStop(const Job &job, long x)
{
    const long margin = job.request.call.margin;
    const long width = std::max(job.tabWidth, 1L);
    return margin + (std::max(x - margin, -1L) / width + 1) * width;
}

// Page end before a run: the next page (or column), or why not. Returns an
// exit code, or -1 to go on.
int PageEndBeforeRun(Job &job)
{
    if (job.paging.settingHeader) {
        PrintError("the header line does not fit at the top of the page");
        return kExitFailed;
    }
    if (job.pen.freshPage) {
        PrintError("no line fits on a page: the first line's y " +
                   std::to_string(job.request.page.cursorY) +
                   " is below the library's bottom limit; give a smaller --cursor y or "
                   "--page-top");
        return kExitFailed;
    }
    return NewPage(job) ? -1 : kExitFailed;
}

// The underline bar under a glyph run from x, as the text call draws one
// under its lines (a page not printed keeps none). False after printing why.
bool Underline(Job &job, int fontIndex, long x, long advance)
{
    hb_font_t *font = ShapingFont(job.shaping, job.fonts, static_cast<size_t>(fontIndex));
    if (!job.request.call.underline || !job.paging.selected || !font)
        return true;
    long offset = 0;
    long thickness = 0;
    UnderlineMetrics(font, job.request.call.characterSize, offset, thickness);
    std::vector<uint8_t> bar;
    PutUnderlineBar(bar, {x, job.pen.y + offset, x + advance, job.pen.y + offset + thickness});
    return AppendToOutput(job.output, bar);
}

// After a library call for a run in the font: a failure to download
// reported, or the lines it set (known before it was made) counted.
// Returns an exit code, or -1.
int TakeCallOutput(Job &job, int fontIndex, int code, CallLines &written,
                   const CallLines &known)
{
    if (code == FNDL_DOWNLOAD_FAILURE) {
        PrintDownloadFailure(job.request.settings.output, job.fonts.fonts[static_cast<size_t>(fontIndex)],
                             job.output.workPath, WorkFileProblem(job.output));
        return kExitFailed;
    }
    // The lines are known before the call: what it wrote is only counted.
    written = known;
    std::string reason;
    if (!CountAppended(job.output, reason)) {
        PrintError("cannot write the job: " + reason);
        return kExitFailed;
    }
    CountWritten(job, fontIndex, written);
    return -1;
}

// The line a glyph call sets when it sets the run: one Text from the first
// glyph's drawing point, ending at the pen's end.
CallLines GlyphRunLine(const Job &job, std::span<const FNDL_GLYPH> glyphs, long x)
{
    CallLines line;
    line.hasLast = job.pen.hasLastLine;
    line.lastY = job.pen.lastLineY;
    line.lastEndX = job.pen.lastLineEndX;
    if (glyphs.empty())
        return line;
    long advance = 0;
    for (const FNDL_GLYPH &glyph : glyphs)
        advance += glyph.nAdvance;
    const long y = job.pen.y + glyphs[0].nOffsetY;
    line.texts = 1;
    line.characters = static_cast<long>(glyphs.size());
    line.count = line.hasLast && y == line.lastY ? 0 : 1;
    line.hasLast = true;
    line.lastY = y;
    line.lastEndX = x + advance;
    return line;
}

// One glyph call for glyphs from x; x moves to their end. A glyph the font
// cannot give is set as glyph 0. Returns an exit code, or -1.
int SetGlyphs(Job &job, int fontIndex, std::vector<FNDL_GLYPH> glyphs, long &x)
{
    for (int attempt = 0; attempt < 8; ++attempt) {
        // Not kept across a page end, whose header line may add a font.
        const JobFont &font = job.fonts.fonts[static_cast<size_t>(fontIndex)];
        SetCursor(x, job.pen.y);
        const GlyphRunResult result = CallGlyphRun(job.request.call, font, glyphs, job.CallPath());
        CallLines written;
        const CallLines set = result.code == FNDL_OK ? GlyphRunLine(job, glyphs, x)
                                                        : GlyphRunLine(job, {}, x);
        if (const int exitCode = TakeCallOutput(job, fontIndex, result.code, written, set);
            exitCode >= 0)
            return exitCode;
        if (result.code == FNDL_OK) {
            long advance = 0;
            for (const FNDL_GLYPH &glyph : glyphs)
                advance += glyph.nAdvance;
            if (!Underline(job, fontIndex, x, advance))
                return kExitFailed;
            x += advance;
            return -1;
        }
        if (result.code == FNDL_PAGEEND) {
            if (const int exitCode = PageEndBeforeRun(job); exitCode >= 0)
                return exitCode;
            continue;
        }
        const auto stop = static_cast<size_t>(std::max(result.stopIndex, 0));
        if (stop >= glyphs.size() || glyphs[stop].nGlyph == 0)
            break;
        PrintError("glyph " + std::to_string(glyphs[stop].nGlyph) + " of " + font.face.family +
                   " cannot be read: set as its missing-glyph box");
        glyphs[stop].nGlyph = 0;
    }
    const std::string &family = job.fonts.fonts[static_cast<size_t>(fontIndex)].face.family;
    PrintError("the glyphs of a run in " + family + " cannot be set: left out");
    return -1;
}

// One text call for a run whose glyphs are the cmap's; x moves to its end.
// Returns an exit code, or -1; cmapFailed when the library left a
// character out (the run then goes through the glyph call).
int SetCmapText(Job &job, int fontIndex, std::u16string_view text, long &x, bool &cmapFailed)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        const JobFont &font = job.fonts.fonts[static_cast<size_t>(fontIndex)];
        SetCursor(x, job.pen.y);
        FNDL_TEXTMEASURE measure;
        const int measured = CallMeasure(job.request.call, font, text, 0, x, job.pen.y, measure);
        const CallResult result = CallDownload(job.request.call, font, text, 0, job.CallPath());
        CallLines written;
        const CallLines set = MeasuredLines(job.pen, job.request.call, measure);
        if (result.code != FNDL_DOWNLOAD_FAILURE && !AgreesWithMeasure(result.code, measured))
            return kExitFailed;
        if (const int exitCode = TakeCallOutput(job, fontIndex, result.code, written, set);
            exitCode >= 0)
            return exitCode;
        job.pen.y = result.cursorY;
        if (written.texts > 0 && job.pen.RowHasText())
            x = job.pen.lastLineEndX;
        if (result.code == FNDL_OK)
            return -1;
        if (result.code == FNDL_INVALID_GLYPH_HANDLE) {
            // What the library set before the character stays; the glyph
            // call sets the whole run again only when it set nothing.
            cmapFailed = written.texts == 0;
            if (!cmapFailed)
                PrintError("the library left a character of " + font.face.family +
                           " out of a shaped line");
            return -1;
        }
        if (const int exitCode = PageEndBeforeRun(job); exitCode >= 0)
            return exitCode;
    }
    return -1;
}

// Sets line [start, end) of the stretch from x (flush right for a
// right-to-left paragraph). Returns an exit code, or -1.
int SetLine(Job &job, const ShapedText &shaped, size_t start, size_t end, long x)
{
    // The items are in text order: the line's first is found, not sought
    // through every item of the stretch for every line.
    std::vector<ShapedItem> items;
    const auto first = std::upper_bound(shaped.items.begin(), shaped.items.end(), start,
                                        [](size_t at, const ShapedItem &item) { return at < item.end; });
    for (const ShapedItem &item : std::span(first, shaped.items.end())) {
        if (item.start >= end)
            break;
        const size_t from = std::max(item.start, start);
        const size_t to = std::min(item.end, end);
        if (from < to) {
            ShapedItem piece = item;
            piece.start = from;
            piece.end = to;
            items.push_back(piece);
        }
    }
    // Each piece is shaped again with the line as its context: nothing
    // joins across a line's end.
    const std::u32string_view line = std::u32string_view(shaped.text).substr(start, end - start);
    std::vector<std::vector<ShapedGlyph>> glyphs(items.size());
    std::vector<bool> cmap(items.size(), false);
    std::vector<uint8_t> levels;
    std::vector<long> widths(items.size(), 0);
    long width = 0;
    for (size_t n = 0; n < items.size(); ++n) {
        bool isCmap = false;
        ShapeItem(job.shaping, job.fonts, job.request.call.characterSize, items[n], line, start,
                  glyphs[n], isCmap, shaped.stacked);
        cmap[n] = isCmap;
        levels.push_back(items[n].level);
        // A run the text call sets is placed by the advances it sets, so
        // that no run reaches past the right limit, where it would break.
        for (size_t i = items[n].start; isCmap && i < items[n].end; ++i)
            widths[n] += TextCallAdvance(job, items[n].font, shaped.text[i]);
        for (const ShapedGlyph &glyph : glyphs[n])
            widths[n] += isCmap ? 0 : glyph.advance;
        width += widths[n];
    }
    if (shaped.rightToLeft)
        x = std::max(x, job.request.call.limits.nRightLimit - width);
    for (const size_t n : VisualOrder(levels)) {
        const ShapedItem &item = items[n];
        if (item.tab) {
            x = TabStop(job, x);
            continue;
        }
        // Shaped with the line alone, a line may come out wider than it was
        // measured: a run that would pass the right limit goes through the
        // glyph call, which does not break it.
        bool cmapFailed = !cmap[n] || x + widths[n] > job.request.call.limits.nRightLimit;
        if (!cmapFailed) {
            std::u16string units;
            for (size_t i = item.start; i < item.end; ++i)
                units += static_cast<char16_t>(shaped.text[i]);
            for (size_t pos = 0; pos < units.size() && !cmapFailed; pos += kLibraryTextUnits) {
                const std::u16string_view piece =
                    std::u16string_view(units).substr(pos, kLibraryTextUnits);
                if (const int exitCode = SetCmapText(job, item.font, piece, x, cmapFailed);
                    exitCode >= 0)
                    return exitCode;
            }
        }
        if (!cmapFailed)
            continue;
        std::vector<FNDL_GLYPH> run;
        for (const ShapedGlyph &glyph : glyphs[n])
            run.push_back({static_cast<int>(glyph.glyph), static_cast<int>(glyph.advance),
                           static_cast<int>(glyph.offsetX), static_cast<int>(glyph.offsetY)});
        for (size_t pos = 0; pos < run.size(); pos += FNDL_MAX_GLYPH_RUN) {
            const size_t count = std::min<size_t>(FNDL_MAX_GLYPH_RUN, run.size() - pos);
            std::vector<FNDL_GLYPH> piece(run.begin() + static_cast<ptrdiff_t>(pos),
                                          run.begin() + static_cast<ptrdiff_t>(pos + count));
            if (const int exitCode = SetGlyphs(job, item.font, std::move(piece), x); exitCode >= 0)
                return exitCode;
        }
    }
    // Text that follows in the text call goes on from the line's end.
    job.pen.x = x;
    SetCursor(job.pen.x, job.pen.y);
    return -1;
}

// Lays out one stretch between form feeds (or a piece of a long one) in
// the direction given. Returns an exit code, or -1.
int SetStretch(Job &job, std::u16string_view stretch, TextDirection &direction)
{
    ShapedText shaped;
    Prepare(job, stretch, direction, shaped);
    // The pieces of a long stretch after its first go its first one's way.
    direction = shaped.rightToLeft ? TextDirection::RightToLeft : TextDirection::LeftToRight;
    const size_t count = shaped.text.size();
    const long right = job.request.call.limits.nRightLimit;
    long startX = job.pen.x;
    for (size_t start = 0; start < count;) {
        const LineEnd line = BreakLine(shaped.text, shaped.boundary, start, startX, right,
                                       [&](size_t i, long x) {
                                           return shaped.tabs[i] ? TabStop(job, x) - x
                                                                 : shaped.widths[i];
                                       });
        if (line.trimmed > start) {
            if (const int exitCode = SetLine(job, shaped, start, line.trimmed, startX);
                exitCode >= 0)
                return exitCode;
        }
        start = line.next;
        if (start < count) {
            NewLine(job.pen, job.request.call);
            startX = job.request.call.margin;
        }
    }
    return -1;
}

} // namespace

bool ParagraphNeedsShaping(Job &job, std::u16string_view paragraph)
{
    return TextNeedsShaping(job.fonts, job.request.source.direction, paragraph);
}

int SetShapedParagraph(Job &job, std::u16string_view paragraph)
{
    for (size_t start = 0; start <= paragraph.size();) {
        size_t end = paragraph.find(static_cast<char16_t>(kFormFeed), start);
        const bool pageBreak = end != std::u16string_view::npos;
        if (!pageBreak)
            end = paragraph.size();
        // A stretch longer than the bound goes as several, each from a new
        // line.
        TextDirection direction = job.request.source.direction;
        for (size_t piece = start; piece < end || piece == start;) {
            const size_t pieceEnd = PieceEnd(paragraph, piece, end, kLongestShapedStretch);
            if (piece > start)
                NewLine(job.pen, job.request.call);
            if (const int exitCode =
                    SetStretch(job, paragraph.substr(piece, pieceEnd - piece), direction);
                exitCode >= 0)
                return exitCode;
            if (pieceEnd == start)
                break;
            // The space the pieces were parted at goes with the line break.
            piece = pieceEnd < end && paragraph[pieceEnd] == u' ' ? pieceEnd + 1 : pieceEnd;
        }
        if (!pageBreak)
            break;
        if (!NewPage(job))
            return kExitFailed;
        start = end + 1;
    }
    return -1;
}
