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
    if (job.request.pageLog && job.logPages)
        std::fprintf(stderr, "PAGE: %ld %ld\n", job.sheets, job.request.copies);
}

void ToPageTop(Job &job, long y)
{
    job.x = job.request.margin;
    job.y = y;
    job.freshPage = true;
    job.hasLastLine = false;
    SetCursor(job.x, job.y);
}

// The first baseline of the text: below the header line when there is one.
long FirstTextLine(const Job &job)
{
    return job.request.cursorY + (job.header.empty() ? 0 : 2 * job.request.lineSpacing);
}

// Opens the sheet when the page is printed and none is open, and the
// page's column frame.
bool OpenFrame(Job &job)
{
    if (!job.selected)
        return true;
    std::vector<uint8_t> bytes;
    if (!job.sheetOpen) {
        PutPageStart(bytes, job.request, job.sheets + 1);
        job.sheetOpen = true;
        job.cellsUsed = 0;
        ++job.sheets;
    }
    if (UsesFrames(job.request))
        PutFrameStart(bytes, job.request, job.cellsUsed, job.column);
    return AppendToOutput(job.output, bytes);
}

bool CloseFrame(Job &job)
{
    if (!job.selected || !UsesFrames(job.request))
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
    if (job.selected)
        ++job.cellsUsed;
    if (!job.sheetOpen || (job.cellsUsed < job.request.numberUp && !last))
        return true;
    std::vector<uint8_t> bytes;
    PutPageEnd(bytes);
    job.sheetOpen = false;
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
    job.column = 0;
    job.selected = job.request.pages.Selects(job.pages);
    job.printed += job.selected ? 1 : 0;
    if (!OpenFrame(job))
        return kExitFailed;
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
    ToPageTop(job, FirstTextLine(job));
    return exitCode;
}

} // namespace

void NewLine(Job &job)
{
    // Blank lines past the bottom stop there: the next text starts a page.
    job.y = std::min(job.y + job.request.lineSpacing, job.request.limits.nBottomLimit + 1L);
    job.x = job.request.margin;
    job.freshPage = false;
    SetCursor(job.x, job.y);
}

int StartFirstPage(Job &job)
{
    return StartPage(job);
}

bool NewPage(Job &job)
{
    if (job.column + 1 < job.request.columns) {
        if (!CloseFrame(job))
            return false;
        ++job.column;
        if (!OpenFrame(job))
            return false;
        ToPageTop(job, FirstTextLine(job));
        return true;
    }
    if (!EndPage(job, false))
        return false;
    ++job.pages;
    return StartPage(job) < 0;
}

bool EndLastPage(Job &job)
{
    return EndPage(job, true);
}

std::u16string HeaderStart(const Request &request, const std::string &title,
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
            width += known != advances.end() ? known->second : request.characterSize / 2;
        }
        return width;
    };
    // Room for the date and the widest "Page n of m".
    const long room = request.limits.nRightLimit - request.margin - widthOf(rest) -
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
