// SPDX-License-Identifier: MIT
// Option parsing and error messages shared by the commands.
#include "core/fndl.h"

#include <getopt.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool g_quiet = false;

const OptionDefinition *FindDefinition(std::span<const OptionDefinition> definitions,
                                       std::string_view name)
{
    for (const OptionDefinition &definition : definitions) {
        if (name == definition.name)
            return &definition;
    }
    return nullptr;
}

// The option's main spelling: the one other spellings point to.
const OptionDefinition &MainOf(std::span<const OptionDefinition> definitions,
                               const OptionDefinition &definition)
{
    if (definition.sameAs) {
        if (const OptionDefinition *main = FindDefinition(definitions, definition.sameAs))
            return *main;
    }
    return definition;
}

// False with a message for an unknown option or a missing value.
bool ParseArgs(std::span<char *const> args, std::span<const OptionDefinition> definitions,
               ParsedArgs &parsed, std::string &error)
{
    // getopt_long: long options by name (and unambiguous prefixes), short
    // options by letter, "--name=value", "-ovalue", and "--" to end them.
    std::vector<option> longOptions;
    // '-': positionals come back in order as code 1; ':': a missing value
    // is told apart from an unknown option.
    std::string shortOptions = "-:";
    for (const OptionDefinition &definition : definitions) {
        const std::string_view name = definition.name;
        const int code = static_cast<int>(&definition - definitions.data()) + 256;
        if (name.starts_with("--")) {
            longOptions.push_back(
                {definition.name + 2, definition.takesValue ? required_argument : no_argument,
                 nullptr, code});
        } else {
            shortOptions += name[1];
            if (definition.takesValue)
                shortOptions += ':';
        }
    }
    longOptions.push_back({nullptr, 0, nullptr, 0});

    std::vector<char *> argv;
    static char program[] = "fndl";
    argv.push_back(program);
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(argv.size() - 1);
    opterr = 0;
    optind = 0; // a full restart of getopt's scan
    for (;;) {
        int index = -1;
        const int code = getopt_long(argc, argv.data(), shortOptions.c_str(), longOptions.data(),
                                     &index);
        if (code == -1)
            break;
        if (code == 1) {
            parsed.positionals.push_back(optarg);
            continue;
        }
        const std::string word = optind - 1 < argc && optind >= 1 ? argv[optind - 1] : "";
        if (code == '?' || code == ':') {
            std::string name = word.substr(0, word.find('='));
            if (!name.starts_with("--") && optopt != 0)
                name = std::string("-") + static_cast<char>(optopt);
            error = code == ':' ? "option '" + name + "' needs a value"
                    : word.starts_with("--") && word.find('=') != std::string::npos &&
                            FindDefinition(definitions, name)
                        ? "option '" + name + "' takes no value"
                        : "unknown option '" + name + "'";
            return false;
        }
        const OptionDefinition *definition = nullptr;
        if (code >= 256) {
            definition = &definitions[static_cast<size_t>(code - 256)];
        } else {
            const char shortName[3] = {'-', static_cast<char>(code), 0};
            definition = FindDefinition(definitions, shortName);
        }
        if (!definition)
            continue;
        parsed.values[MainOf(definitions, *definition).name] =
            definition->takesValue && optarg ? optarg : "";
    }
    for (int i = optind; i < argc; ++i)
        parsed.positionals.push_back(argv[static_cast<size_t>(i)]);
    return true;
}

// A message on one line: a name or value it echoes may hold a newline, and
// the CUPS filters read the tool's lines (PAGE: among them) one by one.
std::string OneLine(const std::string &message)
{
    std::string line = message;
    for (char &c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    }
    return line;
}

} // namespace

void PrintError(const std::string &message)
{
    std::fprintf(stderr, "fndl: %s\n", OneLine(message).c_str());
}

void SetQuiet(bool quiet)
{
    g_quiet = quiet;
}

void PrintNote(const std::string &message)
{
    if (!g_quiet)
        std::fprintf(stderr, "fndl: %s\n", OneLine(message).c_str());
}

int UsageError(std::string_view command, const std::string &message)
{
    const std::string help =
        command.empty() ? "fndl --help" : "fndl help " + std::string(command);
    PrintError(message + " (see '" + help + "')");
    return kExitUsage;
}

int ParseCommand(const CommandSyntax &syntax, std::span<char *const> args, ParsedArgs &parsed)
{
    std::vector<OptionDefinition> definitions(syntax.options.begin(), syntax.options.end());
    definitions.push_back({"--help", false, nullptr});
    definitions.push_back({"-h", false, "--help"});
    std::string error;
    if (!ParseArgs(args, definitions, parsed, error))
        return UsageError(syntax.name, error);
    if (parsed.Has("--help")) {
        std::fwrite(syntax.help.data(), 1, syntax.help.size(), stdout);
        return kExitDone;
    }
    if (parsed.positionals.size() == syntax.positionals)
        return -1;
    if (syntax.positionalsWanted)
        return UsageError(syntax.name, syntax.positionalsWanted);
    if (parsed.positionals.size() < syntax.positionals)
        return UsageError(syntax.name, "an argument is missing");
    return UsageError(syntax.name,
                      "unexpected argument '" + parsed.positionals[syntax.positionals] + "'");
}

bool ParseNumber(const std::string &option, const std::string &text, long min, long max,
                 long &value, std::string &error)
{
    const bool isHex = text.starts_with("0x") || text.starts_with("0X") ||
                       text.starts_with("-0x") || text.starts_with("-0X");
    char *end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text.c_str(), &end, isHex ? 16 : 10);
    if (text.empty() || *end != '\0' || errno == ERANGE || parsed < min || parsed > max ||
        std::isspace(static_cast<unsigned char>(text[0]))) {
        error = option + " wants a whole number from " + std::to_string(min) + " to " +
                std::to_string(max) + ", not '" + text + "'";
        return false;
    }
    value = parsed;
    return true;
}

bool ParseDecimal(const std::string &option, const std::string &text, double min, double max,
                  double &value, std::string &error)
{
    char *end = nullptr;
    errno = 0;
    const double parsed = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno == ERANGE || !(parsed >= min && parsed <= max) ||
        std::isspace(static_cast<unsigned char>(text[0]))) {
        char range[64];
        std::snprintf(range, sizeof range, "%g to %g", min, max);
        error = option + " wants a number from " + range + ", not '" + text + "'";
        return false;
    }
    value = parsed;
    return true;
}

std::optional<double> ClampedDecimal(const std::string &option, const std::string &text,
                                     double min, double max)
{
    char *end = nullptr;
    const double parsed = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || std::isnan(parsed) ||
        std::isspace(static_cast<unsigned char>(text[0]))) {
        PrintError(option + " '" + text + "' is not a number: ignored");
        return std::nullopt;
    }
    if (parsed >= min && parsed <= max)
        return parsed;
    // An overflow (1e999) is infinity here, and clamps like it.
    const double clamped = std::clamp(parsed, min, max);
    char shown[32];
    std::snprintf(shown, sizeof shown, "%g", clamped);
    PrintError(option + " " + text + " is out of range: " + shown + " is used");
    return clamped;
}
