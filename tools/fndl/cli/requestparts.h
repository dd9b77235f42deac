// SPDX-License-Identifier: MIT
// The pieces of reading a request that live in their own files: which
// command it is, the text, the page geometry and the help.
#pragma once

#include <string>
#include <string_view>

#include "core/fndl.h"
#include "cli/request.h"

struct CommandKind {
    const char *name;
    bool takesText;
    bool takesJob; // the options of a whole job
    bool takesOffset;
};

// Reads the text from --text or --text-file. Returns an exit code, or -1.
int ReadText(const ParsedArgs &parsed, const CommandKind &kind, Request &request);
// The paper, orientation, page selection, number-up, columns and margins:
// the library's page box on the paper. Returns an exit code, or -1.
int ReadPageGeometry(const ParsedArgs &parsed, const CommandKind &kind, Request &request);
// The help of job, download or remove.
std::string HelpOf(const CommandKind &kind);

// Option values and encoding names compare without regard to ASCII case.
std::string AsciiLower(std::string_view text);
