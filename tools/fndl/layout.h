// SPDX-License-Identifier: MIT
// The job's text layout: paragraphs (the text's lines) cut into runs of one
// font and into pieces that fit the library's text buffer, each set by one
// library call; pages framed by the tool. The layout state (cursor, last
// line, page) is kept from the library's results and from what each call
// appended, never by reading the job again.
#pragma once

#include <string>

#include "fonts.h"
#include "output.h"
#include "request.h"

// One FNDLFontDownloadW call's results.
struct CallResult {
    int code = 3;
    int offset = 0;
    int cursorY = 0;
    int stopX = 0;
    int newPage = 0;
};

// One FNDLFontDownloadW call with text (at most the library's 511 units)
// for font, appending to path.
CallResult CallDownload(const Request &request, const JobFont &font, std::u16string_view text,
                        int offset, const std::string &path);
void SetCursor(long x, long y);
const char *ResultName(int code);
// Says why a call returned 3, as far as the tool can tell.
void PrintDownloadFailure(const Request &request, const JobFont &font, const std::string &path,
                          const std::string &outputProblem);

// Writes the whole job. Returns the exit code.
int WriteJob(const Request &request, JobFonts &fonts, JobOutput &output);
