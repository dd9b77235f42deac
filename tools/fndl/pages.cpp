// SPDX-License-Identifier: MIT
// The job's pages: the cursor at a new line or page, the page framing
// between library calls, and the header line.
#include <algorithm>
#include <cstdio>
#include <ctime>

#include "framing.h"
#include "layoutstate.h"
#include "librarycall.h"

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

namespace {

void ToPageTop(Job &job, long y)
{
    job.x = job.request.margin;
    job.y = y;
    job.freshPage = true;
    job.hasLastLine = false;
    SetCursor(job.x, job.y);
}

} // namespace

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

std::u16string HeaderStart(const std::string &title)
{
    char date[32] = {};
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", &local);
    std::u16string units;
    size_t bad = 0;
    Utf8ToUtf16(title + "    " + date + "    ", units, bad);
    return units;
}
