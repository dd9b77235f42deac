// SPDX-License-Identifier: MIT
// The soft fonts of a job as its operators download them, walked one
// operation at a time for 'fndl dump', 'fndl extract' and 'fndl preview':
// font headers (BeginFontHeader, ReadFontHeader, EndFontHeader), character
// blocks (BeginChar, ReadChar, EndChar) and RemoveFont.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "inspect/jobstructure.h"
#include "inspect/softfont.h"
#include "xldecode/xldecode.h"

// A glyph of a soft font as its characters brought it.
struct SoftGlyph {
    std::vector<uint8_t> data;
    size_t offset = 0; // of the ReadChar that brought the data
    bool sent = false;
    bool asCharacter = false; // under a character code, not only as a component
};

// One soft font: a font header and the characters sent for it until it was
// removed (a font downloaded again after RemoveFont is another one).
struct SoftFontInJob {
    std::string name;  // its PCL XL font name
    size_t offset = 0; // of its BeginFontHeader
    long format = -1;  // FontFormat attribute
    size_t headerSize = 0;
    bool complete = false; // EndFontHeader seen
    bool removed = false;
    SoftFontHeader layout;
    long characters = 0; // ReadChar blocks, composite components apart
    long components = 0;
    // Kept when the walker rebuilds fonts:
    std::vector<uint8_t> header;
    uint32_t glyphCount = 0; // maxp.numGlyphs
    std::map<uint16_t, SoftGlyph> glyphs; // those sent: memory follows what the job carries
    std::map<uint16_t, uint16_t> charToGlyph;
    size_t bitmapCharacters = 0;
};

struct SoftFontWalker {
    // Reads fonts to rebuild them as TrueType fonts: the header must be a
    // TrueType font with head and maxp, characters format 1 class 0 (bitmap
    // characters are counted and left out), their glyphs kept. Otherwise
    // only what a listing shows.
    bool rebuild = false;
    std::vector<SoftFontInJob> fonts; // in the order of their font headers

    // What the operation just taken held, for a listing: the font that its
    // EndFontHeader completed, the character of its ReadChar.
    std::optional<size_t> completedFont;
    std::optional<SoftChar> character;
    unsigned characterCode = 0;

    // One operation; what is wrong with the fonts is appended to problems.
    // With dataCut (the decoder stopped inside the operation's data) its
    // sizes are not checked.
    void Take(const XLOperation &op, bool dataCut, std::vector<JobProblem> &problems);
    // The job (stream) ends: its font names are free again.
    void EndStream();

private:
    static constexpr size_t kNone = SIZE_MAX;
    std::map<std::string, size_t> latest; // font name to its latest font
    size_t openFont = kNone;              // while a font header is open
    size_t charFont = kNone;              // while a character block is open
    std::optional<std::string> CheckHeader(SoftFontInJob &font) const;
    std::optional<std::string> TakeCharacter(SoftFontInJob &font, const XLOperation &op) const;
};

// The bytes of a table of the font header's GT segment: its directory
// length, not the padded length that was copied. The header has been read.
std::optional<std::span<const uint8_t>> HeaderTable(const SoftFontInJob &font, uint32_t tag);

// Walks a whole job (a file of one or more jobs) with the structure rules
// of JobChecker, up to the first problem; a stream cut short is read up to
// the operation it cut. pages counts the BeginPage operators. False with
// the failure as it follows the file's name: "at byte N: ..." or "is
// malformed at byte N: ...".
bool ReadJobFonts(std::span<const uint8_t> bytes, SoftFontWalker &walker, long &pages,
                  std::string &failure);
