// SPDX-License-Identifier: MIT
// fndl preview: renders the pages of a PCL XL job to PNG images, drawing
// what the library and the tool write: the job's soft fonts (rebuilt as
// 'fndl extract' does and rasterized by FreeType), Text at the cursor with
// its explicit advances, bold, shear and scale, rectangles (the underline),
// and the clip rectangle. Everything else is named on stderr, once per kind.
// The command: options, page file names, and the job read twice: once to
// check it and collect its fonts, once to draw it (previewpage.cpp).
#include "core/fndl.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>

#include "inspect/previewpage.h"
#include "inspect/softfontwalk.h"

namespace {

constexpr long kDefaultDpi = 100;
constexpr long kMaxDpi = 2400;
// The pixels a job may make: enough for any real job at any --dpi, and
// bounded by the job's size, so that a few bytes asking for huge pages or
// glyphs get an error instead of minutes of work.
constexpr double kPixelBudgetBase = 2e8;
constexpr double kPixelBudgetPerJobByte = 4e3;

struct Options {
    std::string job;
    std::string pattern;
    long dpi = kDefaultDpi;
    long onlyPage = 0; // 0: every page
    bool mono = false;
};

// The output name for a page: the pattern's %d (or %0Nd) replaced, "%%" a '%'.
std::string PageFileName(const std::string &pattern, int pageNumber)
{
    std::string name;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            name += pattern[i];
            continue;
        }
        if (pattern[i + 1] == '%') {
            name += '%';
            ++i;
            continue;
        }
        size_t end = i + 1;
        while (pattern[end] != 'd')
            ++end;
        char number[32];
        std::snprintf(number, sizeof number, pattern.substr(i, end - i + 1).c_str(), pageNumber);
        name += number;
        i = end;
    }
    return name;
}

// How many page numbers the pattern holds: "%d" or "%0Nd" (N one digit);
// -1 for any other use of '%'.
int PageNumbersIn(const std::string &pattern)
{
    int count = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%')
            continue;
        const std::string rest = pattern.substr(i + 1, 3);
        if (rest.starts_with("%")) {
            ++i;
        } else if (rest.starts_with("d")) {
            ++count;
            ++i;
        } else if (rest.size() == 3 && rest[0] == '0' && rest[1] >= '1' && rest[1] <= '9' &&
                   rest[2] == 'd') {
            ++count;
            i += 3;
        } else {
            return -1;
        }
    }
    return count;
}

// Writes a page where the pattern puts it, and notes it for the listing.
bool WritePage(const Options &options, const PreviewPage &page, int number,
               std::vector<std::string> &written, std::string &error)
{
    const bool toStdout = options.pattern == "-";
    const std::string name = toStdout ? "-" : PageFileName(options.pattern, number);
    std::unique_ptr<FILE, int (*)(FILE *)> file(toStdout ? stdout : std::fopen(name.c_str(), "wb"),
                                                toStdout ? [](FILE *) { return 0; } : std::fclose);
    std::string reason;
    if (!file) {
        error = "cannot write '" + name + "': " + std::strerror(errno);
        return false;
    }
    if (!WritePng(file.get(), page, options.mono, reason) || std::fflush(file.get()) != 0 ||
        (!toStdout && std::fclose(file.release()) != 0)) {
        error = "cannot write '" + name + "': " + (reason.empty() ? std::strerror(errno) : reason);
        return false;
    }
    written.push_back("page " + std::to_string(number) + ": " + name + " (" +
                      std::to_string(page.width) + " x " + std::to_string(page.height) + ")");
    return true;
}

constexpr const char *kPreviewHelp =
    "usage: fndl preview JOB -o PATTERN [options]\n"
    "\n"
    "Renders the pages of a PCL XL job (a bare stream or one wrapped in PJL) to\n"
    "PNG images, to look at a cover page without a printer. Page n goes to\n"
    "PATTERN with its %d (or %0Nd) replaced by n, e.g. -o page-%d.png; a PATTERN\n"
    "without %d (or '-', standard output) takes a single page: the job's only\n"
    "page or the one --page names. The page has the size of its media (BeginPage\n"
    "MediaSize and Orientation; reverse orientations drawn turned half round);\n"
    "pages of several jobs in one file are numbered across them. The job's soft\n"
    "fonts are rebuilt as 'fndl extract' does and rasterized by FreeType\n"
    "(unhinted) at the SetFont size;\n"
    "each Text is drawn from the cursor with its explicit advances, with the\n"
    "selected bold, shear and scale; rectangles (the underline bar) are painted;\n"
    "the clip rectangle applies; SetPageOrigin and SetPageScale place and size\n"
    "what follows (the frames of --number-up pages). What is not drawn (images,\n"
    "paths other than rectangles, page rotation, fonts that are not soft fonts of\n"
    "the job, ...) is named once per kind on stderr, with its count and first byte\n"
    "offset. A damaged job is\n"
    "reported with its byte offset, no page is written, and the exit status is 1;\n"
    "so is a job that asks for more pixels than its size allows.\n"
    "\n"
    "  -o, --output PATTERN  where the pages go\n"
    "  --dpi N               pixels per inch, 1-2400 (default 100)\n"
    "  --page N              only page N\n"
    "  --mono                1-bit black and white instead of 8-bit gray\n"
    "  -h, --help            this help\n";

} // namespace

int RunPreview(std::span<char *const> args)
{
    constexpr OptionDefinition kOptions[] = {
        {"--output", true, nullptr}, {"-o", true, "--output"}, {"--dpi", true, nullptr},
        {"--page", true, nullptr},   {"--mono", false, nullptr},
    };
    ParsedArgs parsed;
    if (const int exitCode = ParseCommand(
            {"preview", kOptions, kPreviewHelp, 1, "name one job file to preview"}, args, parsed);
        exitCode >= 0)
        return exitCode;
    if (!parsed.Has("--output") || parsed.Get("--output").empty())
        return UsageError("preview", "name where the pages go with -o PATTERN");
    std::string error;
    Options options;
    options.job = parsed.positionals.front();
    options.pattern = parsed.Get("--output");
    options.mono = parsed.Has("--mono");
    if ((parsed.Has("--dpi") &&
         !ParseNumber("--dpi", parsed.Get("--dpi"), 1, kMaxDpi, options.dpi, error)) ||
        (parsed.Has("--page") &&
         !ParseNumber("--page", parsed.Get("--page"), 1, INT32_MAX, options.onlyPage, error)))
        return UsageError("preview", error);
    const int pageNumbers = options.pattern == "-" ? 0 : PageNumbersIn(options.pattern);
    if (pageNumbers < 0 || pageNumbers > 1)
        return UsageError("preview", "PATTERN takes one %d (or %0Nd) and '%%' for a '%'");

    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(options.job, bytes, error)) {
        PrintError("cannot read '" + options.job + "': " + error);
        return kExitFailed;
    }
    // The same faults 'fndl dump' names, found before any page is written.
    SoftFontWalker walker;
    walker.rebuild = true;
    long pages = 0;
    if (!ReadJobFonts(bytes, walker, pages, error)) {
        PrintError("'" + options.job + "' " + error);
        return kExitFailed;
    }
    if (options.onlyPage > pages) {
        PrintError("'" + options.job + "' has " + std::to_string(pages) + " page" +
                   (pages == 1 ? "" : "s") + ", no page " + std::to_string(options.onlyPage));
        return kExitFailed;
    }
    const long written = options.onlyPage ? 1 : pages;
    if (pageNumbers == 0 && written > 1)
        return UsageError("preview", "the job has " + std::to_string(pages) +
                                         " pages: give PATTERN a %d, or choose one with --page");

    PageSettings settings;
    settings.dpi = options.dpi;
    settings.onlyPage = options.onlyPage;
    settings.pixelBudget = kPixelBudgetBase + kPixelBudgetPerJobByte * static_cast<double>(bytes.size());
    std::vector<std::string> listing;
    std::map<std::string, NotDrawn> notDrawn;
    const PageSink sink = [&](const PreviewPage &page, int number, std::string &failure) {
        return WritePage(options, page, number, listing, failure);
    };
    if (!DrawPages(bytes, walker.fonts, settings, sink, notDrawn, error)) {
        PrintError("'" + options.job + "': " + error);
        return kExitFailed;
    }
    for (const auto &[what, entry] : notDrawn)
        PrintError("'" + options.job + "': not drawn: " + what + ", " +
                   std::to_string(entry.count) + (entry.count == 1 ? " time" : " times") +
                   ", first at byte " + std::to_string(entry.firstOffset));
    if (pages == 0)
        PrintError("'" + options.job + "' has no pages");
    if (options.pattern != "-") {
        for (const std::string &line : listing)
            std::printf("%s\n", line.c_str());
    }
    return kExitDone;
}
