// fndl which: the font file and face index a face name resolves to on this
// machine. Uses the platform layer's own face matching (fontconfig, compiled
// into the tool), so the answer is the face that a download by that name uses.
#include "fndl.h"

#include <cstdio>

#include "platform_hooks.h"

namespace {

constexpr long kWeightNormal = 400; // FW_NORMAL
constexpr long kWeightBold = 700;   // FW_BOLD
constexpr size_t kPathCapacity = 4096;

constexpr const char *kWhichHelp =
    "usage: fndl which FACE [--bold] [--italic] [--weight N]\n"
    "\n"
    "Prints the font file that the face name FACE resolves to on this machine, and\n"
    "on a second line its face index within the file: the font that 'fndl job\n"
    "--font FACE' downloads. Like Windows, the lookup always yields a font while\n"
    "any is installed: an unknown name gets the default sans-serif font. Only the\n"
    "first 31 bytes of the name count, as in a Windows logical font.\n"
    "\n"
    "  --bold      a bold face (weight 700)\n"
    "  --italic    an italic face\n"
    "  --weight N  the weight to look for, 0-1000 (default 400)\n"
    "  -h, --help  this help\n";

} // namespace

int RunWhich(std::span<char *const> args)
{
    constexpr OptionDefinition kOptions[] = {
        {"--help", false, nullptr},   {"-h", false, "--help"},     {"--bold", false, nullptr},
        {"--italic", false, nullptr}, {"--weight", true, nullptr},
    };
    ParsedArgs parsed;
    std::string error;
    if (!ParseArgs(args, kOptions, parsed, error))
        return UsageError("which", error);
    if (parsed.Has("--help")) {
        std::printf("%s", kWhichHelp);
        return kExitDone;
    }
    if (parsed.positionals.size() != 1)
        return UsageError("which", "name one face, e.g. fndl which \"DejaVu Sans\"");
    long weight = parsed.Has("--bold") ? kWeightBold : kWeightNormal;
    if (parsed.Has("--weight") &&
        !ParseNumber("--weight", parsed.Get("--weight"), 0, 1000, weight, error))
        return UsageError("which", error);

    const std::string &face = parsed.positionals.front();
    char path[kPathCapacity] = {};
    int faceIndex = 0;
    if (!PlatformResolveFace(face.c_str(), static_cast<int>(weight), parsed.Has("--italic"), path,
                             sizeof path, &faceIndex)) {
        PrintError("no TrueType or OpenType font found for '" + face +
                   "'; install one (e.g. the Debian package fonts-dejavu-core)");
        return kExitFailed;
    }
    std::printf("%s\nface index %d\n", path, faceIndex);
    return kExitDone;
}
