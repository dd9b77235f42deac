// SPDX-License-Identifier: MIT
// fndl: the command-line tool of the qorvfndl library. Shared declarations
// of its commands, option parsing and text handling.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Exit codes of every command.
inline constexpr int kExitDone = 0;
inline constexpr int kExitFailed = 1; // the library or the input failed
inline constexpr int kExitUsage = 2;

// ---------------------------------------------------------------------------
// Messages. Every error is one line on stderr, starting "fndl: ".

void PrintError(const std::string &message);
// A note (what was chosen, a summary): on stderr unless quiet.
void PrintNote(const std::string &message);
void SetQuiet(bool quiet);
// A usage error of a command: names the command's help and returns kExitUsage.
int UsageError(std::string_view command, const std::string &message);

// ---------------------------------------------------------------------------
// Options, read with getopt_long: "--name value", "--name=value", "-n value",
// flags, and positional arguments anywhere; "--" ends the options.

struct OptionDefinition {
    const char *name; // with its dashes: "--height", "-o"
    bool takesValue;
    const char *sameAs; // another spelling of the same option, or null
};

struct ParsedArgs {
    std::map<std::string, std::string> values; // by the option's main name
    std::vector<std::string> positionals;
    bool Has(const std::string &name) const { return values.count(name) != 0; }
    const std::string &Get(const std::string &name) const { return values.at(name); }
};

// What a command takes: its options (-h and --help come with every
// command), its help, and how many positional arguments.
struct CommandSyntax {
    std::string_view name; // "dump"
    std::span<const OptionDefinition> options;
    std::string_view help;
    size_t positionals = 0;
    // The usage error for another count; without one, the first argument
    // too many is named.
    const char *positionalsWanted = nullptr;
};

// Reads a command's arguments into parsed. Returns -1 to go on; kExitDone
// when the help was asked for (and printed); kExitUsage after a usage error
// (an unknown option, a missing value, another count of positionals).
int ParseCommand(const CommandSyntax &syntax, std::span<char *const> args, ParsedArgs &parsed);

// A whole number in [min, max]; decimal, or hexadecimal with 0x. False with a
// message naming the option otherwise.
bool ParseNumber(const std::string &option, const std::string &text, long min, long max,
                 long &value, std::string &error);

// A decimal number in [min, max]. False with a message naming the option.
bool ParseDecimal(const std::string &option, const std::string &text, double min, double max,
                  double &value, std::string &error);

// With --clamp (the CUPS filter's text options, which must never fail a
// job): a number outside [min, max] (infinity too) comes back clamped, and a
// value that is no number (NaN too) comes back empty, for the option's
// default; each with one warning on standard error.
std::optional<double> ClampedDecimal(const std::string &option, const std::string &text,
                                     double min, double max);

// ---------------------------------------------------------------------------
// Text.

// UTF-8 to UTF-16. False with the byte offset of the first ill-formed sequence.
bool Utf8ToUtf16(std::string_view utf8, std::u16string &utf16, size_t &badOffset);
// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);
// In double quotes, for messages and listings: control characters and stray
// bytes as \xNN escapes, '"' and '\\' escaped, well-formed UTF-8 kept.
std::string Quoted(std::string_view text);
// Length of the well-formed UTF-8 sequence of two or more bytes that starts
// at text[i]; 0 when there is none.
size_t Utf8SequenceAt(std::string_view text, size_t i);
// The whole file ("-": standard input); false with the system's reason.
bool ReadWholeFile(const std::string &path, std::vector<uint8_t> &bytes, std::string &reason);

// ---------------------------------------------------------------------------
// Commands. args are the words after the command's name.

int RunJob(std::span<char *const> args);
int RunDownload(std::span<char *const> args);
int RunRemove(std::span<char *const> args);
int RunDump(std::span<char *const> args);
int RunExtract(std::span<char *const> args);
int RunWhich(std::span<char *const> args);
int RunPreview(std::span<char *const> args);
