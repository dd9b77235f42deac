// SPDX-License-Identifier: MIT
// Options of the library-calling commands, read into a Request, and their
// help.
#include "cli/request.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <fontconfig/fontconfig.h>
#include <unistd.h>

#include "fonts/fonts.h"
#include "cli/output.h"
#include "platform/platform_hooks.h"
#include "qorvfndl.h"

#include "cli/requestparts.h"

namespace {

// The work file beside the output adds a dot and ".XXXXXX".
constexpr size_t kWorkFileExtra = 8;

constexpr CommandKind kKinds[] = {
    {"job", true, true, false},
    {"download", true, false, true},
    {"remove", false, false, false},
};

constexpr OptionDefinition kFontOptions[] = {
    {"--font", true, nullptr},
    {"--font-file", true, nullptr},
    {"--instance", true, nullptr},
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
    {"--media", true, nullptr}, {"--encoding", true, nullptr},
};
constexpr OptionDefinition kJobOptions[] = {
    {"--no-fallback", false, nullptr}, {"--strict", false, nullptr},
    {"--page-left", true, nullptr},    {"--page-right", true, nullptr},
    {"--page-top", true, nullptr},     {"--page-bottom", true, nullptr},
    {"--cpi", true, nullptr},          {"--lpi", true, nullptr},
    {"--landscape", false, nullptr},   {"--header", true, nullptr},
    {"--pjl", false, nullptr},         {"--job-name", true, nullptr},
    {"--copies", true, nullptr},       {"--page-log", false, nullptr},
    {"--orientation", true, nullptr},  {"--page-ranges", true, nullptr},
    {"--page-set", true, nullptr},     {"--number-up", true, nullptr},
    {"--number-up-layout", true, nullptr}, {"--columns", true, nullptr},
    {"--clamp", false, nullptr},
    {"--cover", true, nullptr},
    {"--rtl", false, nullptr},          {"--ltr", false, nullptr},
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

// The whole-job options: fallback, pitch, envelope, page log.
int ReadJobOptions(const ParsedArgs &parsed, const CommandKind &kind, Request &request)
{
    std::string error;
    request.face.fallback = !parsed.Has("--no-fallback");
    request.settings.strict = parsed.Has("--strict");
    request.settings.pjl = parsed.Has("--pjl");
    request.settings.pageLog = parsed.Has("--page-log");
    if (parsed.Has("--rtl") && parsed.Has("--ltr"))
        return UsageError(kind.name, "give --rtl or --ltr, not both");
    if (parsed.Has("--rtl"))
        request.source.direction = TextDirection::RightToLeft;
    if (parsed.Has("--ltr"))
        request.source.direction = TextDirection::LeftToRight;
    if (parsed.Has("--job-name"))
        request.settings.jobName = parsed.Get("--job-name");
    if (parsed.Has("--cover")) {
        if (parsed.Has("--text") || parsed.Has("--text-file") || parsed.Has("--header"))
            return UsageError(kind.name, "--cover makes a cover page: leave out --text, "
                                         "--text-file and --header");
        request.settings.coverPath = parsed.Get("--cover");
    }
    if (parsed.Has("--header")) {
        request.settings.header = parsed.Get("--header");
        std::u16string units;
        size_t bad = 0;
        if (!Utf8ToUtf16(request.settings.header, units, bad))
            return UsageError(kind.name, "the --header title is not UTF-8");
    }
    if (!ReadPaperHandling(parsed, request.settings.handling, error))
        return UsageError(kind.name, error);
    if (parsed.Has("--copies") &&
        !ParseNumber("--copies", parsed.Get("--copies"), 1, 999, request.settings.copies, error))
        return UsageError(kind.name, error);
    request.settings.clamp = parsed.Has("--clamp");
    // With --clamp a pitch out of range is brought into it and one that is
    // no number is left out, with a warning: false only for a usage error.
    const auto readPitch = [&](const char *name, double low, double high, double &value) {
        if (!request.settings.clamp)
            return ParseDecimal(name, parsed.Get(name), low, high, value, error);
        value = ClampedDecimal(name, parsed.Get(name), low, high).value_or(0);
        return true;
    };
    if (parsed.Has("--cpi")) {
        double cpi = 0;
        if (!readPitch("--cpi", 1, 100, cpi))
            return UsageError(kind.name, error);
        // 10 characters per inch is 12 points: the height is 120 / cpi points.
        if (cpi > 0)
            request.call.height = std::max(10L, std::lround(1200.0 / cpi));
    }
    if (parsed.Has("--lpi")) {
        double lpi = 0;
        if (!readPitch("--lpi", 0.5, 100, lpi))
            return UsageError(kind.name, error);
        if (lpi > 0)
            request.call.lineSpacing =
                std::max(1L, std::lround(static_cast<double>(request.call.resolution) / lpi));
    }
    return -1;
}

// --instance with --font-file: the library reads a font file's default
// instance; a named instance prints through the face name, so the request
// names the file's family with the instance's weight and slant when the
// font mapper resolves them to that very instance, or to the face itself
// for the instance at the axis defaults. A file fontconfig does not list is
// shown to it, for this process, by a configuration that adds a folder
// holding only a link to the file (removed at exit).
int ReadInstance(const std::string &spec, const CommandKind &kind, Request &request)
{
    if (!request.face.fromFile)
        return UsageError(kind.name, "--instance goes with --font-file");
    ChosenInstance chosen;
    std::string error;
    if (!ChooseFileInstance(request.face.font, spec, chosen, error))
        return UsageError(kind.name, error);
    char path[4096] = {};
    int index = 0;
    const auto Resolves = [&] {
        return !chosen.family.empty() &&
               PlatformResolveFace(chosen.family.c_str(), static_cast<int>(chosen.weight), chosen.italic, path,
                                   sizeof path, &index) &&
               SameFile(path, request.face.font) &&
               (index == chosen.index || (chosen.atDefault && index == (chosen.index & 0xFFFF)));
    };
    static std::string folder; // the added folder, its link and configuration
    if (!Resolves() && folder.empty()) {
        const char *tmp = std::getenv("TMPDIR");
        std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/fndl-font-XXXXXX";
        // The system configuration's file name, asked of an empty
        // configuration: the default one would load every font (and stay).
        FcConfig *scratch = FcConfigCreate();
        FcChar8 *system = scratch != nullptr ? FcConfigGetFilename(scratch, nullptr) : nullptr;
        if (scratch != nullptr)
            FcConfigDestroy(scratch);
        char *real = realpath(request.face.font.c_str(), nullptr);
        if (system != nullptr && real != nullptr && mkdtemp(name.data()) != nullptr) {
            folder = name;
            std::atexit([] {
                unlink((folder + "/font").c_str());
                unlink((folder + "/fonts.conf").c_str());
                rmdir(folder.c_str());
            });
            const std::string conf = "<fontconfig><include ignore_missing=\"yes\">" +
                                     std::string(reinterpret_cast<const char *>(system)) + "</include><dir>" +
                                     folder + "</dir></fontconfig>";
            FILE *file = std::fopen((folder + "/fonts.conf").c_str(), "w");
            if (symlink(real, (folder + "/font").c_str()) == 0 && file != nullptr &&
                std::fputs(conf.c_str(), file) >= 0) {
                setenv("FONTCONFIG_FILE", (folder + "/fonts.conf").c_str(), 1);
                PlatformForgetFontconfig();
            }
            if (file != nullptr)
                std::fclose(file);
        }
        FcStrFree(system);
        std::free(real);
    }
    if (!Resolves()) {
        PrintError("the instance " + chosen.name + " of '" + request.face.font +
                   "' cannot be printed: its family and style find another font file (" + path +
                   "); from the file alone the library prints its default instance");
        return kExitFailed;
    }
    request.face.instanceFile = request.face.font;
    request.face.instanceIndex = chosen.index;
    request.face.font = chosen.family;
    request.face.fromFile = false;
    request.call.weight = chosen.weight;
    request.call.boldFace = false;
    request.call.italicFace = chosen.italic;
    size_t badOffset = 0;
    if (!Utf8ToUtf16(request.face.font, request.face.fontUnits, badOffset))
        return UsageError(kind.name, "the instance's family name is not UTF-8");
    return -1;
}

// Fills request from the parsed options. Returns an exit code, or -1 to go on.
int ReadRequest(const ParsedArgs &parsed, const CommandKind &kind, Request &request)
{
    if (!parsed.Has("--output") || parsed.Get("--output").empty())
        return UsageError(kind.name, "name the output file with -o FILE (- for standard output)");
    request.settings.output = parsed.Get("--output");
    if (request.settings.output == "-" && !kind.takesJob)
        return UsageError(kind.name, "appends to a file: name one with -o FILE");
    if (parsed.Has("--font") && parsed.Has("--font-file"))
        return UsageError(kind.name, "give --font or --font-file, not both");
    if (parsed.Has("--font"))
        request.face.font = parsed.Get("--font");
    if (parsed.Has("--font-file")) {
        request.face.font = parsed.Get("--font-file");
        request.face.fromFile = true;
    }
    if (request.face.font.empty())
        return UsageError(kind.name, "the font name is empty");
    request.settings.quiet = parsed.Has("--quiet");
    SetQuiet(request.settings.quiet);

    struct NumberOption {
        const char *name;
        long min;
        long max;
        long *value;
    };
    const NumberOption numbers[] = {
        {"--height", 10, 10000, &request.call.height},
        {"--resolution", 72, 2400, &request.call.resolution},
        {"--line-spacing", 1, 32767, &request.call.lineSpacing},
        {"--margin", 0, 32767, &request.call.margin},
        {"--weight", 0, 1000, &request.call.weight},
        {"--font-id", INT32_MIN, INT32_MAX, &request.face.fontId},
        {"--offset", 0, static_cast<long>(kLibraryTextUnits), &request.settings.offset},
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
    request.call.characterSize = CharacterSizeInDots(static_cast<int>(request.call.height),
                                                static_cast<int>(request.call.resolution));
    const bool pageFits = PageLimitsAt(static_cast<int>(request.call.resolution), &request.call.limits);
    if (kind.takesJob && (request.call.characterSize == 0 || !pageFits))
        return UsageError(kind.name, "a font of " + std::to_string(request.call.height / 10) +
                                         " points at " + std::to_string(request.call.resolution) +
                                         " dpi does not fit the page's 16-bit coordinates");
    // 1.2 times the font height: tenths of a point times dots per inch / 720.
    if (request.call.lineSpacing == 0)
        request.call.lineSpacing = std::max(1L, (request.call.height * request.call.resolution + 300) / 600);
    // Lines start half an inch from the left, the first baseline half an inch
    // plus one character size down: 300 and 300 + size at 600 dpi.
    if (!parsed.Has("--margin"))
        request.call.margin = request.call.resolution / 2;
    request.page.cursorX = request.call.margin;
    request.page.cursorY = request.call.resolution / 2 + request.call.characterSize;
    if (parsed.Has("--cursor") &&
        !ParseCursor(parsed.Get("--cursor"), request.page.cursorX, request.page.cursorY, error))
        return UsageError(kind.name, error);
    request.call.boldFace = parsed.Has("--bold");
    request.call.italicFace = parsed.Has("--italic");
    request.call.syntheticBold = parsed.Has("--synthetic-bold");
    request.call.oblique = parsed.Has("--oblique");
    request.call.underline = parsed.Has("--underline");
    if (const int exitCode = ReadPageGeometry(parsed, kind, request); exitCode >= 0)
        return exitCode;
    request.call.paperWidth = PageWidth(request);

    size_t badOffset = 0;
    std::u16string outputUnits;
    if (!Utf8ToUtf16(request.face.font, request.face.fontUnits, badOffset))
        return UsageError(kind.name, "the font name is not UTF-8");
    if (request.face.fontUnits.size() > kLibraryPathUnits || request.face.font.size() > kLibraryPathUnits)
        return UsageError(kind.name, "the font name or path is longer than the library's " +
                                         std::to_string(kLibraryPathUnits) + " characters");
    if (!Utf8ToUtf16(request.settings.output, outputUnits, badOffset))
        return UsageError(kind.name, "the output path is not UTF-8");
    const size_t extra = kind.takesJob ? kWorkFileExtra : 0;
    if (outputUnits.size() + extra > kLibraryPathUnits ||
        request.settings.output.size() + extra > kLibraryPathUnits)
        return UsageError(kind.name, "the output path is longer than the library's " +
                                         std::to_string(kLibraryPathUnits - extra) + " bytes");
    if (kind.takesText) {
        if (const int exitCode = ReadText(parsed, kind, request); exitCode >= 0)
            return exitCode;
    }
    if (request.face.fromFile) {
        std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(request.face.font.c_str(), "rb"),
                                                    std::fclose);
        if (!file) {
            PrintError("cannot read font file '" + request.face.font + "': " + std::strerror(errno));
            return kExitFailed;
        }
    }
    // Writing the output must not destroy an input before it is read.
    const auto sameAsOutput = [&request](const std::string &input) {
        return request.settings.output != "-" && input != "-" && !input.empty() &&
               SameFile(input, request.settings.output);
    };
    if ((request.face.fromFile && sameAsOutput(request.face.font)) || sameAsOutput(request.source.textPath))
        return UsageError(kind.name, "the output '" + request.settings.output + "' is one of the inputs");
    if (parsed.Has("--instance"))
        return ReadInstance(parsed.Get("--instance"), kind, request);
    return -1;
}

} // namespace

int ParseRequest(std::span<char *const> args, Request &request)
{
    const CommandKind &kind = KindOf(request.settings.command);
    const std::vector<OptionDefinition> definitions = OptionsOf(kind);
    ParsedArgs parsed;
    if (const int exitCode = ParseCommand({kind.name, definitions, HelpOf(kind)}, args, parsed);
        exitCode >= 0)
        return exitCode;
    return ReadRequest(parsed, kind, request);
}
