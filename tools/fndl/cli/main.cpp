// SPDX-License-Identifier: MIT
// fndl: downloads TrueType fonts to PCL XL printers as soft fonts and sets a
// cover page text in them, through the qorvfndl library; lists PCL XL jobs.
#include "core/fndl.h"

#include <cstdio>
#include <cstring>

#include "qorvfndl.h"

namespace {

constexpr const char *kHelp =
    "usage: fndl COMMAND [options]\n"
    "       fndl help COMMAND\n"
    "       fndl --version\n"
    "\n"
    "Commands:\n"
    "  job       write a complete, printable PCL XL job: the font downloaded as a\n"
    "            soft font and a text set in it\n"
    "  download  one bare library call, appended to a file (no job framing)\n"
    "  remove    download a font and remove it again, appended to a file\n"
    "  dump      list a PCL XL job: operators, attributes, fonts, characters\n"
    "  extract   turn the soft fonts of a PCL XL job back into TrueType fonts\n"
    "  which     the font file and face index a face name resolves to\n"
    "  preview   render the pages of a PCL XL job to PNG images\n"
    "\n"
    "'fndl help COMMAND' tells more. Examples:\n"
    "  fndl job --font \"DejaVu Sans\" --text \"Hello\" -o cover.pxl\n"
    "  fndl job --text-file notes.txt -o - | lp -o raw\n"
    "  fndl dump --summary cover.pxl\n"
    "\n"
    "Exit status: 0 done, 1 the library or the input failed, 2 usage error.\n";

struct Command {
    const char *name;
    int (*run)(std::span<char *const> args);
};

constexpr Command kCommands[] = {
    {"job", RunJob},     {"download", RunDownload}, {"remove", RunRemove},
    {"dump", RunDump},   {"extract", RunExtract},   {"which", RunWhich},
    {"preview", RunPreview},
};

const Command *FindCommand(const char *name)
{
    for (const Command &command : kCommands) {
        if (std::strcmp(command.name, name) == 0)
            return &command;
    }
    return nullptr;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "%s", kHelp);
        return kExitUsage;
    }
    const std::string word = argv[1];
    if (word == "--help" || word == "-h" || (word == "help" && argc == 2)) {
        std::printf("%s", kHelp);
        return kExitDone;
    }
    if (word == "--version") {
        std::printf("fndl %d.%d.%d\n", FNDL_VERSION_MAJOR, FNDL_VERSION_MINOR, FNDL_VERSION_PATCH);
        return kExitDone;
    }
    if (word == "help") {
        const Command *command = FindCommand(argv[2]);
        if (!command)
            return UsageError("", "no command '" + std::string(argv[2]) + "'");
        static char helpWord[] = "--help";
        char *helpArgs[] = {helpWord};
        return command->run(std::span<char *const>(helpArgs, 1));
    }
    const Command *command = FindCommand(argv[1]);
    if (!command)
        return UsageError("", "unknown command '" + word + "'");
    return command->run(std::span<char *const>(argv + 2, static_cast<size_t>(argc - 2)));
}
