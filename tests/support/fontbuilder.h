// SPDX-License-Identifier: MIT
// Synthetic TrueType fonts for tests: table builders, a font assembler with a
// correct offset table, 4-byte aligned tables and checksums, a collection
// (ttcf) assembler, and a temporary file holder.
//
// Typical use:
//   FontBuilder font = MakeSampleFont({.glyphs = {MakeSimpleGlyph(...), ...},
//                                      .unicodeSegments = {{0x20, 0x7E, -29}}});
//   Bytes bytes = BuildFont(font);
// Damaged fonts: build, then patch bytes with PutU16/PutU32 (directory record
// k starts at DirectoryRecordPosition(k)), or edit font.tables before building.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<uint8_t>;

// Big-endian byte helpers.
void AppendU8(Bytes &bytes, uint8_t value);
void AppendU16(Bytes &bytes, uint16_t value);
void AppendI16(Bytes &bytes, int16_t value);
void AppendU32(Bytes &bytes, uint32_t value);
void AppendBytes(Bytes &bytes, const Bytes &more);
void AppendTag(Bytes &bytes, std::string_view tag); // exactly 4 characters
void PutU16(Bytes &bytes, size_t offset, uint16_t value);
void PutU32(Bytes &bytes, size_t offset, uint32_t value);
uint16_t GetU16(const Bytes &bytes, size_t offset);
uint32_t GetU32(const Bytes &bytes, size_t offset);

struct FontTable {
    std::string tag; // 4 characters, as written into the directory
    Bytes data;
};

// A font as a list of tables. The directory lists them in this order, and
// their data follows in this order (each table 4-byte aligned), or in the
// order of layout (indices into tables, each once) when that is given.
struct FontBuilder {
    uint32_t sfntVersion = 0x00010000;
    std::vector<FontTable> tables;
    std::vector<size_t> layout;
};

void AddTable(FontBuilder &font, std::string_view tag, Bytes data);
// Replaces the first table with this tag, or adds it.
void SetTable(FontBuilder &font, std::string_view tag, Bytes data);
void RemoveTable(FontBuilder &font, std::string_view tag);
// Null when absent.
Bytes *FindTable(FontBuilder &font, std::string_view tag);

// TrueType table checksum (sum of big-endian 32-bit words, zero-padded).
uint32_t TableChecksum(const Bytes &data);
// Position of directory record k in a (non-collection) font.
constexpr size_t DirectoryRecordPosition(size_t k) { return 12 + 16 * k; }
// The font file: offset table with numTables, searchRange, entrySelector and
// rangeShift, directory, tables; head's checkSumAdjustment set.
Bytes BuildFont(const FontBuilder &font);
// A TrueType collection of the fonts; table offsets count from the start of
// the collection.
Bytes BuildCollection(const std::vector<FontBuilder> &fonts);
// Where table `tag` starts in a built (non-collection) font; 0 when absent.
uint32_t TableOffsetInFont(const Bytes &font, std::string_view tag);

// Tables.
Bytes MakeHead(int16_t indexToLocFormat, uint16_t unitsPerEm = 2048);
Bytes MakeMaxp(uint16_t numGlyphs);
Bytes MakeHhea(uint16_t numberOfHMetrics, int16_t ascender = 1638, int16_t descender = -410);
// One longHorMetric (advance, lsb 0) per glyph.
Bytes MakeHmtx(const std::vector<uint16_t> &advanceWidths);
Bytes MakeCvt(const std::vector<int16_t> &values);
// Small valid instruction programs (fpgm defines function 0, prep pushes and
// pops a value).
Bytes MakeFpgm();
Bytes MakePrep();
Bytes MakePost();
Bytes MakeOS2(uint16_t weightClass = 400);
Bytes MakeName(std::string_view familyName);

// Glyphs. A simple glyph with one contour through the given points.
struct GlyphPoint {
    int16_t x;
    int16_t y;
};
Bytes MakeSimpleGlyph(const std::vector<GlyphPoint> &points);
// Glyph bytes of exactly `length` bytes (at least 2) that read as a simple
// glyph (numberOfContours 1) followed by a byte pattern that starts at `seed`.
Bytes MakeOpaqueGlyph(size_t length, uint8_t seed = 0);

// Composite glyphs: component records written as given. When `arguments` is
// empty, the builder writes as many bytes as the flags call for (arguments,
// then scale / x-and-y scale / two-by-two), filled with a pattern.
struct Component {
    uint16_t flags;
    uint16_t glyphIndex;
    Bytes arguments;
};
constexpr uint16_t kArgsAreWords = 0x0001;
constexpr uint16_t kArgsAreXYValues = 0x0002;
constexpr uint16_t kHaveScale = 0x0008;
constexpr uint16_t kMoreComponents = 0x0020;
constexpr uint16_t kHaveXYScale = 0x0040;
constexpr uint16_t kHaveTwoByTwo = 0x0080;
size_t ComponentArgumentBytes(uint16_t flags);
Bytes MakeCompositeGlyph(const std::vector<Component> &components, const Bytes &tail = {});
// Components with word x/y offsets; MORE_COMPONENTS on all but the last.
Bytes MakeCompositeOf(const std::vector<uint16_t> &glyphIndices);

// glyf and loca from the glyphs (short form pads glyphs to even lengths).
struct GlyfLoca {
    Bytes glyf;
    Bytes loca;
};
GlyfLoca MakeGlyfLoca(const std::vector<Bytes> &glyphs, bool longForm);

// cmap. A format 4 segment maps directly (idDelta + code) when glyphIds is
// empty, else through glyphIdArray (glyphIds[code - startCode], plus
// idDelta when nonzero). rawIdRangeOffset overrides the computed value.
struct CmapSegment {
    uint16_t startCode;
    uint16_t endCode;
    int16_t idDelta = 0;
    std::vector<uint16_t> glyphIds;
    std::optional<uint16_t> rawIdRangeOffset;
};
// Adds the final 0xFFFF segment unless the last segment already ends there
// and appendFinalSegment is false.
Bytes MakeCmapFormat4(const std::vector<CmapSegment> &segments, bool appendFinalSegment = true);
struct CmapGroup {
    uint32_t startCharCode;
    uint32_t endCharCode;
    uint32_t startGlyphId;
};
Bytes MakeCmapFormat12(const std::vector<CmapGroup> &groups);
struct CmapSubtable {
    uint16_t platformID;
    uint16_t encodingID;
    Bytes data;
};
// Encoding records in the given order; identical subtable bytes are stored once.
Bytes MakeCmap(const std::vector<CmapSubtable> &subtables);

// A complete small font: head, hhea, maxp, hmtx, loca, glyf, cmap (when
// segments are given: platform 3 encoding 1, format 4), cvt, fpgm, prep,
// post, OS/2, name; directory in tag order.
struct SampleFontOptions {
    std::vector<Bytes> glyphs;
    bool longLoca = false;
    std::vector<CmapSegment> unicodeSegments;
    std::string familyName = "Sample";
};
FontBuilder MakeSampleFont(const SampleFontOptions &options);

// Glyphs .notdef, space, A, B, C = A + B and D = C + A (a composite inside a
// composite), mapped from U+0020 and U+0041 to U+0044; family "Synthetic".
Bytes MakeLetterFont();

// A file with the given bytes in the temporary directory, removed when the
// holder goes.
struct TempFile {
    std::string path;
    explicit TempFile(const Bytes &bytes, std::string_view suffix = ".ttf");
    ~TempFile();
    TempFile(const TempFile &) = delete;
    TempFile &operator=(const TempFile &) = delete;
};
