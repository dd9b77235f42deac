// SPDX-License-Identifier: MIT
#include "support/toolrun.h"

#include <sys/wait.h>

#include <cstdlib>

#include "support/requests.h"

#ifdef FNDL_TOOL_PATH

namespace {

std::string ShellQuoted(const std::string &word)
{
    std::string quoted = "'";
    for (const char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

} // namespace

ToolRun RunTool(const std::vector<std::string> &args, const std::string &input)
{
    TempPath out(".out");
    TempPath err(".err");
    std::string command = ShellQuoted(FNDL_TOOL_PATH);
    for (const std::string &arg : args)
        command += " " + ShellQuoted(arg);
    command += " >" + out.path + " 2>" + err.path + " <" + ShellQuoted(input);
    const int status = std::system(command.c_str());
    ToolRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const std::vector<uint8_t> outBytes = out.Read();
    const std::vector<uint8_t> errBytes = err.Read();
    run.out.assign(outBytes.begin(), outBytes.end());
    run.err.assign(errBytes.begin(), errBytes.end());
    return run;
}

#endif // FNDL_TOOL_PATH
