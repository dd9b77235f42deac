// SPDX-License-Identifier: MIT
// fndl-texttopxl: CUPS filter from text/plain to a PCL XL job whose text
// goes to the printer as a TrueType soft font.
//
//   fndl-texttopxl job-id user title copies options [file]
//
// Honours the text options of CUPS: media (from the PPD's PageSize),
// orientation-requested or landscape, page-left/-right/-top/-bottom
// (points), cpi, lpi, columns, page-ranges, page-set, number-up,
// number-up-layout, prettyprint, fndl-font and fndl-direction (rtl or ltr:
// every paragraph's direction; by default its first strong character's). The charset of the document
// format names the text's encoding; text in no known encoding is still
// printed. Values out of range are clamped with a warning, never fail the job.
#include <iconv.h>

#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "filter.h"

namespace {

// A decimal number, as CUPS's text options are given; negative margins are
// numbers too, which the tool clamps.
bool IsDecimal(const char *text)
{
    if (!text || !*text)
        return false;
    char *end = nullptr;
    std::strtod(text, &end);
    return *end == '\0';
}

// The charset parameter of the document format, when CUPS gives one.
std::string Charset()
{
    const char *type = std::getenv("CONTENT_TYPE");
    const char *param = type ? strcasestr(type, "charset=") : nullptr;
    if (!param)
        return "";
    std::string charset = param + 8;
    return charset.substr(0, charset.find_first_of("; "));
}

// orientation-requested: 3 portrait, 4 landscape, 5 reverse landscape,
// 6 reverse portrait.
const char *OrientationName(const char *value)
{
    switch (value ? std::atoi(value) : 0) {
    case 3: return "portrait";
    case 4: return "landscape";
    case 5: return "reverse-landscape";
    case 6: return "reverse-portrait";
    default: return nullptr;
    }
}

} // namespace

int main(int argc, char **argv)
{
    FilterJob job;
    if (!ReadFilterJob(argc, argv, "fndl-texttopxl", job))
        return 1;

    std::vector<std::string> args = CommonToolArgs(job);
    args.push_back("--clamp");
    // A charset that iconv does not know is left to the tool's guess: the
    // job prints either way.
    if (const std::string charset = Charset(); !charset.empty()) {
        const iconv_t converter = iconv_open("UTF-8", charset.c_str());
        if (converter != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(converter);
            args.insert(args.end(), {"--encoding", charset});
        } else {
            Message("WARNING", "unknown charset " + charset + ": the text is read as UTF-8, or "
                                                           "as Windows-1252 when it is not");
        }
    }
    // Margins not asked for are the PPD's imageable area, as texttopdf
    // takes them.
    const ppd_size_t *size = job.ppd ? ppdPageSize(job.ppd, nullptr) : nullptr;
    for (const char *option : {"page-left", "page-right", "page-top", "page-bottom", "cpi", "lpi"}) {
        const char *value = job.Option(option);
        if (!value && size && std::strncmp(option, "page-", 5) == 0) {
            const float margin = option[5] == 'l'   ? size->left
                                 : option[5] == 'r' ? size->width - size->right
                                 : option[5] == 't' ? size->length - size->top
                                                    : size->bottom;
            args.insert(args.end(), {std::string("--") + option, std::to_string(margin)});
            continue;
        }
        // CUPS's text defaults: 10 characters and 6 lines per inch, as
        // texttopdf sets text (the tool's own are 12 pt at 1.2 lines).
        if (!value && std::strcmp(option, "cpi") == 0)
            value = "10";
        else if (!value && std::strcmp(option, "lpi") == 0)
            value = "6";
        if (!value)
            continue;
        if (IsDecimal(value))
            args.insert(args.end(), {std::string("--") + option, value});
        else
            Message("WARNING", std::string("ignoring ") + option + "=" + value + ": not a number");
    }
    if (const char *name = OrientationName(job.Option("orientation-requested")))
        args.insert(args.end(), {"--orientation", name});
    else if (IsTrue(job.Option("landscape")))
        args.push_back("--landscape");
    if (const char *columns = job.Option("columns")) {
        const int count = std::atoi(columns);
        if (count >= 1 && count <= 16)
            args.insert(args.end(), {"--columns", std::to_string(count)});
        else
            Message("WARNING", std::string("ignoring columns=") + columns + ": 1 to 16 columns");
    }
    if (const char *ranges = job.Option("page-ranges"))
        args.insert(args.end(), {"--page-ranges", ranges});
    if (const char *set = job.Option("page-set"))
        args.insert(args.end(), {"--page-set", set});
    if (const char *numberUp = job.Option("number-up")) {
        const int count = std::atoi(numberUp);
        if (count == 1 || count == 2 || count == 4)
            args.insert(args.end(), {"--number-up", std::to_string(count)});
        else
            Message("WARNING", std::string("number-up=") + numberUp +
                                   " is not offered: one page per sheet (2 and 4 are)");
    }
    if (const char *layout = job.Option("number-up-layout"))
        args.insert(args.end(), {"--number-up-layout", layout});
    if (const char *direction = job.Option("fndl-direction")) {
        if (strcasecmp(direction, "rtl") == 0)
            args.push_back("--rtl");
        else if (strcasecmp(direction, "ltr") == 0)
            args.push_back("--ltr");
        else
            Message("WARNING", std::string("ignoring fndl-direction=") + direction + ": rtl or ltr");
    }
    if (IsTrue(job.Option("prettyprint")))
        args.insert(args.end(), {"--header", job.title});
    args.insert(args.end(), {"--text-file", job.file.empty() ? "-" : job.file});
    const std::string font = FontOf(job);
    return RunTool(job, args,
                   "Setting " + Titled(job) + " in " + (font.empty() ? "the default font" : font));
}
