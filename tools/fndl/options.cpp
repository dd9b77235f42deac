// Option parsing and error messages shared by the commands.
#include "fndl.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void PrintError(const std::string &message)
{
    std::fprintf(stderr, "fndl: %s\n", message.c_str());
}

int UsageError(std::string_view command, const std::string &message)
{
    const std::string help =
        command.empty() ? "fndl --help" : "fndl " + std::string(command) + " --help";
    PrintError(message + " (see '" + help + "')");
    return kExitUsage;
}

namespace {

const OptionDefinition *FindDefinition(std::span<const OptionDefinition> definitions,
                                       std::string_view name)
{
    for (const OptionDefinition &definition : definitions) {
        if (name == definition.name)
            return &definition;
    }
    return nullptr;
}

} // namespace

bool ParseArgs(std::span<char *const> args, std::span<const OptionDefinition> definitions,
               ParsedArgs &parsed, std::string &error)
{
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string word = args[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-') {
            parsed.positionals.push_back(word);
            continue;
        }
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = word;
        std::string value;
        bool hasInlineValue = false;
        if (const size_t equals = word.find('=');
            word.starts_with("--") && equals != std::string::npos) {
            name = word.substr(0, equals);
            value = word.substr(equals + 1);
            hasInlineValue = true;
        }
        const OptionDefinition *definition = FindDefinition(definitions, name);
        if (!definition) {
            error = "unknown option '" + name + "'";
            return false;
        }
        if (definition->sameAs)
            definition = FindDefinition(definitions, definition->sameAs);
        if (!definition->takesValue) {
            if (hasInlineValue) {
                error = "option '" + name + "' takes no value";
                return false;
            }
        } else if (!hasInlineValue) {
            if (i + 1 >= args.size()) {
                error = "option '" + name + "' needs a value";
                return false;
            }
            value = args[++i];
        }
        parsed.values[definition->name] = value;
    }
    return true;
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
