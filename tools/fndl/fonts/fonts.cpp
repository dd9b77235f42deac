// SPDX-License-Identifier: MIT
// fontconfig and FreeType queries for the job's fonts.
#include "fonts/fonts.h"

#include <strings.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include <fontconfig/fontconfig.h>
#include <hb.h>
#include <fontconfig/fcfreetype.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_MULTIPLE_MASTERS_H
#include FT_FONT_FORMATS_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H

#include "core/fndl.h"
#include "cli/requestparts.h"
#include "fonts/fontpattern.h"
#include "platform/face_resolution.h"
#include "text/text.h"

namespace {

constexpr size_t kPathCapacity = 4096;

} // namespace

std::string PatternString(FcPattern *pattern, const char *object, int n)
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
        const std::string family = PatternString(pattern, FC_FAMILY, n);
        if (family.empty())
            break;
        face.families.push_back(family);
    }
    face.family = face.families.empty() ? "" : face.families.front();
    face.style = PatternString(pattern, FC_STYLE);
    face.format = PatternString(pattern, FC_FONTFORMAT);
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

FaceInstance DescribeInstance(const std::string &file, int index)
{
    FaceInstance instance;
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0)
        return instance;
    FT_Face face = nullptr;
    FT_MM_Var *axes = nullptr;
    if (FT_New_Face(library, file.c_str(), index, &face) == 0 && FT_HAS_MULTIPLE_MASTERS(face) &&
        FT_Get_MM_Var(face, &axes) == 0) {
        std::vector<FT_Fixed> coordinates(axes->num_axis);
        if (FT_Get_Var_Design_Coordinates(face, axes->num_axis, coordinates.data()) == 0) {
            instance.variable = true;
            instance.named = static_cast<int>(static_cast<unsigned>(index) >> 16);
            instance.name = face->style_name ? face->style_name : "";
            for (FT_UInt a = 0; a < axes->num_axis; ++a) {
                const FT_ULong tag = axes->axis[a].tag;
                char text[64];
                std::snprintf(text, sizeof text, "%s%c%c%c%c=%g", a ? " " : "",
                              static_cast<char>(tag >> 24), static_cast<char>(tag >> 16),
                              static_cast<char>(tag >> 8), static_cast<char>(tag),
                              static_cast<double>(coordinates[a]) / 65536.0);
                instance.coordinates += text;
            }
        }
        FT_Done_MM_Var(library, axes);
    }
    if (face)
        FT_Done_Face(face);
    FT_Done_FreeType(library);
    return instance;
}

namespace {

// "tag=value" pairs, separated by commas or spaces; false when one is not.
bool ParseAxisValues(const std::string &spec, std::vector<std::pair<FT_ULong, double>> &values)
{
    size_t at = 0;
    while (at < spec.size()) {
        const size_t end = spec.find_first_of(", ", at);
        const std::string item = spec.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? spec.size() : end + 1;
        if (item.empty())
            continue;
        const size_t equals = item.find('=');
        if (equals == 0 || equals > 4)
            return false;
        std::string tag = item.substr(0, equals);
        tag.resize(4, ' ');
        char *stop = nullptr;
        const double value = std::strtod(item.c_str() + equals + 1, &stop);
        if (stop == item.c_str() + equals + 1 || *stop != '\0')
            return false;
        values.emplace_back(FT_MAKE_TAG(tag[0], tag[1], tag[2], tag[3]), value);
    }
    return !values.empty();
}

} // namespace

bool ChooseFileInstance(const std::string &file, const std::string &spec, ChosenInstance &chosen,
                        std::string &error)
{
    std::vector<std::pair<FT_ULong, double>> values;
    const bool byValues = spec.find('=') != std::string::npos;
    if (byValues && !ParseAxisValues(spec, values)) {
        error = "'" + spec + "' is neither an instance name nor axis values such as wght=700";
        return false;
    }
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0) {
        error = "FreeType cannot start";
        return false;
    }
    FT_Face face = nullptr;
    long instances = 0;
    if (FT_New_Face(library, file.c_str(), 0, &face) == 0) {
        instances = FT_HAS_MULTIPLE_MASTERS(face) ? face->style_flags >> 16 : 0;
        FT_Done_Face(face);
    }
    std::string names;
    bool found = false;
    for (long n = 1; n <= instances && !found; ++n) {
        const int index = static_cast<int>(n << 16);
        FT_Face instance = nullptr;
        FT_MM_Var *axes = nullptr;
        if (FT_New_Face(library, file.c_str(), index, &instance) != 0)
            continue;
        const std::string name = instance->style_name ? instance->style_name : "";
        names += (names.empty() ? "" : ", ") + name;
        std::vector<FT_Fixed> coordinates;
        if (FT_Get_MM_Var(instance, &axes) == 0) {
            coordinates.resize(axes->num_axis);
            if (FT_Get_Var_Design_Coordinates(instance, axes->num_axis, coordinates.data()) != 0)
                coordinates.clear();
        }
        bool matches = !byValues && strcasecmp(name.c_str(), spec.c_str()) == 0;
        if (byValues && axes && coordinates.size() == axes->num_axis) {
            matches = true;
            for (const auto &[tag, value] : values) {
                bool axisFound = false;
                for (FT_UInt a = 0; a < axes->num_axis; ++a)
                    if (axes->axis[a].tag == tag) {
                        axisFound = true;
                        matches = matches && std::fabs(coordinates[a] / 65536.0 - value) < 0.01;
                    }
                matches = matches && axisFound;
            }
        }
        if (matches) {
            found = true;
            chosen.index = index;
            chosen.name = name;
            chosen.family = instance->family_name ? instance->family_name : "";
            const auto *os2 = static_cast<const TT_OS2 *>(FT_Get_Sfnt_Table(instance, FT_SFNT_OS2));
            chosen.weight = os2 && os2->usWeightClass ? os2->usWeightClass : 400;
            for (FT_UInt a = 0; axes && a < axes->num_axis && a < coordinates.size(); ++a)
                if (axes->axis[a].tag == FT_MAKE_TAG('w', 'g', 'h', 't'))
                    chosen.weight = std::lround(coordinates[a] / 65536.0);
            chosen.italic = (instance->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
            chosen.atDefault = axes && coordinates.size() == axes->num_axis;
            for (FT_UInt a = 0; chosen.atDefault && a < axes->num_axis; ++a)
                chosen.atDefault = coordinates[a] == axes->axis[a].def;
        }
        if (axes)
            FT_Done_MM_Var(library, axes);
        FT_Done_Face(instance);
    }
    FT_Done_FreeType(library);
    if (found)
        return true;
    error = instances == 0 ? "'" + file + "' is not a variable font with named instances"
                           : "'" + file + "' has no named instance '" + spec + "'; it has " + names;
    return false;
}

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
