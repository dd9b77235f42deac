// SPDX-License-Identifier: MIT
// The job's pages: the cursor at a new line, column or page, the framing
// of sheets and frames between library calls (pages left out by the page
// selection are not framed), and the header line.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>

#include "layout/framing.h"
#include "layout/layoutstate.h"
#include "layout/librarycall.h"

namespace {

constexpr char16_t kEllipsis[] = u"\u2026";

// A "PAGE: n copies" line for the sheet just ended, when asked for.
void LogSheet(const Job &job)
{
    if (job.request.settings.pageLog && job.paging.logPages)
        std::fprintf(stderr, "PAGE: %ld %ld\n", job.paging.sheets, job.request.settings.copies);
}

void ToPageTop(Pen &pen, const CallStyle &style, long y)
{
    pen.x = style.margin;
    pen.y = y;
    pen.freshPage = true;
    pen.hasLastLine = false;
    SetCursor(pen.x, pen.y);
}

// The first baseline of the text: below the header line when there is one.
long FirstTextLine(const Job &job)
{
    return job.request.page.cursorY + (job.header.empty() ? 0 : 2 * job.request.call.lineSpacing);
}

// Opens the sheet when the page is printed and none is open, and the
// page's column frame.
bool OpenFrame(Job &job)
{
    if (!job.paging.selected)
        return true;
    std::vector<uint8_t> bytes;
    if (!job.paging.sheetOpen) {
        PutPageStart(bytes, job.request, job.paging.sheets + 1);
        job.paging.sheetOpen = true;
        job.paging.cellsUsed = 0;
        ++job.paging.sheets;
    }
    if (UsesFrames(job.request))
        PutFrameStart(bytes, job.request, job.paging.cellsUsed, job.paging.column);
    return AppendToOutput(job.output, bytes);
}

bool CloseFrame(Job &job)
{
    if (!job.paging.selected || !UsesFrames(job.request))
        return true;
    std::vector<uint8_t> bytes;
    PutFrameEnd(bytes);
    return AppendToOutput(job.output, bytes);
}

// Ends the page: its sheet too when the sheet is full or this is the last.
bool EndPage(Job &job, bool last)
{
    if (!CloseFrame(job))
        return false;
    if (job.paging.selected)
        ++job.paging.cellsUsed;
    if (!job.paging.sheetOpen || (job.paging.cellsUsed < job.request.page.numberUp && !last))
        return true;
    std::vector<uint8_t> bytes;
    PutPageEnd(bytes);
    job.paging.sheetOpen = false;
    // The sheet goes to the printer before CUPS hears of it.
    if (!AppendToOutput(job.output, bytes) || !StreamOut(job.output))
        return false;
    LogSheet(job);
    return true;
}

// The cursor at the top of a new page; with a header, the header line
// there and the text two lines below it. Returns an exit code, or -1.
int StartPage(Job &job)
{
    job.paging.column = 0;
    job.paging.selected = job.request.page.pages.Selects(job.paging.page);
    job.paging.printed += job.paging.selected ? 1 : 0;
    if (!OpenFrame(job))
        return kExitFailed;
    ToPageTop(job.pen, job.request.call, job.request.page.cursorY);
    if (job.header.empty())
        return -1;
    const std::string page = "Page " + std::to_string(job.paging.page) + " of " +
                             (job.paging.totalPages > 0 ? std::to_string(job.paging.totalPages) : "?");
    std::u16string line = job.header;
    line.append(page.begin(), page.end());
    job.paging.settingHeader = true;
    const int exitCode = SetParagraph(job, line, 0);
    job.paging.settingHeader = false;
    ToPageTop(job.pen, job.request.call, FirstTextLine(job));
    return exitCode;
}

} // namespace

void NewLine(Pen &pen, const CallStyle &style)
{
    // Blank lines past the bottom stop there: the next text starts a page.
    pen.y = std::min(pen.y + style.lineSpacing, style.limits.nBottomLimit + 1L);
    pen.x = style.margin;
    pen.freshPage = false;
    SetCursor(pen.x, pen.y);
}

int StartFirstPage(Job &job)
{
    return StartPage(job);
}

bool NewPage(Job &job)
{
    if (job.paging.column + 1 < job.request.page.columns) {
        if (!CloseFrame(job))
            return false;
        ++job.paging.column;
        if (!OpenFrame(job))
            return false;
        ToPageTop(job.pen, job.request.call, FirstTextLine(job));
        return true;
    }
    if (!EndPage(job, false))
        return false;
    ++job.paging.page;
    return StartPage(job) < 0;
}

bool EndLastPage(Job &job)
{
    return EndPage(job, true);
}

std::u16string HeaderStart(const CallStyle &style, const std::string &title,
                           const std::map<char16_t, long> &advances)
{
    char date[32] = {};
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", &local);
    std::u16string units;
    std::u16string rest;
    size_t bad = 0;
    Utf8ToUtf16(title, units, bad);
    Utf8ToUtf16(std::string("    ") + date + "    ", rest, bad);
    const auto widthOf = [&](std::u16string_view text) {
        long width = 0;
        for (const char16_t unit : text) {
            const auto known = advances.find(unit);
            width += known != advances.end() ? known->second : style.characterSize / 2;
        }
        return width;
    };
    // Room for the date and the widest "Page n of m".
    const long room = style.limits.nRightLimit - style.margin - widthOf(rest) -
                      widthOf(u"Page 0000 of 0000") * 11 / 10;
    if (widthOf(units) <= room)
        return units + rest;
    const long ellipsis = widthOf(kEllipsis);
    size_t keep = 0;
    for (long width = 0; keep < units.size(); ++keep) {
        width += widthOf(std::u16string_view(units).substr(keep, 1));
        if (width + ellipsis > room)
            break;
    }
    if (keep > 0 && units[keep - 1] >= 0xD800 && units[keep - 1] <= 0xDBFF)
        --keep; // not between the halves of a surrogate pair
    while (keep > 0 && units[keep - 1] == u' ')
        --keep;
    return units.substr(0, keep) + kEllipsis + rest;
}
