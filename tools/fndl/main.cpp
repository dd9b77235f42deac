// fndl: downloads TrueType fonts to PCL XL printers as soft fonts and sets a
// cover page text in them, through the qorvfndl library; lists PCL XL jobs.
#include "fndl.h"

#include <cstdio>

namespace {

constexpr const char *kHelp =
    "usage: fndl COMMAND [options]\n"
    "\n"
    "Commands:\n"
    "  job       write a complete, printable PCL XL job: the font downloaded as a\n"
    "            soft font and a cover page text set in it\n"
    "  download  one bare library call, appended to a file (no job framing)\n"
    "  remove    download a font and remove it again, appended to a file\n"
    "  dump      list a PCL XL job: operators, attributes, fonts, characters\n"
    "  extract   turn the soft fonts of a PCL XL job back into TrueType fonts\n"
    "  which     the font file and face index a face name resolves to\n"
    "  preview   render the pages of a PCL XL job to PNG images\n"
    "\n"
    "'fndl COMMAND --help' tells more. Example:\n"
    "  fndl job --font \"DejaVu Sans\" --text \"Hello\" -o cover.pxl\n"
    "  fndl dump --summary cover.pxl\n"
    "\n"
    "Exit status: 0 done, 1 the library or the input failed, 2 usage error.\n";

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return UsageError("", "name a command: job, download, remove, dump, extract or which");
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::printf("%s", kHelp);
        return kExitDone;
    }
    const std::span<char *const> args(argv + 2, static_cast<size_t>(argc - 2));
    if (command == "job")
        return RunJob(args);
    if (command == "download")
        return RunDownload(args);
    if (command == "remove")
        return RunRemove(args);
    if (command == "dump")
        return RunDump(args);
    if (command == "extract")
        return RunExtract(args);
    if (command == "which")
        return RunWhich(args);
    if (command == "preview")
        return RunPreview(args);
    return UsageError("", "unknown command '" + command + "'");
}
