// SPDX-License-Identifier: MIT
// The CUPS side of the filters: arguments, options, PPD, and the tool run as
// a child process whose standard error is turned into CUPS messages.
#include "filter.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include <cups/pwg.h>

extern char **environ;

namespace {

// SIGTERM, which CUPS sends to cancel a job, and the tool it goes on to.
volatile sig_atomic_t g_cancelled = 0;
volatile pid_t g_child = 0;

void OnTerm(int)
{
    g_cancelled = 1;
    if (g_child > 0)
        kill(g_child, SIGTERM);
}

std::string ToolPath()
{
    if (const char *path = std::getenv("FNDL_TOOL"); path && *path)
        return path;
    return FNDL_TOOL_INSTALL_PATH;
}

// The PCL XL MediaSource value of a PPD InputSlot choice: its code's
// "<</MediaPosition N>>setpagedevice" read as cups-filters' gstopxl reads it
// for Ghostscript, so that text, cover pages and documents come from the same
// tray; -1 without a MediaPosition.
int MediaSourceOf(const ppd_choice_t *choice)
{
    const char *at = choice && choice->code ? std::strstr(choice->code, "/MediaPosition") : nullptr;
    if (!at)
        return -1;
    at += std::strlen("/MediaPosition");
    char *end = nullptr;
    const long position = std::strtol(at, &end, 10);
    if (end == at)
        return -1;
    // HP's PostScript positions to PCL XL: auto select, upper, lower and
    // third cassette, manual feed, envelope tray, multipurpose tray.
    switch (position) {
    case 0: return 1;
    case 1: return 4;
    case 2: return 5;
    case 3: return 7;
    case 4: return 2;
    case 5: return 6;
    case 19:
    case 20: return 3;
    default: return 0; // the printer's default source
    }
}

void Replace(std::string &text, const std::string &what, const std::string &with)
{
    if (what.empty())
        return;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
}

// The tool's options that the filters set from CUPS options, longest first
// so that one is never taken for the start of another.
constexpr std::pair<const char *, const char *> kCupsOptionOf[] = {
    {"--number-up-layout", "number-up-layout"}, {"--number-up", "number-up"},
    {"--page-bottom", "page-bottom"},           {"--page-ranges", "page-ranges"},
    {"--orientation", "orientation-requested"}, {"--page-right", "page-right"},
    {"--page-left", "page-left"},               {"--page-set", "page-set"},
    {"--page-top", "page-top"},                 {"--columns", "columns"},
    {"--media", "media"},                       {"--font", "fndl-font"},
    {"--cpi", "cpi"},                           {"--lpi", "lpi"},
};

// The tool's options in a message as the CUPS options a user gives: "--cpi
// 1000 is out of range" is "-o cpi=1000 is out of range", "--page-ranges
// wants ..." is "-o page-ranges wants ...".
std::string WithCupsOptions(std::string text)
{
    if (const size_t at = text.find("; name its encoding with --encoding"); at != std::string::npos)
        text.replace(at, text.size() - at,
                     "; a client names its encoding in the document format "
                     "(text/plain;charset=NAME)");
    for (const auto &[tool, cups] : kCupsOptionOf) {
        const std::string option = tool;
        for (size_t at = text.find(option); at != std::string::npos; at = text.find(option, at + 1)) {
            const size_t end = at + option.size();
            if (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '-'))
                continue;
            std::string with = std::string("-o ") + cups;
            size_t replaced = option.size();
            // "--cpi 1000 is ...": the value given goes with its name.
            if (end + 1 < text.size() && text[end] == ' ') {
                const size_t valueEnd = std::min(text.find(' ', end + 1), text.size());
                const std::string value = text.substr(end + 1, valueEnd - end - 1);
                if (!value.empty() && (std::isdigit(static_cast<unsigned char>(value[0])) ||
                                       value[0] == '-' || value[0] == '.')) {
                    with += "=" + value;
                    replaced = valueEnd - at;
                }
            }
            text.replace(at, replaced, with);
        }
    }
    return text;
}

// A tool message as a CUPS user reads it: without the tool's name and its
// advice to read the tool's help, its options named as CUPS options, the
// job named by its title rather than by the spool file CUPS keeps it in.
std::string ForCups(const FilterJob &job, std::string text)
{
    if (text.starts_with("fndl: "))
        text.erase(0, 6);
    if (const size_t see = text.find(" (see 'fndl"); see != std::string::npos)
        text.erase(see, text.find(')', see) + 1 - see);
    text = WithCupsOptions(std::move(text));
    if (!job.file.empty()) {
        Replace(text, "text file '" + job.file + "'", Titled(job));
        Replace(text, "'" + job.file + "'", Titled(job));
        Replace(text, job.file, Titled(job));
    }
    Replace(text, "standard input", Titled(job));
    return text;
}

// Messages of one kind: the same text but for a character's code point and
// its offset in the text ("no glyph for U+4E2D in ... (first at text offset
// 12): left out").
struct MessageKind {
    std::string pattern; // the text, the code point as "\x01", the offset left out
    std::vector<std::string> codePoints;
    std::string first;   // the first message as it came
    int count = 0;
};

std::string PatternOf(std::string text, std::string &codePoint)
{
    const size_t u = text.find("U+");
    if (u != std::string::npos) {
        size_t end = u + 2;
        while (end < text.size() && std::isxdigit(static_cast<unsigned char>(text[end])))
            ++end;
        codePoint = text.substr(u, end - u);
        text.replace(u, end - u, "\x01");
    }
    if (const size_t first = text.find(" (first at text offset "); first != std::string::npos)
        text.erase(first, text.find(')', first) + 1 - first);
    return text;
}

// One line per kind: "no glyph for 3 characters (U+4E2D, U+6587, U+5B57) in
// any installed font: left out".
std::vector<std::string> Summarized(const std::vector<std::string> &messages)
{
    constexpr size_t kListed = 5;
    std::vector<MessageKind> kinds;
    for (const std::string &message : messages) {
        std::string codePoint;
        const std::string pattern = PatternOf(message, codePoint);
        auto kind = std::find_if(kinds.begin(), kinds.end(),
                                 [&](const MessageKind &k) { return k.pattern == pattern; });
        if (kind == kinds.end()) {
            kinds.push_back({pattern, {}, message, 0});
            kind = kinds.end() - 1;
        }
        ++kind->count;
        if (!codePoint.empty())
            kind->codePoints.push_back(codePoint);
    }
    std::vector<std::string> lines;
    for (const MessageKind &kind : kinds) {
        if (kind.count == 1) {
            lines.push_back(kind.first);
            continue;
        }
        std::string text = kind.pattern;
        if (!kind.codePoints.empty()) {
            std::string list = std::to_string(kind.codePoints.size()) + " characters (";
            for (size_t i = 0; i < kind.codePoints.size() && i < kListed; ++i)
                list += (i ? ", " : "") + kind.codePoints[i];
            if (kind.codePoints.size() > kListed)
                list += " and " + std::to_string(kind.codePoints.size() - kListed) + " more";
            Replace(text, "\x01", list + ")");
        } else {
            text += " (" + std::to_string(kind.count) + " times)";
        }
        lines.push_back(text);
    }
    return lines;
}

// A paper's width and length in points, by its PPD, PWG or legacy name
// ("B4", "iso_b4_250x353mm", "na_number-10_4.125x9.5in"); false for a
// name no one knows.
bool PaperDimensions(const std::string &name, double &width, double &length)
{
    const pwg_media_t *media = pwgMediaForPWG(name.c_str());
    if (!media)
        media = pwgMediaForPPD(name.c_str());
    if (!media)
        media = pwgMediaForLegacy(name.c_str());
    if (!media)
        return false;
    width = media->width * 72.0 / 2540.0;
    length = media->length * 72.0 / 2540.0;
    return true;
}

bool Holds(const ppd_size_t &size, double width, double length, double spare)
{
    constexpr double kRounding = 2.0; // points: PPD sizes are whole points, PWG's hundredths of mm
    return size.width + kRounding >= width && size.length + kRounding >= length &&
           size.width <= width + spare + kRounding && size.length <= length + spare + kRounding;
}

} // namespace

// A paper the PPD lists never stops a job: a size it lacks under the asked
// name is its size of the same dimensions under another name, else the
// printer's default paper, the paper it is loaded with. Only when the
// default cannot hold the asked page and a listed size holds it with at
// most an inch to spare each way (ISO B5 on JIS B5, Folio on Legal) is that
// one used. One WARNING: line names both sizes.
std::string PaperOfPrinter(const FilterJob &job, const std::string &asked)
{
    if (!job.ppd || job.ppd->num_sizes == 0)
        return asked; // the tool knows the names; it refuses another
    for (int i = 0; i < job.ppd->num_sizes; ++i)
        if (strcasecmp(job.ppd->sizes[i].name, asked.c_str()) == 0)
            return job.ppd->sizes[i].name;
    double width = 0;
    double length = 0;
    const bool known = PaperDimensions(asked, width, length);
    const ppd_size_t *same = nullptr;
    const ppd_size_t *near = nullptr;
    for (int i = 0; known && i < job.ppd->num_sizes; ++i) {
        const ppd_size_t &size = job.ppd->sizes[i];
        if (Holds(size, width, length, 0))
            same = &size;
        else if (Holds(size, width, length, 72) &&
                 (!near || size.width * size.length < near->width * near->length))
            near = &size;
    }
    if (same)
        return same->name;
    const ppd_option_t *option = ppdFindOption(job.ppd, "PageSize");
    const ppd_size_t *fallback = option ? ppdPageSize(job.ppd, option->defchoice) : nullptr;
    if (!fallback)
        fallback = &job.ppd->sizes[0];
    if (near && !Holds(*fallback, width, length, 1e9))
        fallback = near;
    char dimensions[64] = "";
    if (known)
        std::snprintf(dimensions, sizeof dimensions, " (%.0f x %.0f mm)", width * 25.4 / 72,
                      length * 25.4 / 72);
    Message("WARNING", std::string(job.name) + ": the printer has no paper " + asked + dimensions +
                           ": " + Titled(job) + " is printed on " + fallback->name);
    return fallback->name;
}

// LeakSanitizer builds: libcups 2.4 keeps four strings of the PPD cache that
// cupsMarkOptions makes for media options past ppdClose. That is the
// library's, not this filter's; cupsfilter gives filters no LSAN_OPTIONS,
// so the suppression lives here, exported for the sanitizer runtime to find.
// Unused in other builds.
extern "C" __attribute__((visibility("default"))) const char *__lsan_default_suppressions()
{
    return "leak:_ppdCacheCreateWithPPD\n";
}

FilterJob::~FilterJob()
{
    if (ppd)
        ppdClose(ppd);
    cupsFreeOptions(numOptions, options);
}

const char *FilterJob::Option(const char *option) const
{
    return cupsGetOption(option, numOptions, options);
}

ppd_choice_t *FilterJob::Marked(const char *keyword) const
{
    return ppd ? ppdFindMarkedChoice(ppd, keyword) : nullptr;
}

std::string WithoutControls(std::string_view text)
{
    std::string shown;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const bool c1 = byte == 0xC2 && i + 1 < text.size() &&
                        static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[i + 1]) <= 0x9F;
        if (byte < 0x20 || byte == 0x7F || c1) {
            shown += ' ';
            i += c1 ? 1 : 0;
        } else {
            shown += text[i];
        }
    }
    return shown;
}

namespace {

// True when text is well-formed UTF-8 (no overlong forms, surrogates or
// code points past U+10FFFF).
bool IsUtf8(std::string_view text)
{
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2
                              : lead >= 0xE0 && lead <= 0xEF               ? 3
                              : lead >= 0xF0 && lead <= 0xF4               ? 4
                                                                           : 0;
        if (length == 0 || i + length > text.size())
            return false;
        char32_t c = length == 1 ? lead : lead & (0xFF >> (length + 1));
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            c = c << 6 | (next & 0x3F);
        }
        const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < least[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

} // namespace

std::string AsUtf8(const std::string &text)
{
    if (IsUtf8(text))
        return text;
    // Windows-1252: its undefined bytes as U+FFFD.
    static const char16_t kHigh[32] = {
        0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
    };
    std::string utf8;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const char32_t code = byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : byte;
        if (code < 0x80) {
            utf8 += static_cast<char>(code);
        } else if (code < 0x800) {
            utf8 += static_cast<char>(0xC0 | code >> 6);
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            utf8 += static_cast<char>(0xE0 | code >> 12);
            utf8 += static_cast<char>(0x80 | (code >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    return utf8;
}

void Message(const char *level, const std::string &text)
{
    // Whatever the text echoes (a title, an option's value) stays on its
    // one line: a newline in it could forge a PAGE: or ERROR: line.
    std::fprintf(stderr, "%s: %s\n", level, WithoutControls(text).c_str());
    std::fflush(stderr);
}

bool IsTrue(const char *value)
{
    return value && strcasecmp(value, "no") != 0 && strcasecmp(value, "off") != 0 &&
           strcasecmp(value, "false") != 0;
}

std::string Titled(const FilterJob &job)
{
    return "\"" + (job.title.empty() ? std::string("untitled") : job.title) + "\"";
}

void EndIfCancelled(const FilterJob &job)
{
    if (!g_cancelled)
        return;
    Message("INFO", std::string(job.name) + ": " + Titled(job) + " cancelled; nothing is left behind");
    std::signal(SIGTERM, SIG_DFL);
    raise(SIGTERM);
}

bool ReadFilterJob(int argc, char **argv, const char *name, FilterJob &job)
{
    job.name = name;
    struct sigaction action {};
    action.sa_handler = OnTerm;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    if (argc < 6 || argc > 7) {
        Message("ERROR", std::string("usage: ") + name + " job-id user title copies options [file]");
        return false;
    }
    job.jobId = std::atoi(argv[1]);
    // The title and the user as the pages and messages show them: UTF-8
    // (a title in another encoding read as Windows-1252), without controls.
    job.user = WithoutControls(AsUtf8(argv[2]));
    job.title = WithoutControls(AsUtf8(argv[3]));
    job.copies = std::max(1, std::atoi(argv[4]));
    job.numOptions = cupsParseOptions(argv[5], 0, &job.options);
    if (argc == 7)
        job.file = argv[6];
    if (const char *path = std::getenv("PPD"); path && *path) {
        job.ppd = ppdOpenFile(path);
        if (!job.ppd) {
            ppd_status_t status = ppdLastError(nullptr);
            Message("ERROR", "cannot read the PPD file " + std::string(path) + ": " +
                                 ppdErrorString(status));
            return false;
        }
        ppdMarkDefaults(job.ppd);
        cupsMarkOptions(job.ppd, job.numOptions, job.options);
    }
    return true;
}

std::string FontOf(const FilterJob &job)
{
    const char *requested = job.Option("fndl-font");
    const ppd_choice_t *font = job.Marked("fndl-font");
    if (font && (!requested || strcasecmp(requested, font->choice) == 0))
        return font->text[0] ? font->text : font->choice;
    return requested ? requested : "";
}

std::vector<std::string> CommonToolArgs(const FilterJob &job)
{
    std::vector<std::string> args = {"job", "-q", "--page-log", "--pjl", "-o", "-"};

    // The paper asked for, else the PPD's: the tool knows the names (PPD
    // keywords, IPP media names) and refuses a size the printer cannot be
    // told, which the PPD would have left unmarked for its default.
    std::string paper;
    if (const char *pageSize = job.Option("PageSize")) {
        paper = pageSize;
    } else if (const char *media = job.Option("media")) {
        // media lists a size, a type and a source in any order: "A4,Plain".
        const std::string list = media;
        for (size_t at = 0; at < list.size() && paper.empty();) {
            const size_t end = std::min(list.find(',', at), list.size());
            const std::string word = list.substr(at, end - at);
            at = end + 1;
            const bool typeOrSource =
                job.ppd && (ppdFindChoice(ppdFindOption(job.ppd, "MediaType"), word.c_str()) ||
                            ppdFindChoice(ppdFindOption(job.ppd, "InputSlot"), word.c_str()));
            if (!word.empty() && !typeOrSource)
                paper = word;
        }
    }
    if (paper.empty()) {
        const ppd_choice_t *size = job.Marked("PageSize");
        paper = size ? size->choice : "A4";
    }
    args.insert(args.end(), {"--media", PaperOfPrinter(job, paper)});

    // The tray, media type and sides as the PPD's choices give them; a
    // printer whose PPD lacks them gets what it is set to.
    if (const int source = MediaSourceOf(job.Marked("InputSlot")); source >= 0)
        args.insert(args.end(), {"--media-source", std::to_string(source)});
    if (const ppd_choice_t *type = job.Marked("MediaType");
        type && strcasecmp(type->choice, "Default") != 0)
        args.insert(args.end(), {"--media-type", type->choice});
    if (const ppd_choice_t *duplex = job.Marked("Duplex")) {
        const char *mode = strcasecmp(duplex->choice, "DuplexNoTumble") == 0 ? "long-edge"
                           : strcasecmp(duplex->choice, "DuplexTumble") == 0 ? "short-edge"
                                                                             : "one-sided";
        args.insert(args.end(), {"--duplex", mode});
    }

    long resolution = 0;
    if (const ppd_choice_t *choice = job.Marked("Resolution"))
        resolution = std::atol(choice->choice);
    else if (const ppd_attr_t *attr = job.ppd ? ppdFindAttr(job.ppd, "DefaultResolution", nullptr)
                                              : nullptr)
        resolution = std::atol(attr->value);
    if (resolution > 0)
        args.insert(args.end(), {"--resolution", std::to_string(resolution)});

    // fndl-font: a PPD choice's text is the face name; a value the PPD does
    // not list is taken as a face name itself, so that any installed font
    // can be asked for.
    if (const std::string font = FontOf(job); !font.empty())
        args.insert(args.end(), {"--font", font});

    args.insert(args.end(), {"--job-name", job.title});
    if (job.copies > 1)
        args.insert(args.end(), {"--copies", std::to_string(job.copies)});
    return args;
}

int RunTool(const FilterJob &job, const std::vector<std::string> &args, const std::string &stage,
            const std::string &input)
{
    const std::string tool = ToolPath();
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>(tool.c_str()));
    for (const std::string &arg : args)
        argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);

    int errPipe[2];
    if (pipe2(errPipe, O_CLOEXEC) != 0) {
        Message("ERROR", std::string("cannot make a pipe: ") + std::strerror(errno));
        return 1;
    }
    int inPipe[2] = {-1, -1};
    if (!input.empty() && pipe2(inPipe, O_CLOEXEC) != 0) {
        Message("ERROR", std::string("cannot make a pipe: ") + std::strerror(errno));
        close(errPipe[0]);
        close(errPipe[1]);
        return 1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    if (inPipe[0] >= 0)
        posix_spawn_file_actions_adddup2(&actions, inPipe[0], STDIN_FILENO);
    // The tool starts with SIGTERM and SIGPIPE at their defaults and
    // nothing blocked.
    posix_spawnattr_t attributes;
    InitChildSpawnAttributes(attributes, false);

    // SIGTERM waits while the tool starts, so that it either stops the
    // filter before the tool runs or reaches the tool.
    sigset_t term;
    sigset_t before;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    sigprocmask(SIG_BLOCK, &term, &before);
    pid_t child = 0;
    int spawnError = 0;
    if (!g_cancelled) {
        Message("INFO", stage);
        spawnError = posix_spawn(&child, tool.c_str(), &actions, &attributes, argv.data(), environ);
        if (spawnError == 0)
            g_child = child;
    }
    sigprocmask(SIG_SETMASK, &before, nullptr);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(errPipe[1]);
    if (inPipe[0] >= 0)
        close(inPipe[0]);
    // The tool reads all of its input before it writes anything.
    for (size_t done = 0; child != 0 && inPipe[1] >= 0 && done < input.size();) {
        const ssize_t put = write(inPipe[1], input.data() + done, input.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            break;
        done += static_cast<size_t>(put);
    }
    if (inPipe[1] >= 0)
        close(inPipe[1]);
    if (child == 0) {
        close(errPipe[0]);
        EndIfCancelled(job);
        Message("ERROR", std::string(job.name) + ": cannot run " + tool + ": " +
                             std::strerror(spawnError));
        return 1;
    }

    // PAGE: lines go on at once: the tool writes each after its page has
    // gone out, for CUPS's page accounting while the job runs. The rest
    // waits for the tool's exit status, which tells whether they were
    // warnings or the reason it failed.
    std::vector<std::string> held;
    std::string line;
    int pages = 0;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(errPipe[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        for (ssize_t i = 0; i < got; ++i) {
            if (buffer[i] != '\n') {
                line += buffer[i];
                continue;
            }
            if (line.starts_with("PAGE: ")) {
                if (pages++ == 0)
                    Message("INFO", "Sending " + Titled(job) + " to the printer");
                std::fprintf(stderr, "%s\n", line.c_str());
                std::fflush(stderr);
            } else if (!line.empty()) {
                held.push_back(ForCups(job, line));
            }
            line.clear();
        }
    }
    if (!line.empty())
        held.push_back(ForCups(job, line));
    close(errPipe[0]);

    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    g_child = 0;
    EndIfCancelled(job);
    const bool done = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    for (const std::string &text : Summarized(held))
        Message(done ? "WARNING" : "ERROR", std::string(job.name) + ": " + text);
    if (!done) {
        if (WIFSIGNALED(status))
            Message("ERROR", std::string(job.name) + ": " + tool + " ended by signal " +
                                 std::to_string(WTERMSIG(status)) + "; " + Titled(job) +
                                 " is not printed");
        else
            Message("ERROR", std::string(job.name) + ": " + Titled(job) + " is not printed");
        return 1;
    }
    Message("INFO", Titled(job) + ": " + std::to_string(pages) + (pages == 1 ? " page" : " pages") +
                        " sent to the printer");
    return 0;
}

void InitChildSpawnAttributes(posix_spawnattr_t &attributes, bool bOwnGroup)
{
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigset_t defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    if (bOwnGroup)
        posix_spawnattr_setpgroup(&attributes, 0);
    const int flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | (bOwnGroup ? POSIX_SPAWN_SETPGROUP : 0);
    posix_spawnattr_setflags(&attributes, static_cast<short>(flags));
}
