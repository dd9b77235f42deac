// SPDX-License-Identifier: MIT
// A cover page laid out from its parts: a frame, a centred heading, the
// job's facts as a table of labels and values, form fields with lines to
// write on, notices, and a classification word at the top and bottom. Set in
// the job's face (regular and bold) with fallback fonts, measured by the
// advances the library sets (text that needs shaping: by HarfBuzz's, set by
// the glyph call), so that what is centred is centred on paper.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "cli/output.h"
#include "cli/request.h"

struct CoverSpec {
    std::string heading;        // "Cover Page" when empty
    std::string owner;          // whose job it is, large under the heading; empty: none
    std::string classification; // empty: none
    std::string header;         // a line under the heading
    std::string footer;         // a line at the bottom
    std::vector<std::pair<std::string, std::string>> rows;   // label, value
    std::vector<std::pair<std::string, std::string>> fields; // label, value known ahead
    std::vector<std::string> notices;
};

// Reads a cover description: one part per line, its kind, a tab and its
// text ("heading", "owner", "classification", "header", "footer", "notice"), or for
// "row" and "field" a label, a tab and a value. False with the reason.
bool ReadCoverSpec(const std::string &path, CoverSpec &spec, std::string &error);

// Writes the cover page as a whole job. Returns the exit code.
int WriteCover(const Request &request, const CoverSpec &spec, JobOutput &output);
