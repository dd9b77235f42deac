// SPDX-License-Identifier: MIT
// fontconfig and FreeType queries for the job's fonts.
#include "fonts.h"

#include <strings.h>

#include <cstring>

#include <fontconfig/fontconfig.h>
#include <fontconfig/fcfreetype.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_FONT_FORMATS_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H

#include "fndl.h"
#include "platform/platform_hooks.h"
#include "text/text.h"

namespace {

constexpr size_t kPathCapacity = 4096;
constexpr int kFaceIndexMask = 0xFFFF; // higher bits number named instances

std::string StringOf(FcPattern *pattern, const char *object, int n = 0)
{
    FcChar8 *value = nullptr;
    if (FcPatternGetString(pattern, object, n, &value) != FcResultMatch || !value)
        return "";
    return reinterpret_cast<const char *>(value);
}

void ReadPattern(FcPattern *pattern, FaceInfo &face)
{
    face.families.clear();
    for (int n = 0;; ++n) {
        const std::string family = StringOf(pattern, FC_FAMILY, n);
        if (family.empty())
            break;
        face.families.push_back(family);
    }
    face.family = face.families.empty() ? "" : face.families.front();
    face.style = StringOf(pattern, FC_STYLE);
    face.format = StringOf(pattern, FC_FONTFORMAT);
    FcBool scalable = FcFalse;
    face.scalable = FcPatternGetBool(pattern, FC_SCALABLE, 0, &scalable) == FcResultMatch &&
                    scalable == FcTrue;
    int weight = FC_WEIGHT_REGULAR;
    if (FcPatternGetInteger(pattern, FC_WEIGHT, 0, &weight) == FcResultMatch)
        face.weight = FcWeightToOpenType(weight);
    int slant = FC_SLANT_ROMAN;
    face.slanted =
        FcPatternGetInteger(pattern, FC_SLANT, 0, &slant) == FcResultMatch && slant != FC_SLANT_ROMAN;
    FcCharSet *chars = nullptr;
    face.chars.reset(FcPatternGetCharSet(pattern, FC_CHARSET, 0, &chars) == FcResultMatch
                         ? FcCharSetCopy(chars)
                         : nullptr);
}

// The fallback order: every installed face, best first for the family,
// weight and slant asked for.
_FcFontSet *FallbackOrder(const JobFonts &fonts)
{
    FcPattern *pattern = FcPatternCreate();
    if (!pattern)
        return nullptr;
    FcPatternAddString(pattern, FC_FAMILY,
                       reinterpret_cast<const FcChar8 *>(fonts.requested.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(static_cast<int>(fonts.weight)));
    FcPatternAddInteger(pattern, FC_SLANT, fonts.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcFontSet *set = nullptr;
    FcConfig *config = PlatformFontconfig();
    if (config && FcConfigSubstitute(config, pattern, FcMatchPattern)) {
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        set = FcFontSort(config, pattern, FcFalse, nullptr, &result);
    }
    FcPatternDestroy(pattern);
    return set;
}

// How the library is told about a fallback face: by its family name when
// that resolves to this very face, else by its file when it is the file's
// first face. False when neither reaches it.
bool LibraryNameOf(const FaceInfo &face, long weight, bool italic, std::string &name,
                   bool &fromFile)
{
    char path[kPathCapacity] = {};
    int index = 0;
    if (!face.family.empty() &&
        PlatformResolveFace(face.family.c_str(), static_cast<int>(weight), italic, path,
                            sizeof path, &index) &&
        face.file == path && face.index == index) {
        name = face.family;
        fromFile = false;
        return true;
    }
    if (face.index == 0) {
        name = face.file;
        fromFile = true;
        return true;
    }
    return false;
}

int NextFontId(const JobFonts &fonts)
{
    const auto first = static_cast<uint32_t>(fonts.fonts.front().fontId);
    return static_cast<int>(first + static_cast<uint32_t>(fonts.fonts.size()));
}

} // namespace

void FcCharSetFree::operator()(_FcCharSet *set) const
{
    FcCharSetDestroy(set);
}

void FcFontSetFree::operator()(_FcFontSet *set) const
{
    FcFontSetDestroy(set);
}

bool DescribeFace(const std::string &file, int index, FaceInfo &face)
{
    int count = 0;
    FcPattern *pattern = FcFreeTypeQuery(reinterpret_cast<const FcChar8 *>(file.c_str()), index,
                                         nullptr, &count);
    if (!pattern)
        return false;
    face.file = file;
    face.index = index;
    ReadPattern(pattern, face);
    FcPatternDestroy(pattern);
    return true;
}

bool ResolveNamedFace(const std::string &name, long weight, bool italic, FaceInfo &face)
{
    char path[kPathCapacity] = {};
    int index = 0;
    if (!PlatformResolveFace(name.c_str(), static_cast<int>(weight), italic, path, sizeof path,
                             &index))
        return false;
    if (!DescribeFace(path, index, face)) {
        face.file = path;
        face.index = index;
    }
    return true;
}

namespace {

// The face's BMP coverage from fontconfig's pages of 256 characters.
void BuildBmpCoverage(const FaceInfo &face)
{
    face.bmpCoverage.assign(0x10000 / 64, 0);
    FcChar32 map[FC_CHARSET_MAP_SIZE];
    FcChar32 next = 0;
    for (FcChar32 base = FcCharSetFirstPage(face.chars.get(), map, &next);
         base != FC_CHARSET_DONE && base < 0x10000; base = FcCharSetNextPage(face.chars.get(), map, &next)) {
        for (size_t k = 0; k < FC_CHARSET_MAP_SIZE; ++k)
            face.bmpCoverage[(base + 32 * k) / 64] |= uint64_t{map[k]} << ((base + 32 * k) % 64);
    }
}

} // namespace

bool FaceHasChar(const FaceInfo &face, char32_t codePoint)
{
    if (!face.chars)
        return false;
    if (codePoint >= 0x10000)
        return FcCharSetHasChar(face.chars.get(), codePoint) == FcTrue;
    if (face.bmpCoverage.empty())
        BuildBmpCoverage(face);
    return (face.bmpCoverage[codePoint / 64] >> (codePoint % 64)) & 1;
}

bool IsDownloadableFace(const FaceInfo &face)
{
    return face.scalable && (face.format == "TrueType" || face.format == "CFF");
}

bool FaceHasFamily(const FaceInfo &face, const std::string &name)
{
    // The lookup saw only what a logical font keeps of the name.
    const std::string kept(LogFontFaceName(name));
    for (const std::string &family : face.families) {
        if (strcasecmp(family.c_str(), kept.c_str()) == 0)
            return true;
    }
    return false;
}

namespace {

bool HasSfntTable(FT_Face face, FT_ULong tag)
{
    FT_ULong length = 0;
    return FT_Load_Sfnt_Table(face, tag, 0, nullptr, &length) == 0;
}

} // namespace

std::string FontFileProblem(const std::string &file, int index)
{
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0)
        return "";
    std::string problem;
    FT_Face face = nullptr;
    if (FT_New_Face(library, file.c_str(), index, &face) != 0) {
        FILE *readable = std::fopen(file.c_str(), "rb");
        problem = readable ? "it is not a font file FreeType can read"
                           : std::string("it cannot be read: ") + std::strerror(errno);
        if (readable)
            std::fclose(readable);
    } else {
        const char *format = FT_Get_Font_Format(face);
        if (!FT_IS_SCALABLE(face))
            problem = "it holds bitmaps only, no outlines a printer can scale";
        else if (!FT_IS_SFNT(face) || !format ||
                 (std::strcmp(format, "TrueType") != 0 && std::strcmp(format, "CFF") != 0))
            problem = std::string("it is a ") + (format ? format : "non-OpenType") +
                      " font; the library downloads TrueType and OpenType (CFF) outlines";
        else if (!HasSfntTable(face, TTAG_glyf) && !HasSfntTable(face, TTAG_CFF))
            problem = "its outlines are variable OpenType (CFF2) outlines, which the library "
                      "does not convert";
        FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
    return problem;
}

namespace {

bool FontSetsChar(const JobFonts &fonts, int font, char32_t codePoint)
{
    return FaceHasChar(fonts.fonts[static_cast<size_t>(font)].face, codePoint) &&
           (fonts.rejected.empty() || !fonts.rejected.contains({font, codePoint}));
}

} // namespace

void RejectChar(JobFonts &fonts, int font, char32_t codePoint)
{
    fonts.rejected.insert({font, codePoint});
    fonts.chosen.erase(codePoint);
}

int FontForChar(JobFonts &fonts, char32_t codePoint, int previous)
{
    if (!fonts.coverageKnown)
        return fonts.rejected.contains({0, codePoint}) ? -1 : 0;
    if (FontSetsChar(fonts, 0, codePoint))
        return 0;
    if (!fonts.fallback)
        return -1;
    // A character keeps the font it was first given for the whole job, so
    // that it prints in one style and goes to the printer once.
    if (const auto known = fonts.chosen.find(codePoint); known != fonts.chosen.end())
        return known->second;
    if (previous > 0 && FontSetsChar(fonts, previous, codePoint)) {
        fonts.chosen[codePoint] = previous;
        return previous;
    }
    if (!fonts.orderBuilt) {
        fonts.order.reset(FallbackOrder(fonts));
        fonts.orderBuilt = true;
    }
    int found = -1;
    for (int n = 0; fonts.order && n < fonts.order->nfont && found < 0; ++n) {
        FcPattern *candidate = fonts.order->fonts[n];
        FcCharSet *chars = nullptr;
        if (FcPatternGetCharSet(candidate, FC_CHARSET, 0, &chars) != FcResultMatch ||
            FcCharSetHasChar(chars, codePoint) != FcTrue)
            continue;
        const std::string file = StringOf(candidate, FC_FILE);
        int index = 0;
        FcPatternGetInteger(candidate, FC_INDEX, 0, &index);
        index &= kFaceIndexMask;
        // A face already in the job sets it, or rejected it.
        bool inJob = false;
        for (size_t f = 0; f < fonts.fonts.size(); ++f) {
            if (fonts.fonts[f].face.file != file || fonts.fonts[f].face.index != index)
                continue;
            inJob = true;
            if (FontSetsChar(fonts, static_cast<int>(f), codePoint))
                found = static_cast<int>(f);
        }
        if (found >= 0)
            break;
        if (inJob)
            continue;
        JobFont font;
        font.face.file = file;
        font.face.index = index;
        ReadPattern(candidate, font.face);
        if (!IsDownloadableFace(font.face) ||
            !LibraryNameOf(font.face, fonts.weight, fonts.italic, font.libraryName, font.fromFile))
            continue;
        font.fontId = NextFontId(fonts);
        fonts.fonts.push_back(std::move(font));
        found = static_cast<int>(fonts.fonts.size() - 1);
    }
    fonts.chosen[codePoint] = found;
    return found;
}

bool ChooseMainFace(const std::string &font, bool fromFile, int fontId, long weight, bool italic,
                    JobFonts &fonts, JobFont &main)
{
    main.fontId = fontId;
    main.libraryName = font;
    main.fromFile = fromFile;
    fonts.weight = weight;
    fonts.italic = italic;
    if (fromFile) {
        fonts.coverageKnown = DescribeFace(font, 0, main.face);
        main.face.file = font;
        fonts.requested = main.face.family.empty() ? "sans-serif" : main.face.family;
        return true;
    }
    fonts.requested = font;
    if (!ResolveNamedFace(font, weight, italic, main.face)) {
        PrintError("no font is installed for '" + font +
                   "'; install one (e.g. the Debian package fonts-dejavu-core)");
        return false;
    }
    fonts.coverageKnown = main.face.chars != nullptr;
    return true;
}
