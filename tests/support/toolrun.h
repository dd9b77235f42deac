// Runs the built fndl tool as a subprocess, for the tool's tests.
#pragma once

#include <string>
#include <vector>

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// fndl with these arguments, no standard input; its exit code and output.
// Only in builds that know the tool's path (FNDL_TOOL_PATH).
ToolRun RunTool(const std::vector<std::string> &args);
