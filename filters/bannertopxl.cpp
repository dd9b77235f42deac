// SPDX-License-Identifier: MIT
// fndl-bannertopxl: CUPS filter from banner files to a PCL XL cover page set
// in a TrueType soft font.
//
//   fndl-bannertopxl job-id user title copies options [file]
//
// Reads both banner types: application/vnd.cups-banner ("#CUPS-BANNER":
// Show, Header, Footer, Notice, Image) and application/vnd.cups-pdf-banner
// ("#PDF-BANNER", as Debian ships them: Template, Show). Every banner gets
// one layout, drawn by 'fndl job --cover': a frame, the job's title as the
// heading, the Show attributes (filled from the arguments, the options, the
// PPD and the environment that CUPS gives filters) as a table of labels and
// values, the header, footer and notices in their places. A PDF template
// named after a CUPS classification (secret.pdf, ...) puts the
// classification at the top, the bottom and under the heading; the form
// template (form_english.pdf) gives labelled fields with lines to write on.
// Images and the templates' own drawings are not drawn.
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <sstream>

#include "filter.h"

namespace {

struct Banner {
    std::vector<std::string> show;
    std::string header;
    std::string footer;
    std::vector<std::string> notices;
    std::string classification; // from a PDF template's name
    bool form = false;          // a form template
};

std::string Trimmed(const std::string &text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The classification a PDF template stands for, by CUPS's banner names.
std::string Classification(std::string templateName)
{
    const size_t slash = templateName.rfind('/');
    if (slash != std::string::npos)
        templateName.erase(0, slash + 1);
    templateName = templateName.substr(0, templateName.find('.'));
    const std::pair<const char *, const char *> names[] = {
        {"classified", "Classified"}, {"confidential", "Confidential"}, {"secret", "Secret"},
        {"topsecret", "Top Secret"},  {"unclassified", "Unclassified"},
    };
    for (const auto &[name, text] : names) {
        if (strcasecmp(templateName.c_str(), name) == 0)
            return text;
    }
    return "";
}

// False with an ERROR: line when the bytes are no banner file.
bool ParseBanner(const std::string &bytes, Banner &banner)
{
    std::istringstream in(bytes);
    std::string line;
    std::getline(in, line);
    line = Trimmed(line);
    const bool pdfBanner = line == "#PDF-BANNER";
    if (line != "#CUPS-BANNER" && !pdfBanner) {
        Message("ERROR", "fndl-bannertopxl: not a banner file (no #CUPS-BANNER or #PDF-BANNER "
                         "first line)");
        return false;
    }
    while (std::getline(in, line)) {
        line = Trimmed(line);
        if (line.empty() || line[0] == '#')
            continue;
        const size_t space = line.find_first_of(" \t");
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? "" : Trimmed(line.substr(space));
        if (key == "Show") {
            std::istringstream words(value);
            banner.show.insert(banner.show.end(), std::istream_iterator<std::string>(words),
                               std::istream_iterator<std::string>());
        } else if (key == "Header") {
            banner.header = value;
        } else if (key == "Footer") {
            banner.footer = value;
        } else if (key == "Notice") {
            banner.notices.push_back(value);
        } else if (key == "Template" && pdfBanner) {
            banner.classification = Classification(value);
            banner.form = value.find("form") != std::string::npos;
        }
        // Image, Font, Font-size and the rest draw nothing on a text page.
    }
    return true;
}

std::string Env(const char *name)
{
    const char *value = std::getenv(name);
    return value ? value : "";
}

std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

// A time option (seconds since the epoch), in local time; "" without it.
std::string TimeOf(const char *seconds)
{
    if (!seconds || !*seconds)
        return "";
    const time_t when = static_cast<time_t>(std::atoll(seconds));
    struct tm local {};
    localtime_r(&when, &local);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %Z", &local);
    return text;
}

std::string PpdAttribute(const FilterJob &job, const char *name)
{
    const ppd_attr_t *attr = job.ppd ? ppdFindAttr(job.ppd, name, nullptr) : nullptr;
    return attr && attr->value ? attr->value : "";
}

// What cupsd adds to every job of a monochrome queue when the user asks
// for nothing: its defaults, not the user's options.
bool IsCupsDefault(const std::string &name, const char *value)
{
    const std::string given = value ? value : "";
    constexpr std::pair<const char *, const char *> kDefaults[] = {
        {"finishings", "3"},          {"number-up", "1"},         {"print-color-mode", "monochrome"},
        {"print-quality", "4"},       {"sides", "one-sided"},     {"page-set", "all"},
        {"number-up-layout", "lrtb"}, {"print-scaling", "auto"},  {"output-order", "normal"},
        {"orientation-requested", "3"}, {"multiple-document-handling", "separate-documents-collated-copies"},
    };
    for (const auto &[option, cupsValue] : kDefaults)
        if (name == option && strcasecmp(given.c_str(), cupsValue) == 0)
            return true;
    return false;
}

// The job's options as the user gave them: without the job attributes
// that CUPS adds and that other Show lines give, and without the defaults
// CUPS fills in.
std::string UserOptions(const FilterJob &job)
{
    std::string text;
    for (int i = 0; i < job.numOptions; ++i) {
        const std::string name = job.options[i].name;
        if (name.starts_with("job-") || name.find("time-at-") != std::string::npos ||
            name == "document-name-supplied" || IsCupsDefault(name, job.options[i].value))
            continue;
        if (!text.empty())
            text += ' ';
        text += name;
        if (job.options[i].value && *job.options[i].value) {
            text += '=';
            text += job.options[i].value;
        }
    }
    return text;
}

// The label and value of one Show attribute; an empty label for an unknown one.
std::pair<std::string, std::string> ShowLine(const FilterJob &job, const std::string &attribute)
{
    const ppd_size_t *size = job.ppd ? ppdPageSize(job.ppd, nullptr) : nullptr;
    if (attribute == "imageable-area")
        return {"Imageable Area", size ? Number(size->left / 72) + " x " + Number(size->bottom / 72) +
                                             " to " + Number(size->right / 72) + " x " +
                                             Number(size->top / 72) + " in"
                                       : ""};
    if (attribute == "job-billing")
        return {"Billing Information", job.Option("job-billing") ? job.Option("job-billing") : ""};
    if (attribute == "job-id")
        return {"Job ID", Env("PRINTER") + "-" + std::to_string(job.jobId)};
    if (attribute == "job-name")
        return {"Title", job.title};
    if (attribute == "job-originating-host-name") {
        const char *host = job.Option("job-originating-host-name");
        return {"Printed From", host ? host : ""};
    }
    if (attribute == "job-originating-user-name")
        return {"Printed By", job.user};
    if (attribute == "job-uuid")
        return {"Job UUID", job.Option("job-uuid") ? job.Option("job-uuid") : ""};
    if (attribute == "options")
        return {"Options", UserOptions(job)};
    if (attribute == "paper-name") {
        const ppd_choice_t *choice = job.Marked("PageSize");
        return {"Media Name", choice ? choice->text : job.Option("media") ? job.Option("media") : ""};
    }
    if (attribute == "paper-size")
        return {"Media Dimensions",
                size ? Number(size->width / 72) + " x " + Number(size->length / 72) + " in" : ""};
    if (attribute == "printer-driver-name")
        return {"Driver Name", PpdAttribute(job, "PCFileName")};
    if (attribute == "printer-driver-version")
        return {"Driver Version", PpdAttribute(job, "FileVersion")};
    if (attribute == "printer-info")
        return {"Description", Env("PRINTER_INFO")};
    if (attribute == "printer-location")
        return {"Location", Env("PRINTER_LOCATION")};
    if (attribute == "printer-make-and-model")
        return {"Make and Model", job.ppd && job.ppd->nickname ? job.ppd->nickname : ""};
    if (attribute == "printer-name")
        return {"Printer Name", Env("PRINTER")};
    if (attribute == "time-at-creation")
        return {"Created On", TimeOf(job.Option("time-at-creation"))};
    if (attribute == "time-at-processing") {
        const char *when = job.Option("time-at-processing");
        return {"Printed On", TimeOf(when ? when : std::to_string(std::time(nullptr)).c_str())};
    }
    return {"", ""};
}

// A text as one line of the cover description: no tabs, no line ends.
std::string OneLine(std::string text)
{
    for (char &c : text) {
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    }
    return text;
}

// The cover page for 'fndl job --cover': heading, classification, header,
// footer, the Show attributes as rows, the form's fields, the notices.
std::string CoverDescription(const FilterJob &job, const Banner &banner)
{
    // The owner stands large under the title on every kind of banner,
    // whatever its Show line lists: the tray is shared.
    std::string text = "heading\t" + OneLine(job.title) + "\n";
    if (!job.user.empty())
        text += "owner\t" + OneLine(job.user) + "\n";
    const auto part = [&text](const char *kind, const std::string &value) {
        if (!value.empty())
            text += std::string(kind) + "\t" + OneLine(value) + "\n";
    };
    part("classification", banner.classification);
    part("header", banner.header);
    part("footer", banner.footer);
    for (const std::string &attribute : banner.show) {
        const auto [label, value] = ShowLine(job, attribute);
        if (label.empty())
            Message("WARNING", "banner attribute " + attribute + " is not known; left out");
        else
            text += "row\t" + OneLine(label) + "\t" + OneLine(value) + "\n";
    }
    if (banner.form) {
        // The fields of CUPS's form template, filled where the job tells,
        // and the ones for whoever takes the job.
        for (const char *attribute : {"job-id", "job-name", "job-originating-user-name",
                                      "printer-name", "printer-info", "time-at-creation",
                                      "time-at-processing", "job-originating-host-name",
                                      "job-uuid", "printer-driver-name", "printer-make-and-model"}) {
            const auto [label, value] = ShowLine(job, attribute);
            text += "field\t" + OneLine(label) + "\t" + OneLine(value) + "\n";
        }
        for (const char *label : {"Received By", "Date", "Signature"})
            text += "field\t" + std::string(label) + "\t\n";
    }
    for (const std::string &notice : banner.notices)
        part("notice", notice);
    return text;
}

// The banner file, from the file CUPS names or standard input. False after
// an ERROR: line when it cannot be read (a folder, an I/O error).
bool ReadBannerFile(const FilterJob &job, std::string &bytes)
{
    // Banner files are a few hundred bytes; one far larger is no banner.
    constexpr size_t kLargest = 1 << 20;
    const int fd = job.file.empty() ? STDIN_FILENO : open(job.file.c_str(), O_RDONLY | O_CLOEXEC);
    int error = fd < 0 ? errno : 0;
    char buffer[4096];
    while (error == 0) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            error = errno;
        if (got <= 0)
            break;
        bytes.append(buffer, static_cast<size_t>(got));
        if (bytes.size() > kLargest)
            error = EFBIG;
    }
    if (fd > STDIN_FILENO)
        close(fd);
    if (error != 0) {
        EndIfCancelled(job);
        Message("ERROR", "fndl-bannertopxl: cannot read the banner file of " + Titled(job) + ": " +
                             std::strerror(error));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    FilterJob job;
    if (!ReadFilterJob(argc, argv, "fndl-bannertopxl", job))
        return 1;
    std::string bytes;
    if (!ReadBannerFile(job, bytes))
        return 1;
    Banner banner;
    if (!ParseBanner(bytes, banner))
        return 1;
    // A cover page is set in a proportional face, regular and bold: the
    // one the job asks for, or DejaVu Sans.
    std::vector<std::string> args = CommonToolArgs(job);
    const std::string face = job.Option("fndl-font") ? FontOf(job) : "DejaVu Sans";
    const auto font = std::find(args.begin(), args.end(), "--font");
    if (font != args.end() && font + 1 != args.end())
        *(font + 1) = face;
    else
        args.insert(args.end(), {"--font", face});
    args.insert(args.end(), {"--cover", "-"});
    return RunTool(job, args, "Setting the cover page of " + Titled(job), CoverDescription(job, banner));
}
