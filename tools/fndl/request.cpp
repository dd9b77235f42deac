// SPDX-License-Identifier: MIT
// Options of the library-calling commands, read into a Request, and their
// help.
#include "request.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "output.h"
#include "qorvfndl.h"

namespace {

// The work file beside the output adds a dot and ".XXXXXX".
constexpr size_t kWorkFileExtra = 8;
constexpr long kPointsPerInch = 72;

constexpr char16_t kNewLine = u'\n';
constexpr char16_t kSpace = u' ';

constexpr const char *kDefaultText =
    "Cover page \xE2\x80\x94 printed with a downloaded TrueType soft font.\n"
    "\n"
    "This page was set by fndl, the command-line tool of the qorvfndl library. The font went "
    "to the printer as a PCL XL soft font: a font header with the font's scaling and hinting "
    "tables, then one character for each glyph that the text uses. Every line on this page is "
    "text in that font, broken into lines and pages by the library.\n"
    "\n"
    "Accented letters are characters like any other: d\xC3\xA9j\xC3\xA0 vu, na\xC3\xAFve, "
    "\xC3\x85ngstr\xC3\xB6m, gr\xC3\xB6\xC3\x9F"
    "er, se\xC3\xB1or, \xC5\x93uvre.\n"
    "Digits and signs: 0123456789 + \xE2\x88\x92 \xC3\x97 \xC3\xB7 = % & @ \xC2\xA7 \xC2\xA9 "
    "\xC2\xBD \xE2\x82\xAC.";

struct CommandKind {
    const char *name;
    bool takesText;
    bool takesJob; // the options of a whole job
    bool takesOffset;
};

constexpr CommandKind kKinds[] = {
    {"job", true, true, false},
    {"download", true, false, true},
    {"remove", false, false, false},
};

constexpr OptionDefinition kFontOptions[] = {
    {"--font", true, nullptr},
    {"--font-file", true, nullptr},
    {"--height", true, nullptr},
    {"--resolution", true, nullptr},
    {"--bold", false, nullptr},
    {"--italic", false, nullptr},
    {"--synthetic-bold", false, nullptr},
    {"--oblique", false, nullptr},
    {"--weight", true, nullptr},
    {"--font-id", true, nullptr},
    {"--output", true, nullptr},
    {"-o", true, "--output"},
    {"--quiet", false, nullptr},
    {"-q", false, "--quiet"},
};
constexpr OptionDefinition kTextOptions[] = {
    {"--text", true, nullptr},   {"--text-file", true, nullptr}, {"--line-spacing", true, nullptr},
    {"--margin", true, nullptr}, {"--cursor", true, nullptr},    {"--underline", false, nullptr},
    {"--media", true, nullptr},
};
constexpr OptionDefinition kJobOptions[] = {
    {"--no-fallback", false, nullptr}, {"--strict", false, nullptr},
    {"--page-left", true, nullptr},    {"--page-right", true, nullptr},
    {"--page-top", true, nullptr},     {"--page-bottom", true, nullptr},
    {"--cpi", true, nullptr},          {"--lpi", true, nullptr},
    {"--landscape", false, nullptr},   {"--header", true, nullptr},
    {"--pjl", false, nullptr},         {"--job-name", true, nullptr},
    {"--copies", true, nullptr},       {"--page-log", false, nullptr},
    {"--cover", true, nullptr},
};
constexpr OptionDefinition kOffsetOption[] = {{"--offset", true, nullptr}};

const CommandKind &KindOf(std::string_view command)
{
    for (const CommandKind &kind : kKinds) {
        if (command == kind.name)
            return kind;
    }
    return kKinds[0];
}

std::vector<OptionDefinition> OptionsOf(const CommandKind &kind)
{
    std::vector<OptionDefinition> definitions(std::begin(kFontOptions), std::end(kFontOptions));
    if (kind.takesText)
        definitions.insert(definitions.end(), std::begin(kTextOptions), std::end(kTextOptions));
    if (kind.takesJob) {
        definitions.insert(definitions.end(), std::begin(kJobOptions), std::end(kJobOptions));
        const std::span<const OptionDefinition> paper = PaperHandlingOptions();
        definitions.insert(definitions.end(), paper.begin(), paper.end());
    }
    if (kind.takesOffset)
        definitions.insert(definitions.end(), std::begin(kOffsetOption), std::end(kOffsetOption));
    return definitions;
}

// Newlines in one form, tabs as spaces, and one trailing newline dropped, as
// text files end in one. False when the text holds a NUL, which would end
// the library's text early.
bool NormalizeText(std::u16string &text, size_t &nulOffset)
{
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit == 0) {
            nulOffset = i;
            return false;
        }
        if (unit == u'\r') {
            out += kNewLine;
            if (i + 1 < text.size() && text[i + 1] == kNewLine)
                ++i;
        } else {
            out += unit == u'\t' ? kSpace : unit;
        }
    }
    if (!out.empty() && out.back() == kNewLine)
        out.pop_back();
    text = std::move(out);
    return true;
}

// Reads the text from --text or --text-file. Returns an exit code, or -1.
int ReadText(const ParsedArgs &parsed, const CommandKind &kind, Request &request)
{
    std::string utf8;
    std::string source;
    if (parsed.Has("--text") && parsed.Has("--text-file"))
        return UsageError(kind.name, "give the text with --text or --text-file, not both");
    if (parsed.Has("--text")) {
        utf8 = parsed.Get("--text");
        source = "--text";
    } else if (parsed.Has("--text-file")) {
        const std::string &path = parsed.Get("--text-file");
        request.textPath = path;
        std::vector<uint8_t> bytes;
        std::string reason;
        if (!ReadWholeFile(path, bytes, reason)) {
            PrintError("cannot read text file '" + path + "': " + reason);
            return kExitFailed;
        }
        utf8.assign(bytes.begin(), bytes.end());
        if (utf8.starts_with("\xEF\xBB\xBF"))
            utf8.erase(0, 3);
        source = path == "-" ? "standard input" : "text file '" + path + "'";
    } else if (kind.takesJob) {
        utf8 = kDefaultText;
    }
    size_t badOffset = 0;
    if (!Utf8ToUtf16(utf8, request.text, badOffset)) {
        PrintError(source + " is not UTF-8: ill-formed bytes at byte " + std::to_string(badOffset) +
                   "; convert it to UTF-8");
        return source == "--text" ? kExitUsage : kExitFailed;
    }
    if (!kind.takesJob)
        return -1; // the bare call passes the text unchanged
    size_t nulOffset = 0;
    if (!NormalizeText(request.text, nulOffset)) {
        PrintError(source + " holds a NUL character at offset " + std::to_string(nulOffset) +
                   "; remove it");
        return kExitFailed;
    }
    return -1;
}

bool ParseCursor(const std::string &text, long &x, long &y, std::string &error)
{
    const size_t comma = text.find(',');
    if (comma == std::string::npos) {
        error = "--cursor wants X,Y in device units, not '" + text + "'";
        return false;
    }
    return ParseNumber("--cursor x", text.substr(0, comma), -32768, 32767, x, error) &&
           ParseNumber("--cursor y", text.substr(comma + 1), -32768, 32767, y, error);
}

long Rounded(double value)
{
    return std::lround(value);
}

// Page margins and landscape: the text area on the page, and the page
// origin that puts the library's right and bottom limits inside it.
int ReadPageGeometry(const ParsedArgs &parsed, const CommandKind &kind, Request &request)
{
    struct MarginOption {
        const char *name;
        double points;
    };
    MarginOption margins[] = {
        {"--page-left", -1}, {"--page-right", -1}, {"--page-top", -1}, {"--page-bottom", -1}};
    std::string error;
    for (MarginOption &margin : margins) {
        if (parsed.Has(margin.name)) {
            if (!ParseDecimal(margin.name, parsed.Get(margin.name), 0, 1000, margin.points, error))
                return UsageError(kind.name, error);
            request.movesOrigin = true;
        }
    }
    request.landscape = parsed.Has("--landscape");
    request.movesOrigin = request.movesOrigin || request.landscape;
    if (!request.movesOrigin)
        return -1;
    if (parsed.Has("--cursor") || parsed.Has("--margin"))
        return UsageError(kind.name, "--cursor and --margin place text in device units; with "
                                     "--page-* margins or --landscape leave them out");
    const auto dots = [&request](double points, long fallback) {
        return points < 0 ? fallback : Rounded(points * static_cast<double>(request.resolution) /
                                               kPointsPerInch);
    };
    const long defaultMargin = request.resolution / 2; // half an inch
    const long left = dots(margins[0].points, defaultMargin);
    const long right = PageWidth(request) - dots(margins[1].points, defaultMargin);
    const long top = dots(margins[2].points, defaultMargin);
    const long size = request.characterSize;
    // Descenders stay above the bottom margin.
    const long lowest = PageHeight(request) - dots(margins[3].points, defaultMargin) - size / 4;
    if (right <= left || top + size > lowest)
        return UsageError(kind.name, "the page margins leave no room for a line of text");
    request.originX = std::min(right - request.limits.nRightLimit, left);
    request.originY = std::min(lowest - request.limits.nBottomLimit, top);
    if (request.originX < INT16_MIN || request.originX > INT16_MAX ||
        request.originY < INT16_MIN || request.originY > INT16_MAX)
        return UsageError(kind.name, "the page is too large at this resolution");
    request.margin = left - request.originX;
    request.cursorX = request.margin;
    request.cursorY = top + size - request.originY;
    return -1;
}

// The whole-job options: fallback, pitch, envelope, page log.
int ReadJobOptions(const ParsedArgs &parsed, const CommandKind &kind, Request &request)
{
    std::string error;
    request.fallback = !parsed.Has("--no-fallback");
    request.strict = parsed.Has("--strict");
    request.pjl = parsed.Has("--pjl");
    request.pageLog = parsed.Has("--page-log");
    if (parsed.Has("--job-name"))
        request.jobName = parsed.Get("--job-name");
    if (parsed.Has("--cover")) {
        if (parsed.Has("--text") || parsed.Has("--text-file") || parsed.Has("--header"))
            return UsageError(kind.name, "--cover makes a cover page: leave out --text, "
                                         "--text-file and --header");
        request.coverPath = parsed.Get("--cover");
    }
    if (parsed.Has("--header")) {
        request.header = parsed.Get("--header");
        std::u16string units;
        size_t bad = 0;
        if (!Utf8ToUtf16(request.header, units, bad))
            return UsageError(kind.name, "the --header title is not UTF-8");
    }
    if (!ReadPaperHandling(parsed, request.paper, error))
        return UsageError(kind.name, error);
    if (parsed.Has("--copies") &&
        !ParseNumber("--copies", parsed.Get("--copies"), 1, 999, request.copies, error))
        return UsageError(kind.name, error);
    if (parsed.Has("--cpi")) {
        double cpi = 0;
        if (!ParseDecimal("--cpi", parsed.Get("--cpi"), 1, 100, cpi, error))
            return UsageError(kind.name, error);
        // 10 characters per inch is 12 points: the height is 120 / cpi points.
        request.height = std::max(10L, Rounded(1200.0 / cpi));
    }
    if (parsed.Has("--lpi")) {
        double lpi = 0;
        if (!ParseDecimal("--lpi", parsed.Get("--lpi"), 0.5, 100, lpi, error))
            return UsageError(kind.name, error);
        request.lineSpacing =
            std::max(1L, Rounded(static_cast<double>(request.resolution) / lpi));
    }
    return -1;
}

// Fills request from the parsed options. Returns an exit code, or -1 to go on.
int ReadRequest(const ParsedArgs &parsed, const CommandKind &kind, Request &request)
{
    if (!parsed.Has("--output") || parsed.Get("--output").empty())
        return UsageError(kind.name, "name the output file with -o FILE (- for standard output)");
    request.output = parsed.Get("--output");
    if (request.output == "-" && !kind.takesJob)
        return UsageError(kind.name, "appends to a file: name one with -o FILE");
    if (parsed.Has("--font") && parsed.Has("--font-file"))
        return UsageError(kind.name, "give --font or --font-file, not both");
    if (parsed.Has("--font"))
        request.font = parsed.Get("--font");
    if (parsed.Has("--font-file")) {
        request.font = parsed.Get("--font-file");
        request.fromFile = true;
    }
    if (request.font.empty())
        return UsageError(kind.name, "the font name is empty");
    request.quiet = parsed.Has("--quiet");
    SetQuiet(request.quiet);

    struct NumberOption {
        const char *name;
        long min;
        long max;
        long *value;
    };
    const NumberOption numbers[] = {
        {"--height", 10, 10000, &request.height},
        {"--resolution", 72, 2400, &request.resolution},
        {"--line-spacing", 1, 32767, &request.lineSpacing},
        {"--margin", 0, 32767, &request.margin},
        {"--weight", 0, 1000, &request.weight},
        {"--font-id", INT32_MIN, INT32_MAX, &request.fontId},
        {"--offset", 0, static_cast<long>(kLibraryTextUnits), &request.offset},
    };
    std::string error;
    for (const NumberOption &option : numbers) {
        if (parsed.Has(option.name) && !ParseNumber(option.name, parsed.Get(option.name),
                                                    option.min, option.max, *option.value, error))
            return UsageError(kind.name, error);
    }
    if (kind.takesJob) {
        if (const int exitCode = ReadJobOptions(parsed, kind, request); exitCode >= 0)
            return exitCode;
    }
    // The library's arithmetic: a size it cannot hold fails every call of
    // a job, so the job says why before it starts.
    request.characterSize = CharacterSizeInDots(static_cast<int>(request.height),
                                                static_cast<int>(request.resolution));
    const bool pageFits = PageLimitsAt(static_cast<int>(request.resolution), &request.limits);
    if (kind.takesJob && (request.characterSize == 0 || !pageFits))
        return UsageError(kind.name, "a font of " + std::to_string(request.height / 10) +
                                         " points at " + std::to_string(request.resolution) +
                                         " dpi does not fit the page's 16-bit coordinates");
    // 1.2 times the font height: tenths of a point times dots per inch / 720.
    if (request.lineSpacing == 0)
        request.lineSpacing = std::max(1L, (request.height * request.resolution + 300) / 600);
    // Lines start half an inch from the left, the first baseline half an inch
    // plus one character size down: 300 and 300 + size at 600 dpi.
    if (!parsed.Has("--margin"))
        request.margin = request.resolution / 2;
    request.cursorX = request.margin;
    request.cursorY = request.resolution / 2 + request.characterSize;
    if (parsed.Has("--cursor") &&
        !ParseCursor(parsed.Get("--cursor"), request.cursorX, request.cursorY, error))
        return UsageError(kind.name, error);
    request.boldFace = parsed.Has("--bold");
    request.italicFace = parsed.Has("--italic");
    request.syntheticBold = parsed.Has("--synthetic-bold");
    request.oblique = parsed.Has("--oblique");
    request.underline = parsed.Has("--underline");
    if (parsed.Has("--media")) {
        std::string media = parsed.Get("--media");
        std::transform(media.begin(), media.end(), media.begin(),
                       [](char c) { return static_cast<char>(std::tolower(c)); });
        if (media == "a4")
            request.media = Media::A4;
        else if (media == "letter")
            request.media = Media::Letter;
        else if (media == "legal")
            request.media = Media::Legal;
        else
            return UsageError(kind.name,
                              "--media wants A4, Letter or Legal, not '" + parsed.Get("--media") + "'");
    }
    if (kind.takesJob) {
        if (const int exitCode = ReadPageGeometry(parsed, kind, request); exitCode >= 0)
            return exitCode;
    }

    size_t badOffset = 0;
    std::u16string outputUnits;
    if (!Utf8ToUtf16(request.font, request.fontUnits, badOffset))
        return UsageError(kind.name, "the font name is not UTF-8");
    if (request.fontUnits.size() > kLibraryPathUnits || request.font.size() > kLibraryPathUnits)
        return UsageError(kind.name, "the font name or path is longer than the library's " +
                                         std::to_string(kLibraryPathUnits) + " characters");
    if (!Utf8ToUtf16(request.output, outputUnits, badOffset))
        return UsageError(kind.name, "the output path is not UTF-8");
    const size_t extra = kind.takesJob ? kWorkFileExtra : 0;
    if (outputUnits.size() + extra > kLibraryPathUnits ||
        request.output.size() + extra > kLibraryPathUnits)
        return UsageError(kind.name, "the output path is longer than the library's " +
                                         std::to_string(kLibraryPathUnits - extra) + " bytes");
    if (kind.takesText) {
        if (const int exitCode = ReadText(parsed, kind, request); exitCode >= 0)
            return exitCode;
    }
    if (request.fromFile) {
        std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(request.font.c_str(), "rb"),
                                                    std::fclose);
        if (!file) {
            PrintError("cannot read font file '" + request.font + "': " + std::strerror(errno));
            return kExitFailed;
        }
    }
    // Writing the output must not destroy an input before it is read.
    const auto sameAsOutput = [&request](const std::string &input) {
        return request.output != "-" && input != "-" && !input.empty() &&
               SameFile(input, request.output);
    };
    if ((request.fromFile && sameAsOutput(request.font)) || sameAsOutput(request.textPath))
        return UsageError(kind.name, "the output '" + request.output + "' is one of the inputs");
    return -1;
}

// ---------------------------------------------------------------------------
// Help.

constexpr const char *kFontHelp =
    "Font options:\n"
    "  --font NAME        face name to download (default \"DejaVu Sans\"); resolved like\n"
    "                     'fndl which NAME' shows\n"
    "  --font-file PATH   read the font from this file instead, TrueType or OpenType\n"
    "                     (CFF outlines are converted); the path becomes its name\n"
    "  --font-id N        the caller's number for the font (default 1); the soft font\n"
    "                     is named OT:<N in hex>:<name>:n\n"
    "  --height N         font height in tenths of a point (default 120)\n"
    "  --resolution N     device resolution in dots per inch, 72-2400 (default 600);\n"
    "                     the library's right and bottom limits (x 4725, y 6780 at\n"
    "                     600 dpi), the default margin and first line scale with it\n"
    "  --weight N         weight of the face looked up, 0-1000 (default 400)\n"
    "  --bold             the bold face of the family (weight 700), as 'fndl which\n"
    "                     --bold' finds it\n"
    "  --italic           the italic face of the family\n"
    "  --synthetic-bold   thicken the strokes (SetCharBoldValue 0.01)\n"
    "  --oblique          slant the characters (SetCharShear 0.1583); the regular\n"
    "                     face is downloaded by its file, so it is not slanted twice\n"
    "  -o, --output FILE  the output file\n"
    "  -q, --quiet        no summary and no notes; errors and warnings still\n";

constexpr const char *kTextHelp =
    "\nText options (device units are dots at --resolution):\n"
    "  --text TEXT        the text, UTF-8\n"
    "  --text-file FILE   read the text from a UTF-8 file (- for standard input)\n"
    "  --line-spacing N   distance between lines (default height x resolution / 600,\n"
    "                     1.2 times the font height: 120 at 12 pt and 600 dpi)\n"
    "  --margin N         x where lines start (default half an inch: 300 at 600 dpi)\n"
    "  --cursor X,Y       where the first line starts (default: the margin, and half\n"
    "                     an inch plus the character size: 300,400 at 12 pt, 600 dpi)\n"
    "  --underline        underline the lines\n"
    "  --media SIZE       A4, Letter or Legal (default A4)\n";

constexpr const char *kJobOptionsHelp =
    "\nJob options:\n"
    "  --no-fallback      set every character in the chosen font only; characters it\n"
    "                     lacks are left out\n"
    "  --strict           a character that no font has, or a script that cannot be\n"
    "                     set, fails the job (exit 1) before anything is written\n"
    "  --page-left PT, --page-right PT, --page-top PT, --page-bottom PT\n"
    "                     page margins in points (default 36 for those not given);\n"
    "                     the page origin moves so that the library's right\n"
    "                     and bottom limits fall inside them\n"
    "  --landscape        landscape pages\n"
    "  --cpi N            characters per inch: a height of 120/N points (10 = 12 pt)\n"
    "  --lpi N            lines per inch: a line spacing of resolution/N\n"
    "  --header TITLE     every page starts with a line: TITLE, the date and\n"
    "                     \"Page n of m\"\n"
    "  --pjl              wrap the job in printer job language: JOB, RESOLUTION,\n"
    "                     COPIES, ENTER LANGUAGE=PCLXL, and EOJ\n"
    "  --job-name NAME    the PJL job name (quotes and control characters dropped,\n"
    "                     at most 80 bytes)\n"
    "  --copies N         copies, through PJL (1-999)\n"
    "  --page-log         a line \"PAGE: N COPIES\" on stderr per page written\n"
    "  --cover FILE       a cover page instead of text, from a description (- for\n"
    "                     standard input): lines of a part, a tab and its text:\n"
    "                     heading, classification, header, footer, notice, or\n"
    "                     row and field with a label, a tab and a value; set in\n"
    "                     the --font family, regular and bold, and centred by the\n"
    "                     library's advances\n";

constexpr const char *kJobHelp =
    "usage: fndl job [options] -o FILE\n"
    "\n"
    "Writes a complete, printable PCL XL job: stream header, session, data source,\n"
    "pages, and in them the library's output: the font downloaded as a TrueType\n"
    "soft font and the text set in it. FILE is replaced when the job is complete: a\n"
    "job that fails leaves it as it was. With -o - the job goes to standard output;\n"
    "every message goes to standard error.\n"
    "\n"
    "Each line of the text is a paragraph; the library breaks paragraphs into lines\n"
    "at its right limit. It takes at most 511 UTF-16 units per call: longer\n"
    "paragraphs go in parts, split before a space where there is one, each part\n"
    "going on where the last ended. At a page end, or at a form feed, the tool ends\n"
    "the page, begins the next and goes on at the top. A character the font lacks\n"
    "is set in another installed font that has it, in fontconfig's fallback order,\n"
    "downloaded as its own soft font (font ids after --font-id) once per job. A\n"
    "character no installed font has is reported once, with its first offset in\n"
    "the text (UTF-16 units, newlines counted), and left out. Arabic, Hebrew, the\n"
    "Indic scripts, Thai and other scripts that need shaping are reported and left\n"
    "out. Tabs count as spaces. Without --text or --text-file a short cover page\n"
    "text is set. A summary goes to standard error.\n"
    "\n";

constexpr const char *kDownloadHelp =
    "usage: fndl download [options] -o FILE\n"
    "\n"
    "One bare library call (FNDLFontDownloadW), for callers who frame their own\n"
    "jobs: appends to FILE (created when missing) what the library writes: the\n"
    "font header and characters the first time, the font selection, and the text\n"
    "lines. No stream header, session or page framing. The text (default: none) is\n"
    "passed unchanged and must fit the library's 511 UTF-16 units; newlines are\n"
    "not treated specially. Prints the result: its code (0 done, 1 stopped at a\n"
    "character without glyph, 2 page end, 3 failure), the new offset, cursor y,\n"
    "stop x and new-page flag. Exit status 0 for results 0-2, 1 for result 3.\n"
    "Each run is a new library session: the font is downloaded in full every time.\n"
    "\n"
    "  --offset N         characters of the text to skip (nOffsetToText)\n"
    "\n";

constexpr const char *kRemoveHelp =
    "usage: fndl remove [--font NAME | --font-file PATH] [--font-id N] [options] -o FILE\n"
    "\n"
    "The library removes only fonts downloaded in the same process, so this command\n"
    "first downloads the font with an empty text (appending its font header and\n"
    "selection to FILE) and then removes it (FNDLRemoveFontW), which appends the\n"
    "RemoveFont operator for the soft font's name. Prints what each call appended.\n"
    "\n";

// The help of job, download or remove.
std::string HelpOf(const CommandKind &kind)
{
    std::string help = kind.takesJob ? kJobHelp : kind.takesOffset ? kDownloadHelp : kRemoveHelp;
    help += kFontHelp;
    if (kind.takesText)
        help += kTextHelp;
    if (kind.takesJob)
        help += std::string(kJobOptionsHelp) + kPaperHandlingHelp;
    return help + "  -h, --help         this help\n";
}

} // namespace

uint8_t MediaSizeCode(Media media)
{
    // PCL XL MediaSize: Letter 0, Legal 1, A4 2.
    return media == Media::A4 ? 2 : media == Media::Legal ? 1 : 0;
}

namespace {

// Width and height in thousandths of an inch, portrait.
void MediaMils(Media media, long &width, long &height)
{
    width = media == Media::A4 ? 8268 : 8500;
    height = media == Media::A4 ? 11693 : media == Media::Legal ? 14000 : 11000;
}

} // namespace

long PageWidth(const Request &request)
{
    long width = 0;
    long height = 0;
    MediaMils(request.media, width, height);
    return (request.landscape ? height : width) * request.resolution / 1000;
}

long PageHeight(const Request &request)
{
    long width = 0;
    long height = 0;
    MediaMils(request.media, width, height);
    return (request.landscape ? width : height) * request.resolution / 1000;
}

int ParseRequest(std::span<char *const> args, Request &request)
{
    const CommandKind &kind = KindOf(request.command);
    const std::vector<OptionDefinition> definitions = OptionsOf(kind);
    ParsedArgs parsed;
    if (const int exitCode = ParseCommand({kind.name, definitions, HelpOf(kind)}, args, parsed);
        exitCode >= 0)
        return exitCode;
    return ReadRequest(parsed, kind, request);
}
