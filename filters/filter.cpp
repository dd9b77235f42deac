// SPDX-License-Identifier: MIT
// The CUPS side of the filters: arguments, options, PPD, and the tool run as
// a child process whose standard error is turned into CUPS messages.
#include "filter.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

extern char **environ;

namespace {

// The child, for the SIGTERM that CUPS sends to cancel a job.
volatile pid_t g_child = 0;

void ForwardTerm(int)
{
    if (g_child > 0)
        kill(g_child, SIGTERM);
}

std::string ToolPath()
{
    if (const char *path = std::getenv("FNDL_TOOL"); path && *path)
        return path;
    return FNDL_TOOL_INSTALL_PATH;
}

} // namespace

FilterJob::~FilterJob()
{
    if (ppd)
        ppdClose(ppd);
    cupsFreeOptions(numOptions, options);
}

const char *FilterJob::Option(const char *option) const
{
    return cupsGetOption(option, numOptions, options);
}

ppd_choice_t *FilterJob::Marked(const char *keyword) const
{
    return ppd ? ppdFindMarkedChoice(ppd, keyword) : nullptr;
}

void Message(const char *level, const std::string &text)
{
    std::fprintf(stderr, "%s: %s\n", level, text.c_str());
    std::fflush(stderr);
}

bool IsTrue(const char *value)
{
    return value && strcasecmp(value, "no") != 0 && strcasecmp(value, "off") != 0 &&
           strcasecmp(value, "false") != 0;
}

bool ReadFilterJob(int argc, char **argv, const char *name, FilterJob &job)
{
    job.name = name;
    if (argc < 6 || argc > 7) {
        Message("ERROR", std::string("usage: ") + name + " job-id user title copies options [file]");
        return false;
    }
    job.jobId = std::atoi(argv[1]);
    job.user = argv[2];
    job.title = argv[3];
    job.copies = std::max(1, std::atoi(argv[4]));
    job.numOptions = cupsParseOptions(argv[5], 0, &job.options);
    if (argc == 7)
        job.file = argv[6];
    if (const char *path = std::getenv("PPD"); path && *path) {
        job.ppd = ppdOpenFile(path);
        if (!job.ppd) {
            ppd_status_t status = ppdLastError(nullptr);
            Message("ERROR", "cannot read the PPD file " + std::string(path) + ": " +
                                 ppdErrorString(status));
            return false;
        }
        ppdMarkDefaults(job.ppd);
        cupsMarkOptions(job.ppd, job.numOptions, job.options);
    }
    return true;
}

std::vector<std::string> CommonToolArgs(const FilterJob &job)
{
    std::vector<std::string> args = {"job", "-q", "--page-log", "--pjl", "-o", "-"};

    // The tool knows the paper names (PPD keywords, IPP media names) and
    // refuses a size the printer cannot be told.
    std::string paper = "A4";
    if (const ppd_choice_t *size = job.Marked("PageSize"))
        paper = size->choice;
    else if (const char *media = job.Option("media"))
        paper = media;
    else if (const char *pageSize = job.Option("PageSize"))
        paper = pageSize;
    args.insert(args.end(), {"--media", paper});

    long resolution = 0;
    if (const ppd_choice_t *choice = job.Marked("Resolution"))
        resolution = std::atol(choice->choice);
    else if (const ppd_attr_t *attr = job.ppd ? ppdFindAttr(job.ppd, "DefaultResolution", nullptr)
                                              : nullptr)
        resolution = std::atol(attr->value);
    if (resolution > 0)
        args.insert(args.end(), {"--resolution", std::to_string(resolution)});

    // fndl-font: a PPD choice's text is the face name; a value the PPD does
    // not list is taken as a face name itself, so that any installed font
    // can be asked for.
    const char *requested = job.Option("fndl-font");
    const ppd_choice_t *font = job.Marked("fndl-font");
    if (font && (!requested || strcasecmp(requested, font->choice) == 0))
        args.insert(args.end(), {"--font", font->text[0] ? font->text : font->choice});
    else if (requested && *requested)
        args.insert(args.end(), {"--font", requested});

    args.insert(args.end(), {"--job-name", job.title});
    if (job.copies > 1)
        args.insert(args.end(), {"--copies", std::to_string(job.copies)});
    return args;
}

int RunTool(const FilterJob &job, const std::vector<std::string> &args)
{
    const std::string tool = ToolPath();
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(tool.c_str()));
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);

    int errPipe[2];
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        Message("ERROR", std::string("cannot make a pipe: ") + std::strerror(errno));
        return 1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGTERM, ForwardTerm);
    pid_t child = 0;
    const int spawnError =
        posix_spawn(&child, tool.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(errPipe[1]);
    if (spawnError != 0) {
        close(errPipe[0]);
        Message("ERROR", "cannot run " + tool + ": " + std::strerror(spawnError));
        return 1;
    }
    g_child = child;

    // PAGE: lines go on at once, for CUPS's page accounting while the job
    // runs; the rest waits for the tool's exit status, which tells whether
    // they were warnings or the reason it failed.
    std::vector<std::string> held;
    std::string line;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(errPipe[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        for (ssize_t i = 0; i < got; ++i) {
            if (buffer[i] != '\n') {
                line += buffer[i];
                continue;
            }
            if (line.starts_with("PAGE: ")) {
                std::fprintf(stderr, "%s\n", line.c_str());
                std::fflush(stderr);
            } else if (!line.empty()) {
                held.push_back(line);
            }
            line.clear();
        }
    }
    if (!line.empty())
        held.push_back(line);
    close(errPipe[0]);

    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    g_child = 0;
    const bool done = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    for (std::string &text : held) {
        if (text.starts_with("fndl: "))
            text.erase(0, 6);
        Message(done ? "WARNING" : "ERROR", text);
    }
    if (!done) {
        if (WIFSIGNALED(status))
            Message("ERROR", std::string(job.name) + ": " + tool + " ended by signal " +
                                 std::to_string(WTERMSIG(status)));
        else
            Message("ERROR", std::string(job.name) + ": " + tool + " failed with exit status " +
                                 std::to_string(WEXITSTATUS(status)) + "; the job is not printed");
        return 1;
    }
    return 0;
}
