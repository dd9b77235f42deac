// SPDX-License-Identifier: MIT
// Where a job goes. The library appends to a path on every call, so the job
// is written to a work file: beside FILE, renamed over it at the end (a
// failed job leaves FILE as it was), or, for standard output and for paths
// that are not plain files (/dev/stdout, a pipe, a symbolic link), in the
// temporary directory and copied there at the end; standard output's work
// file is in memory (/dev/shm) where the system has it. The byte count is kept
// as the job grows, so reading what a call appended costs what it appended.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct JobOutput {
    std::string target;   // "-" for standard output
    std::string workPath; // the file the library appends to
    bool renames = false; // the work file becomes the target by rename
    uint64_t size = 0;    // bytes in the work file so far
    bool uncounted = false; // the library appended since size was counted
    uint64_t sent = 0;    // bytes already sent to standard output and cut from the work file
    bool streams = false;  // standard output: sent page by page
    bool discards = false; // a counting pass: no work file, nothing written
    int cleanupSlot = -1; // the work file's place in the list removed on SIGTERM
    bool keepWorkFile = false; // the work file is the target, or not ours

    JobOutput() = default;
    JobOutput(const JobOutput &) = delete;
    JobOutput &operator=(const JobOutput &) = delete;
    ~JobOutput(); // removes the work file unless it is kept
};

// Creates the work file for target. False with the reason.
bool OpenJobOutput(const std::string &target, JobOutput &output, std::string &reason);
// Appends the tool's own bytes. False after printing the reason.
bool AppendToOutput(JobOutput &output, std::span<const uint8_t> bytes);
// Notes that the library appended to the work file: its size is asked of
// the system when it is next needed (the tool's own bytes, a page sent, the
// job's byte count), not after every call. False with the reason.
bool CountAppended(JobOutput &output, std::string &reason);
// Standard output: sends what the work file holds now and cuts the work
// file back to nothing, so that a job's pages reach the printer as they are
// made and the work file holds one page at most. Other targets get the job at the end: true
// without doing anything. False after printing the reason.
bool StreamOut(JobOutput &output);
// The job's bytes so far: those sent and those in the work file.
uint64_t JobBytes(JobOutput &output);
// SIGTERM (a cancelled print job) and SIGPIPE (a reader gone) remove the
// work files and end the process by the signal; other signals keep their
// handling.
void RemoveWorkFilesOnTerm();
// Where work files go: TMPDIR, else /tmp.
std::string WorkFolder();
// Cuts the work file back to size bytes (what was appended after them is
// taken out of the job). False with the reason.
bool CutOutputTo(JobOutput &output, uint64_t size, std::string &reason);
// Puts the finished job where it belongs. False after printing the reason.
bool FinishJobOutput(JobOutput &output);
// Why writing the work file fails now, as the system says it ("No space
// left on device"), or "" when it can be written.
std::string WorkFileProblem(const JobOutput &output);
// True when path names the same file as other (both exist).
bool SameFile(const std::string &path, const std::string &other);
