// SPDX-License-Identifier: MIT
// fndl-gstopxl: cups-filters' gstopxl (Ghostscript's PCL XL driver) with
// CUPS's page accounting. Ghostscript writes no PAGE: lines, and pdftopdf
// counts pages only for some chains (images reach gstopxl without it), so
// this filter counts the pages of the PCL XL stream as it passes: one PAGE:
// line when a page's EndPage has gone out to the printer.
//
//   fndl-gstopxl job-id user title copies options [file]
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "filter.h"
#include "pagecount.h"

extern char **environ;

namespace {

volatile pid_t g_child = 0;

// gstopxl is a shell script that runs gstoraster and Ghostscript: the
// cancel goes to its whole process group.
void OnTerm(int)
{
    if (g_child > 0)
        kill(-g_child, SIGTERM);
}

bool WriteAll(const uint8_t *data, size_t size)
{
    while (size > 0) {
        const ssize_t put = write(STDOUT_FILENO, data, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        data += put;
        size -= static_cast<size_t>(put);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 6 || argc > 7) {
        std::fprintf(stderr, "ERROR: usage: fndl-gstopxl job-id user title copies options [file]\n");
        return 1;
    }
    const char *serverBin = std::getenv("CUPS_SERVERBIN");
    const std::string gstopxl =
        std::string(serverBin && *serverBin ? serverBin : "/usr/lib/cups") + "/filter/gstopxl";

    struct sigaction action {};
    action.sa_handler = OnTerm;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
        std::fprintf(stderr, "ERROR: fndl-gstopxl: cannot make a pipe: %s\n", std::strerror(errno));
        return 1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawnattr_t attributes;
    InitChildSpawnAttributes(attributes, true);
    argv[0] = const_cast<char *>(gstopxl.c_str());
    sigset_t term;
    sigset_t before;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigprocmask(SIG_BLOCK, &term, &before);
    pid_t child = 0;
    const int spawnError =
        posix_spawn(&child, gstopxl.c_str(), &actions, &attributes, argv, environ);
    if (spawnError == 0)
        g_child = child;
    sigprocmask(SIG_SETMASK, &before, nullptr);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(out[1]);
    if (spawnError != 0) {
        std::fprintf(stderr, "ERROR: fndl-gstopxl: cannot run %s: %s\n", gstopxl.c_str(),
                     std::strerror(spawnError));
        return 1;
    }

    // Each page is counted once its last byte is written; copies are pages
    // of the stream too (pdftopdf makes them), so each PAGE: line is one.
    PclXlPageCounter counter;
    int pages = 0;
    bool writing = true;
    uint8_t buffer[65536];
    for (;;) {
        const ssize_t got = read(out[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        size_t done = 0;
        while (done < static_cast<size_t>(got)) {
            const size_t end = counter.Feed(buffer + done, static_cast<size_t>(got) - done);
            if (writing && !WriteAll(buffer + done, end))
                writing = false;
            done += end;
            if (counter.pageEnded) {
                if (writing)
                    std::fprintf(stderr, "PAGE: %d 1\n", ++pages);
                std::fflush(stderr);
            }
        }
    }
    close(out[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status)) {
        std::signal(WTERMSIG(status), SIG_DFL);
        raise(WTERMSIG(status));
    }
    if (!writing) {
        std::fprintf(stderr, "ERROR: fndl-gstopxl: cannot write the job: %s\n", std::strerror(errno));
        return 1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
