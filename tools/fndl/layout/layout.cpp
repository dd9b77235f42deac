// SPDX-License-Identifier: MIT
// The job's layout over library calls.
#include "layout/layout.h"

#include <algorithm>

#include "fonts/fontruns.h"
#include "layout/framing.h"
#include "layout/layoutstate.h"
#include "layout/librarycall.h"
#include "layout/measure.h"
#include "qorvfndl.h"

namespace {

constexpr char16_t kNewLine = u'\n';
constexpr char16_t kSpace = u' ';

// Units of text from pos for the next call: all that is left when it fits,
// else up to just before the last space that fits (the space starts the
// next piece, so that the library can break the line there), else as much
// as fits without splitting a surrogate pair.
size_t ChunkLength(std::u16string_view text, size_t pos)
{
    const size_t left = text.size() - pos;
    if (left <= kLibraryTextUnits)
        return left;
    for (size_t length = kLibraryTextUnits; length > 0; --length) {
        if (text[pos + length] == kSpace)
            return length;
    }
    const char16_t last = text[pos + kLibraryTextUnits - 1];
    return last >= 0xD800 && last <= 0xDBFF ? kLibraryTextUnits - 1 : kLibraryTextUnits;
}

// Moves the cursor to the next tab stop, or to the next line when the stop
// is past the right limit.
void ToTabStop(Job &job)
{
    const long margin = job.request.call.margin;
    const long width = std::max(job.tabWidth, 1L);
    const long stop = margin + (std::max(job.pen.x - margin, -1L) / width + 1) * width;
    if (stop >= job.request.call.limits.nRightLimit) {
        NewLine(job.pen, job.request.call);
        return;
    }
    job.pen.x = stop;
    SetCursor(job.pen.x, job.pen.y);
}

// A character left out is reported once for the whole job, however often
// it comes. True when this was the first time.
bool ReportMissing(Job &job, char32_t codePoint, size_t offset, const std::string &why)
{
    if (!job.counts.reported.insert(codePoint).second)
        return false;
    PrintError("no glyph for " + CodePointName(codePoint) + " " + why + " (first at text offset " +
               std::to_string(offset) + "): printed as " +
               ReplacementName(job.fonts, ChooseReplacement(job.fonts)));
    return true;
}

} // namespace

bool AgreesWithMeasure(int code, int measured)
{
    if (code == measured)
        return true;
    PrintError(std::string("the library's text call ") + ResultName(code) +
               " where its measure said " + ResultName(measured));
    return false;
}

// Line k at the cursor (the first) or the margin, k line spacings lower;
// a line on the row set last goes on with it.
CallLines MeasuredLines(const Pen &pen, const CallStyle &style, const FNDL_TEXTMEASURE &measure)
{
    CallLines lines;
    lines.hasLast = pen.hasLastLine;
    lines.lastY = pen.lastLineY;
    lines.lastEndX = pen.lastLineEndX;
    for (int k = 0; k < measure.nLines; ++k) {
        const long x = k == 0 ? measure.nCursorX : style.margin;
        const long y = measure.nCursorY + k * style.lineSpacing;
        long advance = 0;
        const int start = measure.anLineStart[k];
        for (int i = start; i < start + measure.anLineLength[k]; ++i)
            advance += measure.anAdvance[i];
        lines.texts += 1;
        lines.characters += measure.anLineLength[k];
        lines.count += lines.hasLast && y == lines.lastY ? 0 : 1;
        lines.hasLast = true;
        lines.lastY = y;
        lines.lastEndX = x + advance;
    }
    return lines;
}

void CountWritten(Job &job, int fontIndex, const CallLines &written)
{
    job.counts.texts += written.texts;
    if (job.paging.selected) {
        job.counts.lines += written.count;
        job.counts.characters += written.characters;
    }
    // A font may join the job as it is set (another font rejected a character).
    job.counts.charactersByFont.resize(job.fonts.fonts.size());
    job.counts.charactersByFont[static_cast<size_t>(fontIndex)] += written.characters;
    if (written.texts > 0)
        job.pen.freshPage = false;
    if (written.hasLast) {
        job.pen.hasLastLine = true;
        job.pen.lastLineY = written.lastY;
        job.pen.lastLineEndX = written.lastEndX;
    }
}

namespace {

// One library call for the piece of run at pos; moves pos on. Returns an
// exit code, or -1 to go on.
int SetRun(Job &job, int fontIndex, std::u16string_view run, size_t runStart);
constexpr int kNoPreviousFont = -1;

int SetPiece(Job &job, int fontIndex, std::u16string_view run, size_t runStart, size_t &pos)
{
    // Not kept across FontForChar, which may add a font to the job.
    const JobFont &font = job.fonts.fonts[static_cast<size_t>(fontIndex)];
    const Request &request = job.request;
    const size_t length = ChunkLength(run, pos);
    // The lines the call sets, asked before it sets them. A call that would
    // set nothing (the library has no glyph for the first character) is not
    // made: it would only send the font and characters nothing uses yet.
    FNDL_TEXTMEASURE measure;
    const int measured =
        CallMeasure(request.call, font, run.substr(pos, length), 0, job.pen.x, job.pen.y, measure);
    const bool setsNothing =
        measured == FNDL_INVALID_GLYPH_HANDLE && measure.nOffsetToText == 0;
    const std::string &path = setsNothing ? kMeasureOnly : job.CallPath();
    const CallResult result = path.empty() ? MeasuredResult(measured, measure, 0)
                                           : CallDownload(request.call, font, run.substr(pos, length), 0, path);
    if (result.code != FNDL_OK && result.code != FNDL_INVALID_GLYPH_HANDLE &&
        result.code != FNDL_PAGEEND) {
        PrintDownloadFailure(request.settings.output, font, job.output.workPath, WorkFileProblem(job.output));
        return kExitFailed;
    }
    if (!AgreesWithMeasure(result.code, measured))
        return kExitFailed;
    const CallLines written = MeasuredLines(job.pen, job.request.call, measure);
    std::string reason;
    if (!CountAppended(job.output, reason)) {
        PrintError("cannot write the job: " + reason);
        return kExitFailed;
    }
    CountWritten(job, fontIndex, written);
    job.pen.y = result.cursorY;
    const size_t stop = static_cast<size_t>(std::max(result.offset, 0));
    if (result.code != FNDL_OK && stop >= std::max<size_t>(length, 1)) {
        PrintError("the library reported offset " + std::to_string(result.offset) +
                   " outside the " + std::to_string(length) + " units it was given");
        return kExitFailed;
    }

    switch (result.code) {
    case FNDL_OK:
        pos += length;
        // The library leaves the cursor x at the start of a last line that
        // fits; the next text goes on after that line's end.
        job.pen.x = job.pen.RowHasText() ? job.pen.lastLineEndX : request.call.margin;
        SetCursor(job.pen.x, job.pen.y);
        return -1;
    case FNDL_INVALID_GLYPH_HANDLE: {
        size_t units = 1;
        const char32_t codePoint = CodePointAt(run, pos + stop, units);
        // Go on right where the library stopped; past the right limit it
        // gives no x, and the text goes on on a new line.
        pos += stop;
        if (result.stopX > 0) {
            job.pen.x = result.stopX;
            SetCursor(job.pen.x, job.pen.y);
        } else {
            NewLine(job.pen, job.request.call);
        }
        // The font claimed the character; another font may set it.
        const std::string family = font.face.family;
        RejectChar(job.fonts, fontIndex, codePoint);
        const int other = FontForChar(job.fonts, codePoint, kNoPreviousFont);
        if (other >= 0 && other != fontIndex) {
            const int exitCode = SetRun(job, other, run.substr(pos, units), runStart + pos);
            pos += units;
            return exitCode;
        }
        // No font sets it: its replacement goes in its place.
        ReportMissing(job, codePoint, runStart + pos, "in " + family);
        const int exitCode = SetShapedParagraph(job, run.substr(pos, units));
        pos += units;
        return exitCode;
    }
    default: // page end before the line at offset
        if (job.paging.settingHeader) {
            PrintError("the header line does not fit at the top of the page");
            return kExitFailed;
        }
        if (job.pen.freshPage && stop == 0) {
            PrintError("no line fits on a page: the first line's y " +
                       std::to_string(request.page.cursorY) +
                       " is below the library's bottom limit; give a smaller --cursor y or "
                       "--page-top");
            return kExitFailed;
        }
        pos += stop;
        return NewPage(job) ? -1 : kExitFailed;
    }
}

int SetRun(Job &job, int fontIndex, std::u16string_view run, size_t runStart)
{
    size_t pos = 0;
    do {
        if (const int exitCode = SetPiece(job, fontIndex, run, runStart, pos); exitCode >= 0)
            return exitCode;
    } while (pos < run.size());
    return -1;
}

} // namespace

int SetParagraph(Job &job, std::u16string_view paragraph, size_t paragraphStart)
{
    if (ParagraphNeedsShaping(job, paragraph))
        return SetShapedParagraph(job, paragraph);
    int exitCode = -1;
    ForEachRun(job.fonts, paragraph, [&](int font, size_t start, size_t end) {
        if (exitCode >= 0)
            return;
        if (font == kPageBreak)
            exitCode = NewPage(job) ? -1 : kExitFailed;
        else if (font == kTab)
            ToTabStop(job);
        else if (font == kLeftOut)
            ++job.counts.leftOut;
        else
            exitCode =
                SetRun(job, font, paragraph.substr(start, end - start), paragraphStart + start);
    });
    return exitCode;
}

namespace {

// The characters no font prints: how many, the first and its offset.
struct Unprintable {
    long count = 0;
    size_t first = 0;
    char32_t firstChar = 0;
};

// Counts the characters of a piece of the text (at textStart) that no font
// prints.
void CountUnprintable(Job &job, std::u16string_view text, size_t textStart, Unprintable &found)
{
    long &count = found.count;
    for (size_t i = 0; i < text.size();) {
        // Fallback fonts are chosen in each paragraph's language, as they
        // are when it is set.
        if (i == 0 || text[i - 1] == kNewLine)
            SetParagraphLanguage(job.fonts, text.substr(i, text.find(kNewLine, i) - i));
        size_t units = 1;
        const char32_t codePoint = CodePointAt(text, i, units);
        if (codePoint != kNewLine && codePoint != kFormFeed && codePoint != kTabChar &&
            !IsInvisible(codePoint) && FontForChar(job.fonts, codePoint, kLeftOut) < 0) {
            if (count++ == 0) {
                found.first = textStart + i;
                found.firstChar = codePoint;
            }
            job.counts.reported.insert(codePoint);
        }
        i += units;
    }
}

// Counts, before anything is written, the characters that no font prints,
// and reports them in one line. Returns how many there are, or an exit code
// (exitCode >= 0) when the text cannot be read.
long ReportUnprintable(Job &job, int &exitCode)
{
    Unprintable found;
    exitCode = ForEachTextPiece(job.request.source, [&](std::u16string_view piece, size_t start) {
        CountUnprintable(job, piece, start, found);
        return -1;
    });
    if (exitCode >= 0)
        return 0;
    const long count = found.count;
    if (count > 0)
        PrintError(std::to_string(count) + (count == 1 ? " character " : " characters ") +
                   (job.fonts.fallback ? "no installed font can print"
                                       : job.fonts.fonts.front().face.family + " cannot print") +
                   ", first " + CodePointName(found.firstChar) + " at text offset " +
                   std::to_string(found.first) + "; printed as " +
                   ReplacementName(job.fonts, ChooseReplacement(job.fonts)));
    return count;
}

void PrintSummary(const Job &job)
{
    const Request &request = job.request;
    std::string summary = (request.settings.output == "-" ? std::string("standard output") : request.settings.output) +
                          ": " + std::to_string(job.paging.sheets) + (job.paging.sheets == 1 ? " page, " : " pages, ") +
                          std::to_string(job.counts.lines) + (job.counts.lines == 1 ? " line, " : " lines, ") +
                          std::to_string(job.counts.characters) +
                          (job.counts.characters == 1 ? " character set" : " characters set");
    if (job.counts.leftOut > 0)
        summary += ", " + std::to_string(job.counts.leftOut) + " left out";
    if (job.counts.replaced > 0)
        summary += ", " + std::to_string(job.counts.replaced) + " replaced";
    summary += ", " + std::to_string(JobBytes(job.output)) + " bytes";
    PrintNote(summary);
    for (size_t f = 1; f < job.fonts.fonts.size() && f < job.counts.charactersByFont.size(); ++f) {
        const JobFont &font = job.fonts.fonts[f];
        if (job.counts.charactersByFont[f] > 0)
            PrintNote("fallback font " + font.face.family + " (" + font.face.file + ", font id " +
                      std::to_string(font.fontId) + "): " +
                      std::to_string(job.counts.charactersByFont[f]) +
                      (job.counts.charactersByFont[f] == 1 ? " character" : " characters"));
    }
}

// Where the paragraphs stand from one piece of the text to the next.
struct Paragraphs {
    bool first = true;
    bool previousEmpty = false;
};

// Sets the paragraphs (lines) of a piece of the text, at textStart in it.
// Returns an exit code, or -1.
int SetParagraphs(Job &job, std::u16string_view text, size_t textStart, Paragraphs &at)
{
    for (size_t paragraphStart = 0; paragraphStart <= text.size(); at.first = false) {
        size_t paragraphEnd = text.find(kNewLine, paragraphStart);
        if (paragraphEnd == std::u16string_view::npos)
            paragraphEnd = text.size();
        const std::u16string_view paragraph =
            text.substr(paragraphStart, paragraphEnd - paragraphStart);
        // A new line for every newline, unless the library's last line
        // already ended where the paragraph did and moved the cursor on.
        if (!at.first && (job.pen.RowHasText() || at.previousEmpty))
            NewLine(job.pen, job.request.call);
        const long textsBefore = job.counts.texts;
        if (const int exitCode = SetParagraph(job, paragraph, textStart + paragraphStart);
            exitCode >= 0)
            return exitCode;
        // A paragraph that set nothing (blank, or only characters without
        // glyph) still takes its row.
        at.previousEmpty = job.counts.texts == textsBefore;
        paragraphStart = paragraphEnd + 1;
    }
    return -1;
}

// Frames the pages and sets the whole text. Returns an exit code, or -1.
int LayOut(Job &job)
{
    const Request &request = job.request;
    if (!AppendToOutput(job.output, JobStart(request)))
        return kExitFailed;
    if (const int exitCode = StartFirstPage(job); exitCode >= 0)
        return exitCode;
    if (request.page.cursorX != request.call.margin) {
        job.pen.x = request.page.cursorX;
        SetCursor(job.pen.x, job.pen.y);
    }

    if (TextIsEmpty(request.source)) {
        // No text: the font is still downloaded and selected.
        size_t pos = 0;
        if (const int exitCode = SetPiece(job, 0, std::u16string_view(), 0, pos);
            exitCode >= 0)
            return exitCode;
    }
    Paragraphs at;
    if (const int exitCode = ForEachTextPiece(
            request.source,
            [&](std::u16string_view piece, size_t start) {
                return SetParagraphs(job, piece, start, at);
            });
        exitCode >= 0)
        return exitCode;
    if (!EndLastPage(job) || !AppendToOutput(job.output, JobEnd(request)) || !StreamOut(job.output))
        return kExitFailed;
    return -1;
}

} // namespace

int WriteJob(const Request &request, JobFonts &fonts, JobOutput &output)
{
    Job job{.request = request, .fonts = fonts, .output = output};
    if (!UsePageBox(request.call)) {
        PrintError("the library cannot set text in a page of this size at this resolution");
        return kExitFailed;
    }
    int readFailure = -1;
    const long unprintable = ReportUnprintable(job, readFailure);
    if (readFailure >= 0)
        return readFailure;
    if (unprintable > 0 && request.settings.strict) {
        PrintError("--strict: the job is not written");
        return kExitFailed;
    }
    job.counts.charactersByFont.assign(fonts.fonts.size(), 0);
    // Tab stops and the header's room are measured in the main font first.
    const bool hasTabs = TextHasTab(request.source);
    std::map<char16_t, long> advances;
    if (hasTabs || !request.settings.header.empty()) {
        std::vector<std::u16string> texts{u"        "};
        if (!request.settings.header.empty()) {
            std::u16string title;
            size_t bad = 0;
            Utf8ToUtf16(request.settings.header + "0123456789:-Pageof", title, bad);
            title += u"\u2026";
            std::erase(title, u' ');
            texts.push_back(std::move(title));
        }
        MeasureCharacters(request.call, request.page.cursorY, fonts.fonts.front(), texts, advances);
    }
    const auto space = advances.find(u' ');
    job.tabWidth = 8 * (space != advances.end() && space->second > 0 ? space->second
                                                                     : request.call.characterSize / 2);
    if (!request.settings.header.empty()) {
        // "Page n of m" needs m: the pages are counted by laying the job
        // out on measures alone (no work file, nothing written, the
        // library's session untouched), then the job is written.
        job.header = HeaderStart(request.call, request.settings.header, advances);
        JobOutput counted;
        counted.discards = true;
        Job count{.request = request, .fonts = fonts, .output = counted};
        count.counts.reported = job.counts.reported;
        count.counts.charactersByFont = job.counts.charactersByFont;
        count.header = job.header;
        count.tabWidth = job.tabWidth;
        count.paging.logPages = false;
        if (const int exitCode = LayOut(count); exitCode >= 0)
            return exitCode;
        job.paging.totalPages = count.paging.page;
        job.counts.reported = count.counts.reported;
    }
    if (const int exitCode = LayOut(job); exitCode >= 0)
        return exitCode;
    if (job.paging.sheets == 0)
        PrintError("none of the " + std::to_string(job.paging.page) +
                   (job.paging.page == 1 ? " page" : " pages") +
                   " is in the page selection: no page is printed");
    if (!FinishJobOutput(output))
        return kExitFailed;
    PrintSummary(job);
    return kExitDone;
}
