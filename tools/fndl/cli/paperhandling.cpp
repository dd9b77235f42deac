// SPDX-License-Identifier: MIT
// The paper handling options of a job.
#include "cli/paperhandling.h"

#include <cctype>
#include <strings.h>

namespace {

constexpr OptionDefinition kOptions[] = {
    {"--media-source", true, nullptr},
    {"--media-type", true, nullptr},
    {"--duplex", true, nullptr},
};

// PCL XL MediaSource enumeration.
struct SourceName {
    const char *name;
    int code;
};
constexpr SourceName kSources[] = {
    {"default", 0}, {"auto", 1},  {"manual", 2},   {"multipurpose", 3},
    {"tray1", 4},   {"upper", 4}, {"tray2", 5},    {"lower", 5},
    {"envelope", 6}, {"tray3", 7},
};

// MediaType travels as a ubyte_array of printable ASCII; printers know
// names up to a few dozen bytes.
constexpr size_t kMediaTypeMax = 64;

} // namespace

std::span<const OptionDefinition> PaperHandlingOptions()
{
    return kOptions;
}

int MediaSourceCode(std::string_view name)
{
    for (const SourceName &source : kSources) {
        if (name.size() == std::char_traits<char>::length(source.name) &&
            strncasecmp(name.data(), source.name, name.size()) == 0)
            return source.code;
    }
    if (name.empty() || name.size() > 3)
        return -1;
    int code = 0;
    for (const char c : name) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return -1;
        code = code * 10 + (c - '0');
    }
    return code <= 255 ? code : -1;
}

bool ReadPaperHandling(const ParsedArgs &parsed, PaperHandling &paper, std::string &error)
{
    if (parsed.Has("--media-source")) {
        paper.mediaSource = MediaSourceCode(parsed.Get("--media-source"));
        if (paper.mediaSource < 0) {
            error = "--media-source wants auto, manual, multipurpose, tray1, tray2, tray3, "
                    "envelope, default or a number 0-255, not '" +
                    parsed.Get("--media-source") + "'";
            return false;
        }
    }
    if (parsed.Has("--media-type")) {
        paper.mediaType = parsed.Get("--media-type");
        bool printable = !paper.mediaType.empty() && paper.mediaType.size() <= kMediaTypeMax;
        for (const char c : paper.mediaType)
            printable = printable && c >= 0x20 && c < 0x7F && c != '"';
        if (!printable) {
            error = "--media-type wants a name of printable ASCII characters (at most " +
                    std::to_string(kMediaTypeMax) + "), not '" + paper.mediaType + "'";
            return false;
        }
    }
    if (parsed.Has("--duplex")) {
        const std::string &mode = parsed.Get("--duplex");
        if (strcasecmp(mode.c_str(), "one-sided") == 0 || strcasecmp(mode.c_str(), "none") == 0)
            paper.sides = Sides::OneSided;
        else if (strcasecmp(mode.c_str(), "long-edge") == 0)
            paper.sides = Sides::LongEdge;
        else if (strcasecmp(mode.c_str(), "short-edge") == 0)
            paper.sides = Sides::ShortEdge;
        else {
            error = "--duplex wants one-sided, long-edge or short-edge, not '" + mode + "'";
            return false;
        }
    }
    return true;
}
