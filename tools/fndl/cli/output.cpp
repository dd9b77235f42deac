// SPDX-License-Identifier: MIT
// The job's work file, its growth, and where it ends up.
#include "cli/output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/fndl.h"

namespace {

constexpr size_t kCopyBlock = 65536;

std::string DirectoryOf(const std::string &path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Copies the work file to an open stream; false with the system's reason.
bool CopyWorkFile(const std::string &workPath, FILE *to, std::string &reason)
{
    const int from = open(workPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (from < 0) {
        reason = std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> block(kCopyBlock);
    bool copied = true;
    for (;;) {
        const ssize_t got = read(from, block.data(), block.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            copied = got == 0;
            if (!copied)
                reason = std::strerror(errno);
            break;
        }
        if (std::fwrite(block.data(), 1, static_cast<size_t>(got), to) != static_cast<size_t>(got)) {
            copied = false;
            reason = std::strerror(errno ? errno : EIO);
            break;
        }
    }
    close(from);
    if (copied && std::fflush(to) != 0) {
        copied = false;
        reason = std::strerror(errno ? errno : EIO);
    }
    return copied;
}

// The work files a SIGTERM removes: fixed slots, so that the handler only
// reads memory that stays put and calls unlink.
constexpr int kCleanupSlots = 4;
struct CleanupSlot {
    char path[4096];
    volatile sig_atomic_t used;
};
CleanupSlot g_cleanup[kCleanupSlots];

int AddCleanup(const std::string &path)
{
    if (path.size() >= sizeof g_cleanup[0].path)
        return -1;
    for (int i = 0; i < kCleanupSlots; ++i) {
        if (!g_cleanup[i].used) {
            std::memcpy(g_cleanup[i].path, path.c_str(), path.size() + 1);
            g_cleanup[i].used = 1;
            return i;
        }
    }
    return -1;
}

void RemoveCleanup(int slot)
{
    if (slot >= 0)
        g_cleanup[slot].used = 0;
}

void RemoveOnTerm(int signalNumber)
{
    for (CleanupSlot &slot : g_cleanup) {
        if (slot.used)
            unlink(slot.path);
    }
    std::signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

// Moves size on past what the library appended since it was counted (the
// file's size, nothing read). False with the reason.
bool SettleSize(JobOutput &output, std::string &reason)
{
    if (!output.uncounted)
        return true;
    struct stat status {};
    if (stat(output.workPath.c_str(), &status) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    output.size = std::max(output.size, static_cast<uint64_t>(status.st_size));
    output.uncounted = false;
    return true;
}

} // namespace

JobOutput::~JobOutput()
{
    RemoveCleanup(cleanupSlot);
    if (!workPath.empty() && !keepWorkFile)
        unlink(workPath.c_str());
}

void RemoveWorkFilesOnTerm()
{
    struct sigaction action {};
    action.sa_handler = RemoveOnTerm;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    // A reader that goes away (| head) ends the job as a SIGTERM does.
    sigaction(SIGPIPE, &action, nullptr);
}

std::string WorkFolder()
{
    const char *tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

bool StreamOut(JobOutput &output)
{
    std::string reason;
    if (!SettleSize(output, reason)) {
        PrintError("cannot write the job: " + reason);
        return false;
    }
    if (!output.streams || output.size == 0)
        return true;
    if (output.streams && !CopyWorkFile(output.workPath, stdout, reason)) {
        PrintError("cannot write standard output: " + reason);
        return false;
    }
    if (truncate(output.workPath.c_str(), 0) != 0) {
        PrintError("cannot cut the work file '" + output.workPath + "': " + std::strerror(errno));
        return false;
    }
    output.sent += output.size;
    output.size = 0;
    return true;
}

bool SameFile(const std::string &path, const std::string &other)
{
    struct stat a {};
    struct stat b {};
    return stat(path.c_str(), &a) == 0 && stat(other.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

namespace {

// Standard output's work file holds one page at a time, and the library
// opens, appends to and closes it on every call: in memory (tmpfs) that
// costs a fraction of what it does on a disk file system, which updates
// its journal per call and flushes the page after each cut.
constexpr const char *kMemoryFolder = "/dev/shm";

// Makes a work file from pattern (its XXXXXX replaced) and puts it on the
// list a SIGTERM removes. The file's descriptor, or -1 with errno.
int MakeWorkFile(const std::string &pattern, JobOutput &output)
{
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    // A SIGTERM (or SIGPIPE) waits until the new file is on the list it
    // removes.
    sigset_t term;
    sigset_t before;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigaddset(&term, SIGPIPE);
    sigprocmask(SIG_BLOCK, &term, &before);
    const int fd = mkstemp(path.data());
    const int error = errno;
    if (fd >= 0)
        output.cleanupSlot = AddCleanup(path.data());
    sigprocmask(SIG_SETMASK, &before, nullptr);
    if (fd >= 0)
        output.workPath = path.data();
    errno = error;
    return fd;
}

} // namespace

bool OpenJobOutput(const std::string &target, JobOutput &output, std::string &reason)
{
    output.target = target;
    int fd = -1;
    if (target == "-") {
        // TMPDIR must be usable all the same: a job does not fail or pass
        // by whether the system has a memory file system.
        const std::string folder = WorkFolder();
        if (access(folder.c_str(), W_OK | X_OK) != 0) {
            reason = "no work file can be made in TMPDIR '" + folder + "': " + std::strerror(errno);
            return false;
        }
        fd = MakeWorkFile(std::string(kMemoryFolder) + "/fndl-job.XXXXXX", output);
    }
    struct stat status {};
    const bool exists = target != "-" && lstat(target.c_str(), &status) == 0;
    output.renames = target != "-" && (!exists || S_ISREG(status.st_mode));
    std::string pattern;
    if (output.renames) {
        const size_t slash = target.rfind('/');
        const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
        pattern = DirectoryOf(target) + "/." + name + ".XXXXXX";
    } else {
        pattern = WorkFolder() + "/fndl-job.XXXXXX";
    }
    if (fd < 0)
        fd = MakeWorkFile(pattern, output);
    if (fd < 0) {
        reason = std::strerror(errno);
        if (!output.renames)
            reason = "no work file can be made in TMPDIR '" + WorkFolder() + "': " + reason;
        return false;
    }
    if (output.renames) {
        // mkstemp makes the file private; the job gets the usual mode.
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(fd, exists ? status.st_mode & 07777 : 0666 & ~mask);
    }
    close(fd);
    output.size = 0;
    output.streams = target == "-";
    return true;
}

bool AppendToOutput(JobOutput &output, std::span<const uint8_t> bytes)
{
    if (output.discards)
        return true;
    if (std::string reason; !SettleSize(output, reason)) {
        PrintError("cannot write the job: " + reason);
        return false;
    }
    std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(output.workPath.c_str(), "ab"),
                                                std::fclose);
    int error = file ? 0 : errno;
    // An empty span may have no data pointer, which fwrite must not get.
    if (file && !bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        error = errno ? errno : EIO;
    if (file && std::fclose(file.release()) != 0 && error == 0)
        error = errno ? errno : EIO;
    if (error != 0) {
        PrintError("cannot write '" + (output.target == "-" ? output.workPath : output.target) +
                   "': " + std::strerror(error));
        return false;
    }
    output.size += bytes.size();
    return true;
}

bool CountAppended(JobOutput &output, std::string & /*reason*/)
{
    output.uncounted = !output.discards;
    return true;
}

uint64_t JobBytes(JobOutput &output)
{
    std::string reason;
    SettleSize(output, reason);
    return output.sent + output.size;
}

bool CutOutputTo(JobOutput &output, uint64_t size, std::string &reason)
{
    if (truncate(output.workPath.c_str(), static_cast<off_t>(size)) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    output.size = size;
    output.uncounted = false;
    return true;
}

std::string WorkFileProblem(const JobOutput &output)
{
    // Nearly full is full: what did not fit was a font header or a block of
    // text, and a few blocks may still be free.
    constexpr uint64_t kNearlyFull = 1 << 20;
    struct statvfs space {};
    if (statvfs(output.workPath.c_str(), &space) == 0 &&
        static_cast<uint64_t>(space.f_bavail) * space.f_frsize < kNearlyFull)
        return std::strerror(ENOSPC);
    FILE *file = std::fopen(output.workPath.c_str(), "ab");
    if (!file)
        return std::strerror(errno);
    std::fclose(file);
    return "";
}

bool FinishJobOutput(JobOutput &output)
{
    std::string reason;
    bool done = false;
    if (output.renames) {
        done = rename(output.workPath.c_str(), output.target.c_str()) == 0;
        if (!done)
            reason = std::strerror(errno);
    } else if (output.target == "-") {
        return StreamOut(output);
    } else {
        std::unique_ptr<FILE, int (*)(FILE *)> to(std::fopen(output.target.c_str(), "wb"),
                                                  std::fclose);
        if (!to)
            reason = std::strerror(errno);
        else
            done = CopyWorkFile(output.workPath, to.get(), reason);
        if (to && std::fclose(to.release()) != 0 && done) {
            done = false;
            reason = std::strerror(errno ? errno : EIO);
        }
    }
    if (!done) {
        PrintError("cannot write '" + (output.target == "-" ? "standard output" : output.target) +
                   "': " + reason);
        return false;
    }
    if (output.renames) {
        output.keepWorkFile = true; // the work file is the target now
        RemoveCleanup(output.cleanupSlot);
        output.cleanupSlot = -1;
    }
    return true;
}
