// SPDX-License-Identifier: MIT
// The faces a job uses, as fontconfig and FreeType see them: what a face
// name resolves to, which characters a face has, the fallback order for a
// character the chosen face lacks, and why a face cannot be downloaded.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

struct _FcCharSet;
struct _FcFontSet;

struct FcCharSetFree {
    void operator()(_FcCharSet *set) const;
};
struct FcFontSetFree {
    void operator()(_FcFontSet *set) const;
};

struct FaceInfo {
    std::string file;
    int index = 0;
    std::string family; // the first family name
    std::vector<std::string> families;
    std::string style;
    std::string format; // "TrueType", "CFF", "Type 1", "PCF", ...
    bool scalable = false;
    int weight = 400;     // OpenType scale
    bool slanted = false; // italic or oblique
    std::unique_ptr<_FcCharSet, FcCharSetFree> chars;
    // The BMP characters of chars, one bit each, made at the first question:
    // a text asks once or more per character.
    mutable std::vector<uint64_t> bmpCoverage;
};

// A variable face's instance: its name (the style of a named instance) and
// one "tag=value" a design axis, in fvar's order.
struct FaceInstance {
    bool variable = false;
    int named = 0; // 0: the face's default instance, else the named instance's number (1 up)
    std::string name;
    std::string coordinates;
};

// The instance a face index opens (FreeType's, its upper 16 bits naming a
// named instance); variable false for a static face or an unreadable file.
FaceInstance DescribeInstance(const std::string &file, int index);

// The named instance of a variable font file's first face that --instance
// names: by its style name (any case), or by axis values ("wght=700", more
// than one separated by commas) that are its coordinates. The font mapper
// selects named instances only, by family, weight and slant.
struct ChosenInstance {
    int index = 0; // the face index with the instance in the upper 16 bits
    std::string family;
    std::string name;
    long weight = 400;
    bool italic = false;
    bool atDefault = false; // every coordinate its axis's default
};
// False with the reason when the file has no such named instance.
bool ChooseFileInstance(const std::string &file, const std::string &spec, ChosenInstance &chosen,
                        std::string &error);

// The face of a font file. False when fontconfig cannot read it as a font.
bool DescribeFace(const std::string &file, int index, FaceInfo &face);
// The face a face name, weight and italic flag resolve to, as the library
// resolves them. False when no font is installed.
bool ResolveNamedFace(const std::string &name, long weight, bool italic, FaceInfo &face);
bool FaceHasChar(const FaceInfo &face, char32_t codePoint);
// True when the face is one the library downloads: TrueType outlines, or
// OpenType CFF outlines that it converts.
bool IsDownloadableFace(const FaceInfo &face);
// Why the library cannot download the font file at index, when FreeType
// can tell (no outlines, a format other than TrueType or OpenType CFF,
// unreadable); "" when
// it cannot.
std::string FontFileProblem(const std::string &file, int index);
// True when the name, as much of it as a logical font keeps, is one of the
// face's family names (case aside).
bool FaceHasFamily(const FaceInfo &face, const std::string &name);

// A font the job downloads: its library font id and how the library is
// told which font it is.
struct JobFont {
    FaceInfo face;
    int fontId = 0;
    std::string libraryName; // face name, or font file path with fromFile
    bool fromFile = false;
};

// The fonts of a job: the main font first, then the fallback fonts in the
// order they were first needed.
struct JobFonts {
    std::vector<JobFont> fonts;
    bool coverageKnown = false; // the main face's characters are known
    bool fallback = true;
    long weight = 400;
    bool italic = false;
    std::string requested; // the family asked for, for the fallback order
    std::unique_ptr<_FcFontSet, FcFontSetFree> order;
    bool orderBuilt = false;
    std::map<char32_t, int> chosen; // code point -> index into fonts, -1 for none
    // A script's fallback font, asked of fontconfig in that script's
    // language: (script tag, language) -> index into fonts.
    std::map<std::pair<uint32_t, std::string>, int> scriptFonts;
    std::map<std::string, std::unique_ptr<_FcFontSet, FcFontSetFree>> languageOrders;
    std::string hanLanguage = "zh-cn"; // Han's language in the paragraph being set
    // (font index, code point): the library left the character out of that
    // font although fontconfig said it has it (a damaged glyph, a cmap the
    // library does not read); another font sets it.
    std::set<std::pair<int, char32_t>> rejected;
};

// The main font of a job as the library is told about it (the font id, the
// face name or file) and the face behind it, at weight and italic; the
// job's requested family and whether its characters are known. False, with
// the error printed, when no installed font answers the name.
bool ChooseMainFace(const std::string &font, bool fromFile, int fontId, long weight, bool italic,
                    JobFonts &fonts, JobFont &main);

// The index in fonts.fonts of the font that sets codePoint, run by run
// rather than character by character: a character of no script of its own
// (space, punctuation, digits, the danda) stays in the fallback font of the
// character before it (previous, or -1) when that has it; else the main
// font (0) when it has it; else the fallback font chosen for its script,
// asked of fontconfig in the script's language (Han's by its paragraph),
// when that has it; else the font it was given before in the job, else
// previous's, else the first in fontconfig's fallback order that the
// library can download. -1 when no installed font has it. A font that
// rejected the character is never chosen for it again.
int FontForChar(JobFonts &fonts, char32_t codePoint, int previous);
// The paragraph's language for Han, by its neighbours: kana ja, Hangul ko,
// Bopomofo zh-tw; else the locale's (zh-cn, zh-tw, ja, ko), else zh-cn.
void SetParagraphLanguage(JobFonts &fonts, std::u16string_view paragraph);
// Records that the library left the character out of the font.
void RejectChar(JobFonts &fonts, int font, char32_t codePoint);
