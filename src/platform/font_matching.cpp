// SPDX-License-Identifier: MIT
// Face matching: a logical font's face name, weight and slant resolve to a
// font file and face index through fontconfig. Like the Windows font mapper
// it always yields a font while any is installed: a name fontconfig does not
// know gets its default sans-serif family. Results are cached for the life
// of the process.
#include "platform_hooks.h"
#include "platform_internal.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include <fontconfig/fontconfig.h>

#include "text/text.h"

#if defined(__SANITIZE_ADDRESS__)
#define FNDL_LEAK_CHECKER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define FNDL_LEAK_CHECKER 1
#endif
#endif
#ifdef FNDL_LEAK_CHECKER
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// A logical font keeps kFaceNameBytes of a face name.
constexpr size_t kFaceNameMax = kFaceNameBytes;
// Enough for any sensible program; beyond it queries are simply not cached.
constexpr size_t kMaxCachedMatches = 4096;

struct CachedMatch {
    char faceName[kFaceNameMax + 1];
    int weight;
    bool italic;
    char *path;
    int faceIndex;
};

CachedMatch *g_cache = nullptr;
size_t g_cacheCount = 0;
size_t g_cacheCapacity = 0;
long g_fontconfigQueries = 0;

bool CopyPath(const char *path, char *pathOut, size_t pathSize)
{
    const size_t length = strlen(path);
    if (!pathOut || length >= pathSize)
        return false;
    memcpy(pathOut, path, length + 1);
    return true;
}

const CachedMatch *FindCachedMatch(const char *faceName, int weight, bool italic)
{
    for (size_t i = 0; i < g_cacheCount; ++i) {
        const CachedMatch &match = g_cache[i];
        if (match.weight == weight && match.italic == italic && strcmp(match.faceName, faceName) == 0)
            return &match;
    }
    return nullptr;
}

void CacheMatch(const char *faceName, int weight, bool italic, const char *path, int faceIndex)
{
    if (g_cacheCount == kMaxCachedMatches)
        return;
    if (g_cacheCount == g_cacheCapacity) {
        const size_t capacity = g_cacheCapacity ? g_cacheCapacity * 2 : 16;
        auto *grown = static_cast<CachedMatch *>(realloc(g_cache, capacity * sizeof(CachedMatch)));
        if (!grown)
            return;
        g_cache = grown;
        g_cacheCapacity = capacity;
    }
    char *pathCopy = strdup(path);
    if (!pathCopy)
        return;
    CachedMatch &match = g_cache[g_cacheCount++];
    memcpy(match.faceName, faceName, strlen(faceName) + 1);
    match.weight = weight;
    match.italic = italic;
    match.path = pathCopy;
    match.faceIndex = faceIndex;
}

// The library's own fontconfig configuration: the system's, with one
// difference. Where a font folder has no valid cache, fontconfig scans the
// folder and writes the cache it built into the first cache folder it may
// write to, for every process on the machine to read; a scan that failed
// part-way (memory running out in this process) would leave them a cache
// without those fonts. "/dev/null" listed first passes fontconfig's test of
// a writable cache folder, but no cache file can be made in it, so nothing
// is written anywhere; the system's cache folders after it are still read.
constexpr char kNoCacheWrites[] = "<fontconfig><cachedir>/dev/null</cachedir></fontconfig>";
// Used when the system's configuration cannot be loaded (as fontconfig's
// own start-up does then).
constexpr char kFallbackConfiguration[] =
    "<fontconfig><dir>/usr/share/fonts</dir><dir>/usr/local/share/fonts</dir>"
    "<dir prefix=\"xdg\">fonts</dir><cachedir>/var/cache/fontconfig</cachedir>"
    "<cachedir prefix=\"xdg\">fontconfig</cachedir></fontconfig>";

FcConfig *LoadConfiguration()
{
    FcConfig *config = FcConfigCreate();
    if (!config)
        return nullptr;
    const auto *noCacheWrites = reinterpret_cast<const FcChar8 *>(kNoCacheWrites);
    const auto *fallback = reinterpret_cast<const FcChar8 *>(kFallbackConfiguration);
    if (!FcConfigParseAndLoadFromMemory(config, noCacheWrites, FcFalse) ||
        (!FcConfigParseAndLoad(config, nullptr, FcTrue) &&
         !FcConfigParseAndLoadFromMemory(config, fallback, FcFalse)) ||
        !FcConfigBuildFonts(config)) {
        FcConfigDestroy(config);
        return nullptr;
    }
    return config;
}

FcConfig *g_config = nullptr;
bool g_configLoaded = false;

// Loaded on the first face query and kept for the life of the process; the
// process's current fontconfig configuration is left alone. fontconfig
// loses a few bytes while parsing, once per process; keep that out of
// leak-checked test runs.
FcConfig *LibraryConfiguration()
{
    if (g_configLoaded)
        return g_config;
    g_configLoaded = true;
#ifdef FNDL_LEAK_CHECKER
    __lsan_disable();
#endif
    g_config = LoadConfiguration();
#ifdef FNDL_LEAK_CHECKER
    __lsan_enable();
#endif
    return g_config;
}

// TrueType outlines or OpenType with CFF: the sfnt formats GDI handles.
bool IsSfntFormat(const FcChar8 *format)
{
    const auto *name = reinterpret_cast<const char *>(format);
    return strcmp(name, "TrueType") == 0 || strcmp(name, "CFF") == 0;
}

// One fontconfig match. With requireTrueType the format is a match criterion
// (fontconfig ranks it above the family), used for the default font.
bool QueryFontconfig(const char *family, int weight, bool italic, bool requireTrueType,
                     char *pathOut, size_t pathSize, int *faceIndexOut)
{
    ++g_fontconfigQueries;
    FcConfig *config = LibraryConfiguration();
    FcPattern *pattern = config ? FcPatternCreate() : nullptr;
    if (!pattern)
        return false;
    // The name goes in as a family value, never through FcNameParse, so
    // characters such as ':' in it are not taken as pattern syntax.
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(family));
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    if (requireTrueType)
        FcPatternAddString(pattern, FC_FONTFORMAT, reinterpret_cast<const FcChar8 *>("TrueType"));
    bool found = false;
    if (FcConfigSubstitute(config, pattern, FcMatchPattern)) {
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern *match = FcFontMatch(config, pattern, &result);
        FcChar8 *file = nullptr;
        FcChar8 *format = nullptr;
        int index = 0;
        if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
            FcPatternGetString(match, FC_FONTFORMAT, 0, &format) == FcResultMatch &&
            IsSfntFormat(format) && CopyPath(reinterpret_cast<const char *>(file), pathOut, pathSize)) {
            // The index's upper 16 bits number a variable font's named
            // instance (1 up); FreeType opens that instance from it.
            if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch || index < 0)
                index = 0;
            *faceIndexOut = index;
            found = true;
        }
        if (match)
            FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return found;
}

} // namespace

bool ResolveFace(const char *faceName, int weight, bool italic, char *pathOut, size_t pathSize,
                 int *faceIndexOut)
{
    if (!pathOut || !faceIndexOut)
        return false;
    // Only what a logical font keeps of the name counts, cut where the
    // library's LOGFONT cuts it, so that a name given here whole resolves
    // as the library resolves it.
    char name[kFaceNameMax + 1] = {};
    if (faceName) {
        const std::string_view kept =
            LogFontFaceName(std::string_view(faceName, strnlen(faceName, kFaceNameMax + 1)));
        memcpy(name, kept.data(), kept.size());
    }
    // FW_DONTCARE is regular; weights beyond the OpenType range are clamped.
    weight = weight <= 0 ? FW_NORMAL : (weight > 1000 ? 1000 : weight);

    if (const CachedMatch *cached = FindCachedMatch(name, weight, italic)) {
        *faceIndexOut = cached->faceIndex;
        return CopyPath(cached->path, pathOut, pathSize);
    }
    const char *family = name[0] ? name : "sans-serif";
    if (!QueryFontconfig(family, weight, italic, false, pathOut, pathSize, faceIndexOut) &&
        !QueryFontconfig("sans-serif", weight, italic, true, pathOut, pathSize, faceIndexOut))
        return false;
    CacheMatch(name, weight, italic, pathOut, *faceIndexOut);
    return true;
}

bool ResolveDefaultFace(char *pathOut, size_t pathSize, int *faceIndexOut)
{
    return ResolveFace("", FW_NORMAL, false, pathOut, pathSize, faceIndexOut);
}

bool PlatformResolveFace(const char *faceName, int weight, bool italic, char *pathOut,
                         size_t pathSize, int *faceIndexOut)
{
    return ResolveFace(faceName, weight, italic, pathOut, pathSize, faceIndexOut);
}

FcConfig *PlatformFontconfig() { return LibraryConfiguration(); }

long PlatformFontconfigQueries() { return g_fontconfigQueries; }

void PlatformForgetFontconfig()
{
    if (g_config)
        FcConfigDestroy(g_config);
    g_config = nullptr;
    g_configLoaded = false;
    for (size_t i = 0; i < g_cacheCount; ++i)
        free(g_cache[i].path);
    g_cacheCount = 0;
}
