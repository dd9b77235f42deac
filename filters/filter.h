// SPDX-License-Identifier: MIT
// CUPS filters that turn plain text and banner files into PCL XL jobs whose
// text goes to the printer as TrueType soft fonts. Both run 'fndl job' with
// the job on standard output; this is what they share: the CUPS filter
// arguments, the options and the PPD, and running the tool.
#pragma once

#include <string>
#include <vector>

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

// Reads the arguments and the PPD. False (after an ERROR: line) when the
// arguments are not a filter's.
bool ReadFilterJob(int argc, char **argv, const char *name, FilterJob &job);

// The 'fndl job' options every job of this printer takes: the paper, the
// resolution, the font, the printer job language around the job with the job
// name and copies, one PAGE: line per page, the job on standard output. The
// printer makes the copies (PJL SET COPIES), so the filter asks for them
// whatever cupsManualCopies says: CUPS leaves copies to the filter either way.
std::vector<std::string> CommonToolArgs(const FilterJob &job);

// Runs the tool with these arguments (after "job"): standard input and
// output are the filter's, PAGE: lines pass straight through, and the tool's
// other messages become WARNING: lines, or ERROR: lines when it fails.
// Returns the filter's exit status: 0 done, 1 failed.
int RunTool(const FilterJob &job, const std::vector<std::string> &args);

// One message line for CUPS: "LEVEL: text".
void Message(const char *level, const std::string &text);

// An option value that switches something on: present and not "no", "off"
// or "false".
bool IsTrue(const char *value);
