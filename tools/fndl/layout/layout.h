// SPDX-License-Identifier: MIT
// The job's text layout: paragraphs (the text's lines) cut into runs of one
// font and into pieces that fit the library's text buffer, each set by one
// library call; pages framed by the tool. The layout state (cursor, last
// line, page) is kept from the library's results and from what each call
// appended, never by reading the job again.
#pragma once

#include "fonts/fonts.h"
#include "cli/output.h"
#include "cli/request.h"

// Writes the whole job. Returns the exit code.
int WriteJob(const Request &request, JobFonts &fonts, JobOutput &output);
