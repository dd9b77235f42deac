// SPDX-License-Identifier: MIT
// CUPS filters that turn plain text and banner files into PCL XL jobs whose
// text goes to the printer as TrueType soft fonts. Both run 'fndl job' with
// the job on standard output; this is what they share: the CUPS filter
// arguments, the options and the PPD, and running the tool.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <spawn.h>

#include <cups/cups.h>
#include <cups/ppd.h>

// What CUPS hands a filter: job-id user title copies options [file], the
// parsed options, and the printer's PPD (PPD environment variable) with the
// job's options marked in it.
struct FilterJob {
    const char *name = "";  // the filter's name, for messages
    int jobId = 0;
    std::string user;
    std::string title;
    int copies = 1;
    std::string file;       // empty: standard input
    int numOptions = 0;
    cups_option_t *options = nullptr;
    ppd_file_t *ppd = nullptr;

    FilterJob() = default;
    FilterJob(const FilterJob &) = delete;
    FilterJob &operator=(const FilterJob &) = delete;
    ~FilterJob();

    // The option's value, or null.
    const char *Option(const char *option) const;
    // The PPD's marked choice of a main keyword, or null.
    ppd_choice_t *Marked(const char *keyword) const;
};

// Reads the arguments and the PPD, and takes SIGTERM (CUPS cancelling the
// job) from here on: it is passed to the tool once that runs, and a
// cancelled filter ends without starting it. False (after an ERROR: line)
// when the arguments are not a filter's.
bool ReadFilterJob(int argc, char **argv, const char *name, FilterJob &job);

// The 'fndl job' options every job of this printer takes: the paper, the
// input tray, media type and sides, the resolution, the font, the printer
// job language around the job with the job name and copies, one PAGE: line
// per page, the job on standard output page by page. The
// printer makes the copies (PJL SET COPIES), so the filter asks for them
// whatever cupsManualCopies says: CUPS leaves copies to the filter either way.
std::vector<std::string> CommonToolArgs(const FilterJob &job);

// The PPD's paper for a size asked by name: the same size, else the
// printer's default paper (or a listed size that holds the asked page with
// little to spare when the default cannot), with one WARNING: line.
std::string PaperOfPrinter(const FilterJob &job, const std::string &asked);

// The face the job's text is set in, as the tool is asked for it.
std::string FontOf(const FilterJob &job);

// Runs the tool with these arguments (after "job"): standard input and
// output are the filter's, PAGE: lines pass straight through as each page
// has gone out, and the tool's other messages become WARNING: lines, one per
// kind, or ERROR: lines when it fails; they name the job by its title. stage
// is the INFO: line said before the tool starts. Returns the filter's exit
// status: 0 done, 1 failed. A SIGTERM ends the tool, says so in an INFO:
// line and ends the filter by the same signal.
// With input, the tool's standard input is a pipe that gets it; else the
// filter's own.
int RunTool(const FilterJob &job, const std::vector<std::string> &args, const std::string &stage,
            const std::string &input = "");

// The job's title in quotes, for messages.
std::string Titled(const FilterJob &job);

// Ends the filter as cancelled when a SIGTERM has come.
void EndIfCancelled(const FilterJob &job);

// One message line for CUPS: "LEVEL: text".
void Message(const char *level, const std::string &text);

// Spawn attributes for a child filter: SIGTERM and SIGPIPE at their
// defaults and nothing blocked, in a process group of its own when asked
// (so that a cancel reaches every process it starts). Destroyed by the
// caller.
void InitChildSpawnAttributes(posix_spawnattr_t &attributes, bool bOwnGroup);
// text with every control character (C0, DEL, C1) as a space.
std::string WithoutControls(std::string_view text);
// text when it is UTF-8; else read as Windows-1252 into UTF-8.
std::string AsUtf8(const std::string &text);

// An option value that switches something on: present and not "no", "off"
// or "false".
bool IsTrue(const char *value);
