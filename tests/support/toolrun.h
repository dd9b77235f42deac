// SPDX-License-Identifier: MIT
// Runs the built fndl tool as a subprocess, for the tool's tests.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/requests.h"

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// fndl with these arguments and standard input from the file input; its
// exit code and output. Only in builds that know the tool's path
// (FNDL_TOOL_PATH).
ToolRun RunTool(const std::vector<std::string> &args, const std::string &input = "/dev/null");

// A directory path, not created, removed with all it holds.
struct TempDir {
    TempPath path{".d"};
    ~TempDir() { std::filesystem::remove_all(path.path); }
};
