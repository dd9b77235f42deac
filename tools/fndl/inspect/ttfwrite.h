// SPDX-License-Identifier: MIT
// Writing standalone TrueType fonts: the tables a soft font does not carry
// (glyf, loca, cmap, name, post, OS/2) and the font file around a set of
// tables. All values big-endian, as TrueType wants them.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "truetype/sfnt.h"

// A table of the font to write; tag is the four tag bytes as a big-endian
// value (SfntTag).
struct TtfTable {
    uint32_t tag = 0;
    std::vector<uint8_t> bytes;
};

// glyf and loca in the long format (head.indexToLocFormat 1): one entry per
// glyph plus the end, each glyph's data padded to four bytes. False when the
// glyf table would pass 4 GiB.
bool BuildGlyfAndLoca(std::span<const std::span<const uint8_t>> glyphs, std::vector<uint8_t> &glyf,
                      std::vector<uint8_t> &loca);

// cmap with one subtable: platform 3, encoding 1 (Unicode BMP), format 4.
// The code 0xFFFF cannot be mapped in format 4 and is left out. False when
// the mapping is too scattered to fit the format's 16-bit sizes.
bool BuildCmapFormat4(const std::map<uint16_t, uint16_t> &codeToGlyph, std::vector<uint8_t> &cmap);

// name: family, subfamily "Regular", unique and full name (all the family),
// and the PostScript name, for Windows Unicode (3, 1, 0x409).
std::vector<uint8_t> BuildNameTable(std::u16string_view family, std::string_view postScriptName);

// post format 3: no glyph names.
std::vector<uint8_t> BuildPostTable();

struct Os2Values {
    int16_t averageWidth = 0;
    int16_t typoAscender = 0;
    int16_t typoDescender = 0;
    int16_t typoLineGap = 0;
    uint16_t winAscent = 0;
    uint16_t winDescent = 0;
    uint16_t firstChar = 0;
    uint16_t lastChar = 0;
};
// OS/2 version 4, a regular weight and width, installable embedding.
std::vector<uint8_t> BuildOs2Table(const Os2Values &values);

// The font file: offset table, directory sorted by tag, each table at a
// four-byte boundary with its checksum, and head.checkSumAdjustment set
// over the whole file when there is a head table. False when the file would
// pass the directory's 32-bit offsets.
bool AssembleFont(std::vector<TtfTable> tables, std::vector<uint8_t> &font);
