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

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
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

// The charset of the document format, when CUPS gives one: cupsd passes a
// Print-Job's "text/plain;charset=..." in CHARSET, where utf-8 is also what
// it says when the client named none (the request's own charset), so that
// value leaves the text to the UTF-8 or Windows-1252 decision; a charset
// parameter of CONTENT_TYPE (cupsfilter -i) is taken too.
std::string Charset()
{
    const char *type = std::getenv("CONTENT_TYPE");
    if (const char *param = type ? strcasestr(type, "charset=") : nullptr) {
        std::string charset = param + 8;
        return charset.substr(0, charset.find_first_of("; "));
    }
    const char *charset = std::getenv("CHARSET");
    if (!charset || !*charset || strcasecmp(charset, "utf-8") == 0 || strcasecmp(charset, "utf8") == 0)
        return "";
    return charset;
}

// CUPS's page-ranges: "1-3,7,9-", each page from 1, each range in order.
bool IsPageRanges(const char *text)
{
    const std::string ranges = text;
    if (ranges.empty())
        return false;
    for (size_t at = 0; at <= ranges.size();) {
        const size_t end = std::min(ranges.find(',', at), ranges.size());
        const std::string part = ranges.substr(at, end - at);
        const size_t dash = part.find('-');
        const std::string first = part.substr(0, dash);
        const std::string last = dash == std::string::npos ? first : part.substr(dash + 1);
        const auto number = [](const std::string &digits) {
            if (digits.empty() || digits.size() > 9 ||
                digits.find_first_not_of("0123456789") != std::string::npos)
                return -1L;
            return std::atol(digits.c_str());
        };
        const long from = first.empty() && dash != std::string::npos ? 1 : number(first);
        const long to = last.empty() && dash != std::string::npos ? from : number(last);
        if (part.empty() || (first.empty() && last.empty()) || from < 1 || to < from)
            return false;
        at = end + 1;
    }
    return true;
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
    // A selection the tool cannot read prints every page rather than
    // stopping the job.
    if (const char *ranges = job.Option("page-ranges")) {
        if (IsPageRanges(ranges))
            args.insert(args.end(), {"--page-ranges", ranges});
        else
            Message("WARNING", std::string("ignoring page-ranges=") + ranges +
                                   ": pages and ranges such as 1-3,7,9-; every page is printed");
    }
    if (const char *set = job.Option("page-set")) {
        if (strcasecmp(set, "all") == 0 || strcasecmp(set, "odd") == 0 || strcasecmp(set, "even") == 0)
            args.insert(args.end(), {"--page-set", set});
        else
            Message("WARNING", std::string("ignoring page-set=") + set + ": all, odd or even");
    }
    if (const char *numberUp = job.Option("number-up")) {
        const int count = std::atoi(numberUp);
        if (count == 1 || count == 2 || count == 4)
            args.insert(args.end(), {"--number-up", std::to_string(count)});
        else
            Message("WARNING", std::string("number-up=") + numberUp +
                                   " is not offered: one page per sheet (2 and 4 are)");
    }
    if (const char *layout = job.Option("number-up-layout")) {
        bool known = false;
        for (const char *order : {"lrtb", "lrbt", "rltb", "rlbt", "tblr", "tbrl", "btlr", "btrl"})
            known |= strcasecmp(layout, order) == 0;
        if (known)
            args.insert(args.end(), {"--number-up-layout", layout});
        else
            Message("WARNING", std::string("ignoring number-up-layout=") + layout +
                                   ": lrtb, lrbt, rltb, rlbt, tblr, tbrl, btlr or btrl");
    }
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
