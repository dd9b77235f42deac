// SPDX-License-Identifier: MIT
// The job's layout over library calls.
#include "layout.h"

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <set>

#include "framing.h"
#include "jobstructure.h"
#include "qorvfndl.h"
#include "text/text.h"
#include "xldecode/xldecode.h"
#include "xlstream/xlcodes.h"

namespace {


constexpr char16_t kNewLine = u'\n';
constexpr char16_t kSpace = u' ';
constexpr char32_t kFormFeed = 0x0C;
// PCL XL character codes are 16-bit: the library sets UTF-16 units.
constexpr char32_t kLastLibraryCode = 0xFFFF;

template <size_t N> void CopyUnits(FNDL_WCHAR (&field)[N], std::u16string_view units)
{
    const size_t count = std::min(units.size(), N - 1);
    for (size_t i = 0; i < count; ++i)
        field[i] = static_cast<FNDL_WCHAR>(units[i]);
    field[count] = 0;
}

std::u16string Units(const std::string &utf8)
{
    std::u16string units;
    size_t bad = 0;
    Utf8ToUtf16(utf8, units, bad);
    return units;
}

char32_t CodePointAt(std::u16string_view text, size_t at, size_t &units)
{
    const DecodedChar decoded = DecodeUtf16(text.substr(at));
    units = decoded.length;
    return decoded.codePoint;
}

std::string CodePointName(char32_t codePoint)
{
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(codePoint));
    return name;
}

// Scripts whose letters change shape with their neighbours or run right to
// left: set character by character, left to right, they would be wrong.
const char *ScriptNeedingShaping(char32_t c)
{
    struct Range {
        char32_t first;
        char32_t last;
        const char *script;
    };
    static constexpr Range kRanges[] = {
        {0x0590, 0x05FF, "Hebrew"},     {0x0600, 0x06FF, "Arabic"},   {0x0700, 0x074F, "Syriac"},
        {0x0750, 0x077F, "Arabic"},     {0x0780, 0x07BF, "Thaana"},   {0x07C0, 0x07FF, "N'Ko"},
        {0x0800, 0x08FF, "Arabic"},     {0x0900, 0x0DFF, "an Indic"}, {0x0E00, 0x0E7F, "Thai"},
        {0x0E80, 0x0EFF, "Lao"},        {0x0F00, 0x0FFF, "Tibetan"},  {0x1000, 0x109F, "Myanmar"},
        {0x1780, 0x17FF, "Khmer"},      {0xA8E0, 0xA8FF, "an Indic"}, {0xFB1D, 0xFB4F, "Hebrew"},
        {0xFB50, 0xFDFF, "Arabic"},     {0xFE70, 0xFEFF, "Arabic"},   {0x10E60, 0x10E7F, "Arabic"},
        {0x11000, 0x111FF, "an Indic"}, {0x1EE00, 0x1EEFF, "Arabic"},
    };
    for (const Range &range : kRanges) {
        if (c >= range.first && c <= range.last)
            return c == 0xFEFF ? nullptr : range.script;
    }
    return nullptr;
}

// What the library's text lines in some output were: where the last one
// starts and ends, how many Text operations, lines (baselines: the runs of
// one line in several fonts are one line) and characters there were.
struct WrittenLines {
    long texts = 0;
    long count = 0;
    long characters = 0;
    bool hasLast = false;
    long lastY = 0;
    long lastEndX = 0;
};

// lines comes in with the line set last on the page, if any (hasLast,
// lastY) and its counts at zero.
bool ReadWrittenLines(std::span<const uint8_t> bytes, WrittenLines &lines, XLDecodeError &error)
{
    std::vector<XLOperation> ops;
    if (!XLDecodeOperations(bytes, ops, error))
        return false;
    long cursorX = 0;
    long cursorY = 0;
    for (const XLOperation &op : ops) {
        if (op.op == xl::kOpSetCursor) {
            if (const XLAttribute *point = op.Find(xl::kAttrPoint);
                point && point->value.numbers.size() == 2) {
                cursorX = WholeNumber(point->value.numbers[0], 0);
                cursorY = WholeNumber(point->value.numbers[1], 0);
            }
        } else if (op.op == xl::kOpText) {
            long advance = 0;
            if (const XLAttribute *spacing = op.Find(xl::kAttrXSpacingData)) {
                for (const double number : spacing->value.numbers)
                    advance += WholeNumber(number, 0);
            }
            if (const XLAttribute *textData = op.Find(xl::kAttrTextData))
                lines.characters += static_cast<long>(textData->value.count);
            ++lines.texts;
            lines.count += lines.hasLast && cursorY == lines.lastY ? 0 : 1;
            lines.hasLast = true;
            lines.lastY = cursorY;
            lines.lastEndX = cursorX + advance;
        }
    }
    return true;
}

struct Job {
    const Request &request;
    JobFonts &fonts;
    JobOutput &output;
    long pages = 1;
    long lines = 0;
    long texts = 0; // Text operations
    long characters = 0;
    long leftOut = 0;
    long x = 0;
    long y = 0;
    bool freshPage = true; // the cursor is at the top of a page nothing was set on
    bool hasLastLine = false;
    long lastLineY = 0;
    long lastLineEndX = 0;
    std::set<char32_t> reported{}; // characters reported as left out
    std::vector<long> charactersByFont{};
    std::u16string header{}; // title and date of the header line; empty for none
    long totalPages = 0;    // for the header; 0 while they are being counted
    bool logPages = true;
    bool settingHeader = false;

    bool RowHasText() const { return hasLastLine && lastLineY == y; }
};

void LogPage(const Job &job)
{
    if (job.request.pageLog && job.logPages)
        std::fprintf(stderr, "PAGE: %ld %ld\n", job.pages, job.request.copies);
}

void NewLine(Job &job)
{
    // Blank lines past the bottom stop there: the next text starts a page.
    job.y = std::min(job.y + job.request.lineSpacing, job.request.limits.nBottomLimit + 1L);
    job.x = job.request.margin;
    job.freshPage = false;
    SetCursor(job.x, job.y);
}

void ToPageTop(Job &job, long y)
{
    job.x = job.request.margin;
    job.y = y;
    job.freshPage = true;
    job.hasLastLine = false;
    SetCursor(job.x, job.y);
}

int SetParagraph(Job &job, std::u16string_view paragraph, size_t paragraphStart);

// The cursor at the top of a new page; with a header, the header line
// there and the text two lines below it. Returns an exit code, or -1.
int StartPage(Job &job)
{
    ToPageTop(job, job.request.cursorY);
    if (job.header.empty())
        return -1;
    const std::string page = "Page " + std::to_string(job.pages) + " of " +
                             (job.totalPages > 0 ? std::to_string(job.totalPages) : "?");
    std::u16string line = job.header;
    line.append(page.begin(), page.end());
    job.settingHeader = true;
    const int exitCode = SetParagraph(job, line, 0);
    job.settingHeader = false;
    ToPageTop(job, job.request.cursorY + 2 * job.request.lineSpacing);
    return exitCode;
}

bool NewPage(Job &job)
{
    std::vector<uint8_t> bytes;
    PutPageEnd(bytes);
    PutPageStart(bytes, job.request, job.pages + 1);
    if (!AppendToOutput(job.output, bytes) || !StreamOut(job.output))
        return false;
    LogPage(job);
    ++job.pages;
    return StartPage(job) < 0;
}

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

// A character left out is reported once for the whole job, however often
// it comes. True when this was the first time.
bool ReportMissing(Job &job, char32_t codePoint, size_t offset, const std::string &why)
{
    if (!job.reported.insert(codePoint).second)
        return false;
    PrintError("no glyph for " + CodePointName(codePoint) + " " + why + " (first at text offset " +
               std::to_string(offset) + "): left out");
    return true;
}

std::string WhyMissing(const Job &job)
{
    return job.fonts.fallback ? "in any installed font"
                              : "in " + job.fonts.fonts.front().face.family;
}

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
    const CallResult result =
        CallDownload(request, font, run.substr(pos, length), 0, job.output.workPath);
    if (result.code != FNDL_OK && result.code != FNDL_INVALID_GLYPH_HANDLE &&
        result.code != FNDL_PAGEEND) {
        PrintDownloadFailure(request, font, job.output.workPath, WorkFileProblem(job.output));
        return kExitFailed;
    }

    WrittenLines written;
    XLDecodeError error;
    std::vector<uint8_t> appended;
    std::string reason;
    const uint64_t before = JobBytes(job.output);
    if (!TakeAppended(job.output, appended, reason)) {
        PrintError("cannot read back the job: " + reason);
        return kExitFailed;
    }
    // A line that goes on in another font is still the line set last.
    written.hasLast = job.hasLastLine;
    written.lastY = job.lastLineY;
    written.lastEndX = job.lastLineEndX;
    if (!ReadWrittenLines(appended, written, error)) {
        PrintError("the library's output does not decode at byte " +
                   std::to_string(before + error.offset) + ": " + error.message);
        return kExitFailed;
    }
    job.lines += written.count;
    job.texts += written.texts;
    job.characters += written.characters;
    // A font may join the job as it is set (another font rejected a character).
    job.charactersByFont.resize(job.fonts.fonts.size());
    job.charactersByFont[static_cast<size_t>(fontIndex)] += written.characters;
    if (written.texts > 0)
        job.freshPage = false;
    if (written.hasLast) {
        job.hasLastLine = true;
        job.lastLineY = written.lastY;
        job.lastLineEndX = written.lastEndX;
    }
    job.y = result.cursorY;
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
        job.x = job.RowHasText() ? job.lastLineEndX : request.margin;
        SetCursor(job.x, job.y);
        return -1;
    case FNDL_INVALID_GLYPH_HANDLE: {
        size_t units = 1;
        const char32_t codePoint = CodePointAt(run, pos + stop, units);
        // Go on right where the library stopped; past the right limit it
        // gives no x, and the text goes on on a new line.
        pos += stop;
        if (result.stopX > 0) {
            job.x = result.stopX;
            SetCursor(job.x, job.y);
        } else {
            NewLine(job);
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
        ++job.leftOut;
        ReportMissing(job, codePoint, runStart + pos, "in " + family);
        pos += units;
        return -1;
    }
    default: // page end before the line at offset
        if (job.settingHeader) {
            PrintError("the header line does not fit at the top of the page");
            return kExitFailed;
        }
        if (job.freshPage && stop == 0) {
            PrintError("no line fits on a page: the first line's y " +
                       std::to_string(request.cursorY) +
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

constexpr int kLeftOut = -1;
constexpr int kPageBreak = -2;
constexpr int kNoRun = -3;

// Cuts a paragraph into runs of one font: visit(font, start, end) for each
// run, and for each character left out (kLeftOut) or form feed (kPageBreak).
template <typename Visit> void ForEachRun(Job &job, std::u16string_view paragraph, Visit visit)
{
    size_t runStart = 0;
    int runFont = kNoRun;
    int previous = kLeftOut;
    for (size_t i = 0; i < paragraph.size();) {
        size_t units = 1;
        const char32_t codePoint = CodePointAt(paragraph, i, units);
        int font = kLeftOut;
        if (codePoint == kFormFeed)
            font = kPageBreak;
        else if (codePoint <= kLastLibraryCode && !ScriptNeedingShaping(codePoint))
            font = FontForChar(job.fonts, codePoint, previous);
        if (font != runFont) {
            if (runFont >= 0)
                visit(runFont, runStart, i);
            runFont = font;
            runStart = i;
        }
        if (font < 0) {
            visit(font, i, i + units);
            runFont = kNoRun;
        }
        previous = font;
        i += units;
    }
    if (runFont >= 0)
        visit(runFont, runStart, paragraph.size());
}

int SetParagraph(Job &job, std::u16string_view paragraph, size_t paragraphStart)
{
    int exitCode = -1;
    ForEachRun(job, paragraph, [&](int font, size_t start, size_t end) {
        if (exitCode >= 0)
            return;
        if (font == kPageBreak)
            exitCode = NewPage(job) ? -1 : kExitFailed;
        else if (font == kLeftOut)
            ++job.leftOut;
        else
            exitCode =
                SetRun(job, font, paragraph.substr(start, end - start), paragraphStart + start);
    });
    return exitCode;
}

// Reports, before anything is written, every character that no font sets
// and every script that cannot be set. Returns how many kinds there were.
long ReportLeftOut(Job &job)
{
    const std::u16string_view text = job.request.text;
    std::set<std::string> scripts;
    long kinds = 0;
    for (size_t i = 0; i < text.size();) {
        size_t units = 1;
        const char32_t codePoint = CodePointAt(text, i, units);
        if (codePoint != kNewLine && codePoint != kFormFeed) {
            if (const char *script = ScriptNeedingShaping(codePoint)) {
                if (scripts.insert(script).second) {
                    PrintError(std::string(script) +
                               " script is not supported: it needs shaping or right-to-left "
                               "order, which character-by-character setting cannot give (first "
                               "at text offset " +
                               std::to_string(i) + "); left out");
                    ++kinds;
                }
            } else if (codePoint > kLastLibraryCode) {
                if (job.reported.insert(codePoint).second) {
                    PrintError(CodePointName(codePoint) +
                               " is beyond U+FFFF, which the 16-bit character codes of a soft "
                               "font cannot reach (first at text offset " +
                               std::to_string(i) + "): left out");
                    ++kinds;
                }
            } else if (FontForChar(job.fonts, codePoint, kLeftOut) < 0 &&
                       ReportMissing(job, codePoint, i, WhyMissing(job))) {
                ++kinds;
            }
        }
        i += units;
    }
    return kinds;
}

void PrintSummary(const Job &job)
{
    const Request &request = job.request;
    std::string summary = (request.output == "-" ? std::string("standard output") : request.output) +
                          ": " + std::to_string(job.pages) + (job.pages == 1 ? " page, " : " pages, ") +
                          std::to_string(job.lines) + (job.lines == 1 ? " line, " : " lines, ") +
                          std::to_string(job.characters) +
                          (job.characters == 1 ? " character set" : " characters set");
    if (job.leftOut > 0)
        summary += ", " + std::to_string(job.leftOut) + " left out";
    summary += ", " + std::to_string(JobBytes(job.output)) + " bytes";
    PrintNote(summary);
    for (size_t f = 1; f < job.fonts.fonts.size() && f < job.charactersByFont.size(); ++f) {
        const JobFont &font = job.fonts.fonts[f];
        if (job.charactersByFont[f] > 0)
            PrintNote("fallback font " + font.face.family + " (" + font.face.file + ", font id " +
                      std::to_string(font.fontId) + "): " +
                      std::to_string(job.charactersByFont[f]) +
                      (job.charactersByFont[f] == 1 ? " character" : " characters"));
    }
}

} // namespace

const char *ResultName(int code)
{
    switch (code) {
    case FNDL_OK: return "done";
    case FNDL_INVALID_GLYPH_HANDLE: return "stopped at a character without glyph";
    case FNDL_PAGEEND: return "page end";
    default: return "failure";
    }
}

CallResult CallDownload(const Request &request, const JobFont &font, std::u16string_view text,
                        int offset, const std::string &path)
{
    FNDL_TEXTINFOW textInfo;
    FNDL_PAGEINFOW pageInfo;
    std::memset(&textInfo, 0, sizeof textInfo);
    std::memset(&pageInfo, 0, sizeof pageInfo);
    CopyUnits(textInfo.szText, text);
    textInfo.FontHeight = static_cast<int>(request.height);
    textInfo.bBold = request.syntheticBold ? 1 : 0;
    textInfo.bItalic = request.oblique ? 1 : 0;
    textInfo.bUnderline = request.underline ? 1 : 0;
    textInfo.nOffsetToText = offset;
    textInfo.nLeftMargin = static_cast<int>(request.margin);
    CopyUnits(pageInfo.chFont, Units(font.libraryName));
    CopyUnits(pageInfo.szOutputPath, Units(path));
    pageInfo.nFontId = font.fontId;
    pageInfo.nPaperWidth = static_cast<int>(PageWidth(request));
    pageInfo.nResolution = static_cast<int>(request.resolution);
    pageInfo.nLineSpacing = static_cast<int>(request.lineSpacing);
    pageInfo.lfWeight = static_cast<int>(request.boldFace ? 700 : request.weight);
    pageInfo.lfItalic = request.italicFace ? 1 : 0;
    pageInfo.bTTE = font.fromFile ? 1 : 0;

    CallResult result;
    result.code = FNDLFontDownloadW(&textInfo, &pageInfo);
    result.offset = textInfo.nOffsetToText;
    result.cursorY = FNDLGetCursor();
    result.stopX = pageInfo.nStopX;
    result.newPage = textInfo.bNewPage;
    return result;
}

void SetCursor(long x, long y)
{
    int nX = static_cast<int>(x);
    int nY = static_cast<int>(y);
    FNDLSetCursor(&nX, &nY);
}

void PrintDownloadFailure(const Request &request, const JobFont &font, const std::string &path,
                          const std::string &outputProblem)
{
    const std::string shown = request.output == "-" ? path : request.output;
    if (!outputProblem.empty()) {
        PrintError("the library could not write '" + shown + "' (result 3): " + outputProblem);
        return;
    }
    const std::string problem = FontFileProblem(font.face.file, font.face.index);
    if (!problem.empty()) {
        PrintError("the library could not download '" + font.face.file + "' (result 3): " +
                   problem);
        return;
    }
    PrintError("the library could not download the font " + Quoted(font.libraryName) +
               " or write '" + shown + "' (result 3)");
}

namespace {

// Frames the pages and sets the whole text. Returns an exit code, or -1.
int LayOut(Job &job)
{
    const Request &request = job.request;
    std::vector<uint8_t> start = JobStart(request);
    PutPageStart(start, request, 1);
    if (!AppendToOutput(job.output, start))
        return kExitFailed;
    if (const int exitCode = StartPage(job); exitCode >= 0)
        return exitCode;
    if (request.cursorX != request.margin) {
        job.x = request.cursorX;
        SetCursor(job.x, job.y);
    }

    const std::u16string_view text = request.text;
    if (text.empty()) {
        // No text: the font is still downloaded and selected.
        size_t pos = 0;
        if (const int exitCode = SetPiece(job, 0, text, 0, pos);
            exitCode >= 0)
            return exitCode;
    }
    size_t paragraphStart = 0;
    bool previousEmpty = false;
    for (bool first = true; paragraphStart <= text.size() && !text.empty(); first = false) {
        size_t paragraphEnd = text.find(kNewLine, paragraphStart);
        if (paragraphEnd == std::u16string_view::npos)
            paragraphEnd = text.size();
        const std::u16string_view paragraph =
            text.substr(paragraphStart, paragraphEnd - paragraphStart);
        // A new line for every newline, unless the library's last line
        // already ended where the paragraph did and moved the cursor on.
        if (!first && (job.RowHasText() || previousEmpty))
            NewLine(job);
        const long textsBefore = job.texts;
        if (const int exitCode = SetParagraph(job, paragraph, paragraphStart); exitCode >= 0)
            return exitCode;
        // A paragraph that set nothing (blank, or only characters without
        // glyph) still takes its row.
        previousEmpty = job.texts == textsBefore;
        paragraphStart = paragraphEnd + 1;
    }
    if (!AppendToOutput(job.output, JobEnd(request)) || !StreamOut(job.output))
        return kExitFailed;
    LogPage(job);
    return -1;
}

std::u16string HeaderStart(const std::string &title)
{
    char date[32] = {};
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", &local);
    return Units(title + "    " + date + "    ");
}

} // namespace

int WriteJob(const Request &request, JobFonts &fonts, JobOutput &output)
{
    Job job{.request = request, .fonts = fonts, .output = output};
    const long kinds = ReportLeftOut(job);
    if (kinds > 0 && request.strict) {
        PrintError("--strict: the job is not written");
        return kExitFailed;
    }
    job.charactersByFont.assign(fonts.fonts.size(), 0);
    if (!request.header.empty()) {
        // "Page n of m" needs m: the job is laid out once to count its
        // pages, its fonts removed so that the library's session starts
        // anew, and laid out again.
        job.header = HeaderStart(request.header);
        JobOutput scratch;
        std::string reason;
        if (!OpenJobOutput("-", scratch, reason)) {
            PrintError("cannot make a work file: " + reason);
            return kExitFailed;
        }
        scratch.streams = false;
        scratch.discards = true;
        Job count{.request = request, .fonts = fonts, .output = scratch};
        count.reported = job.reported;
        count.charactersByFont = job.charactersByFont;
        count.header = job.header;
        count.logPages = false;
        if (const int exitCode = LayOut(count); exitCode >= 0)
            return exitCode;
        for (const JobFont &font : fonts.fonts) {
            int nFontId = font.fontId;
            FNDLRemoveFontW(&nFontId);
        }
        job.totalPages = count.pages;
        job.reported = count.reported;
    }
    if (const int exitCode = LayOut(job); exitCode >= 0)
        return exitCode;
    if (!FinishJobOutput(output))
        return kExitFailed;
    PrintSummary(job);
    return kExitDone;
}
