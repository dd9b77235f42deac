// SPDX-License-Identifier: MIT
// fndl-texttopxl: CUPS filter from text/plain (UTF-8) to a PCL XL job whose
// text goes to the printer as a TrueType soft font.
//
//   fndl-texttopxl job-id user title copies options [file]
//
// Honours the text options of CUPS: media (from the PPD's PageSize),
// page-left/-right/-top/-bottom (points), cpi, lpi, orientation-requested or
// landscape, prettyprint, and fndl-font.
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "filter.h"

namespace {

// A non-negative decimal number, as CUPS's text options are given.
bool IsDecimal(const char *text)
{
    if (!text || !*text)
        return false;
    char *end = nullptr;
    const double value = std::strtod(text, &end);
    return *end == '\0' && value >= 0;
}

// The charset parameter of the document format, when CUPS gives one; only
// UTF-8 (and its subset US-ASCII) are set.
bool CharsetIsUtf8(std::string &charset)
{
    const char *type = std::getenv("CONTENT_TYPE");
    const char *param = type ? strcasestr(type, "charset=") : nullptr;
    if (!param)
        return true;
    charset = param + 8;
    charset = charset.substr(0, charset.find_first_of("; "));
    return strcasecmp(charset.c_str(), "utf-8") == 0 || strcasecmp(charset.c_str(), "utf8") == 0 ||
           strcasecmp(charset.c_str(), "us-ascii") == 0;
}

} // namespace

int main(int argc, char **argv)
{
    FilterJob job;
    if (!ReadFilterJob(argc, argv, "fndl-texttopxl", job))
        return 1;
    std::string charset;
    if (!CharsetIsUtf8(charset)) {
        Message("ERROR", "fndl-texttopxl prints UTF-8 text only, not " + charset +
                             "; convert the file to UTF-8 (iconv -t UTF-8)");
        return 1;
    }

    std::vector<std::string> args = CommonToolArgs(job);
    for (const char *option : {"page-left", "page-right", "page-top", "page-bottom", "cpi", "lpi"}) {
        const char *value = job.Option(option);
        if (!value)
            continue;
        if (IsDecimal(value) && (std::strtod(value, nullptr) > 0 || std::strncmp(option, "page-", 5) == 0))
            args.insert(args.end(), {std::string("--") + option, value});
        else
            Message("WARNING", std::string("ignoring ") + option + "=" + value + ": not a number");
    }
    const char *orientation = job.Option("orientation-requested");
    if ((orientation && (std::atoi(orientation) == 4 || std::atoi(orientation) == 5)) ||
        IsTrue(job.Option("landscape")))
        args.push_back("--landscape");
    if (IsTrue(job.Option("prettyprint")))
        args.insert(args.end(), {"--header", job.title});
    args.insert(args.end(), {"--text-file", job.file.empty() ? "-" : job.file});
    const std::string font = FontOf(job);
    return RunTool(job, args,
                   "Setting " + Titled(job) + " in " + (font.empty() ? "the default font" : font));
}
