// SPDX-License-Identifier: MIT
// The layout's state while a job is written, in parts: the pen, the counts
// and the paging, shared by the text setting (layout.cpp, shapedtext.cpp)
// and the pagination (pages.cpp).
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fonts/fonts.h"
#include "layout/librarycall.h"
#include "cli/output.h"
#include "qorvfndl.h"
#include "layout/calllines.h"
#include "cli/request.h"
#include "layout/shaping.h"

// Where the text stands: the cursor and the last line set. Moved by the
// text setting (layout.cpp, shapedtext.cpp) and the pagination (pages.cpp).
struct Pen {
    long x = 0;
    long y = 0;
    bool freshPage = true; // the cursor is at the top of a page nothing was set on
    bool hasLastLine = false;
    long lastLineY = 0;
    long lastLineEndX = 0;

    bool RowHasText() const { return hasLastLine && lastLineY == y; }
};

// What was set, for the summary and the reports.
struct JobCounts {
    long lines = 0;
    long texts = 0; // Text operations
    long characters = 0;
    long leftOut = 0;
    long replaced = 0; // characters no font prints, set as the replacement
    bool reportedStacks = false; // marks past the stack bound were reported
    std::set<char32_t> reported{}; // characters reported as left out
    std::vector<long> charactersByFont{};
};

// Pages and sheets: page counts the text's pages, sheets those printed.
struct Paging {
    long page = 1;
    long totalPages = 0;    // for the header; 0 while they are being counted
    bool logPages = true;
    bool settingHeader = false;
    bool selected = true;   // the page being set is printed
    long printed = 0;       // pages printed so far, this one included
    long sheets = 0;
    bool sheetOpen = false;
    long cellsUsed = 0;     // pages on the open sheet
    long column = 0;        // of the page being set
};

struct Job {
    const Request &request;
    JobFonts &fonts;
    JobOutput &output;
    Pen pen{};
    JobCounts counts{};
    Paging paging{};
    // Worked out before the layout: the header line's title and date (empty
    // for none) and the distance between tab stops.
    std::u16string header{};
    long tabWidth = 0;
    ShapingFonts shaping{}; // the fonts as HarfBuzz shapes with them

    // Where the library's calls write: nowhere on a page left out and in a
    // counting pass, whose calls are only measured (the session then never
    // believes the printer holds what they would have sent).
    const std::string &CallPath() const { return paging.selected ? output.workPath : kMeasureOnly; }
};

// Sets one line of text (no newlines) from the cursor. Returns an exit
// code, or -1 to go on.
int SetParagraph(Job &job, std::u16string_view paragraph, size_t paragraphStart);

// False after printing why when a call's result is not what its measure
// said (the lines set would not be the ones the layout counts).
bool AgreesWithMeasure(int code, int measured);
// The lines a text call sets, as its measure (taken from the pen) says them.
CallLines MeasuredLines(const Pen &pen, const CallStyle &style, const FNDL_TEXTMEASURE &measure);
// Adds the lines and characters read back to the job's counts and layout.
void CountWritten(Job &job, int fontIndex, const CallLines &written);

// Shaped text (shapedtext.cpp).

// True when the paragraph goes through shaping and bidirectional order:
// right-to-left or shaped scripts, combining marks, characters beyond
// U+FFFF or that no font prints, or a right-to-left job. Other paragraphs
// are set character by character through the library's text call.
bool ParagraphNeedsShaping(Job &job, std::u16string_view paragraph);
// Sets a paragraph (no newlines) shaped: lines broken on its logical text,
// each line's runs in visual order, each run through the text call when
// its glyphs are the cmap's, else through the glyph call. Returns an exit
// code, or -1 to go on.
int SetShapedParagraph(Job &job, std::u16string_view paragraph);

// Pagination (pages.cpp).

// The cursor at the start of the next line.
void NewLine(Pen &pen, const CallStyle &style);
// The first page: framed, and its header set. Returns an exit code, or -1.
int StartFirstPage(Job &job);
// Ends the column, or the page and starts the next. False after printing why.
bool NewPage(Job &job);
// Ends the last page. False after printing why.
bool EndLastPage(Job &job);
// The header line's title and date, before "Page n of m": the title cut
// with an ellipsis where the line would not hold it (advances: measured
// characters of the main font).
std::u16string HeaderStart(const CallStyle &style, const std::string &title,
                           const std::map<char16_t, long> &advances);
