// SPDX-License-Identifier: MIT
// fndl which: the font file and face index a face name resolves to on this
// machine. Uses the platform layer's own face matching (fontconfig, compiled
// into the tool), so the answer is the face that a download by that name uses.
#include "core/fndl.h"

#include <cstdio>

#include "fonts/fonts.h"

namespace {

constexpr long kWeightNormal = 400; // FW_NORMAL
constexpr long kWeightBold = 700;   // FW_BOLD

constexpr const char *kWhichHelp =
    "usage: fndl which FACE [--bold] [--italic] [--weight N]\n"
    "\n"
    "Prints the font file that the face name FACE resolves to on this machine, then\n"
    "its face index within the file, its family and its style, one a line: the\n"
    "font that 'fndl job --font FACE' downloads. For a variable font two more lines\n"
    "name the instance (a named instance of fvar, or the default) and give its\n"
    "design coordinates (wght=700 ...), the instance the library prints. Like Windows, the lookup always\n"
    "yields a font while any is installed: an unknown name gets the default\n"
    "sans-serif font, and a note on stderr says so. Only the first 31 bytes of the\n"
    "name count, cut before a character they would split, as in a Windows logical\n"
    "font.\n"
    "\n"
    "  --bold      a bold face (weight 700)\n"
    "  --italic    an italic face\n"
    "  --weight N  the weight to look for, 0-1000 (default 400)\n"
    "  -h, --help  this help\n";

} // namespace

int RunWhich(std::span<char *const> args)
{
    constexpr OptionDefinition kOptions[] = {
        {"--bold", false, nullptr},
        {"--italic", false, nullptr},
        {"--weight", true, nullptr},
    };
    ParsedArgs parsed;
    if (const int exitCode = ParseCommand({"which", kOptions, kWhichHelp, 1,
                                           "name one face, e.g. fndl which \"DejaVu Sans\""},
                                          args, parsed);
        exitCode >= 0)
        return exitCode;
    std::string error;
    long weight = parsed.Has("--bold") ? kWeightBold : kWeightNormal;
    if (parsed.Has("--weight") &&
        !ParseNumber("--weight", parsed.Get("--weight"), 0, 1000, weight, error))
        return UsageError("which", error);

    const std::string &name = parsed.positionals.front();
    FaceInfo face;
    if (!ResolveNamedFace(name, weight, parsed.Has("--italic"), face)) {
        PrintError("no TrueType or OpenType font found for '" + name +
                   "'; install one (e.g. the Debian package fonts-dejavu-core)");
        return kExitFailed;
    }
    if (!FaceHasFamily(face, name))
        PrintError("no font family '" + name + "' is installed: " + face.family + " is used");
    // The index's upper 16 bits name a variable face's named instance.
    const FaceInstance instance = DescribeInstance(face.file, face.index);
    std::printf("%s\nface index %d\nfamily %s\nstyle %s\n", face.file.c_str(), face.index & 0xFFFF,
                face.family.c_str(), face.style.c_str());
    if (instance.variable) {
        if (instance.named)
            std::printf("instance %s (named instance %d)\n", instance.name.c_str(), instance.named);
        else
            std::printf("instance %s (default)\n", instance.name.c_str());
        std::printf("coordinates %s\n", instance.coordinates.c_str());
    }
    return kExitDone;
}
