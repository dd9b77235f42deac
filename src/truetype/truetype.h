// SPDX-License-Identifier: MIT
// TrueType font access: table fetch from the device context or a mapped font
// file, glyph location, composite glyphs, glyph count and character mapping.
// Fonts are untrusted: every offset and length read from one is checked
// against what was read before it is used.
#pragma once

#include <cstdint>

#include "session/session.h"
#include "truetype/fontface.h"
#include "truetype/sfnt.h"
#include "xlstream/xlstream.h"

// Longest glyph that fits a class 0 character record (its size fields are
// 16-bit: glyph length + 6 must not exceed 65535).
constexpr int32_t kMaxCharacterGlyphLength = 65529;

// Byte reversal of big-endian TrueType values.
uint32_t MakeWhackLong(uint32_t dwValue);
uint16_t MakeWhackShort(uint16_t wValue);

// Font-file source: maps the whole file read-only. 1 on success with the
// view and the file size, 0 with a null view otherwise.
int MapFontFile(uint8_t **ppView, const char *szPath, uint32_t *pdwFileSize);

// The two ways to a table's bytes, by font source. A download call asks its
// FontFace (FaceTable), which picks one and keeps what it fetched.
//
// Device-context source: a global-heap copy of the table with the given tag
// (first character in the low byte; 0 = the whole font), read with
// GetFontData. Returns its size, 0 with *ppTable null when there is no copy.
// An empty table reads as a copy of size 0 (a non-null block), as a font
// file's empty table does. A copy that cannot be allocated is no fault of
// the font: *pStatus (when given) says Status::kNoMemory then, so that the
// request fails instead of sending what it can, as for a damaged font.
uint32_t ReadTableThroughDC(FontSession *pSession, uint32_t dwTag, uint8_t **ppTable,
                            Status *pStatus = nullptr);

// Font-file source: the table inside the file's bytes (mapped, or a whole
// font in memory), found by its tag or the tag's upper-case form, as some
// fonts spell it (the last matching record wins, or with kFirst the first:
// the glyph count). A TrueType collection is read through its first font.
// Null when no record matches or the table lies outside the bytes.
const uint8_t *FindTableInImage(const uint8_t *pView, uint32_t dwViewSize, const char (&szTag)[5],
                                uint32_t *pdwTableLength, TableRecord which = TableRecord::kLast);

// Offset of the table directory of the (first) font in a font image: 0 for a
// plain font, the first font's offset for a collection ("ttcf"); -1 when the
// image is too short or the offset lies outside it.
int64_t FontDirectoryOffset(const uint8_t *pImage, uint32_t dwImageSize);

// Releases a global-heap block that ReadTableThroughDC or GetTTEFilePointer
// handed out (a table copy, one glyph's bytes). Null does nothing.
void ReleaseFontTable(uint8_t *pStorage);
// Unmaps what MapFontFile mapped. Null does nothing.
void UnmapFontFile(uint8_t *pView);

// Locates glyph nGlyphIndex (low 16 bits) in the face. On success
// *ppGlyph points to the glyph and *pnLength is its length. From a font file
// the pointer lies in the face's view; through the device context the
// glyph's bytes are read into a block of their own, handed out as
// *ppStorage, that the caller releases with ReleaseFontTable. The caller
// zeroes the three out arguments first. A glyph index at or above
// maxp.numGlyphs, a loca entry outside loca, a glyph outside glyf, or a
// glyph longer than kMaxCharacterGlyphLength cannot be located: length and
// pointer stay unwritten.
void GetTTEFilePointer(FontFace *pFace, int32_t *pnLength, uint32_t nGlyphIndex, uint8_t **ppGlyph,
                       uint8_t **ppStorage);

// True when the face is a variable font (fvar) read through the device
// context whose selected font is a named instance away from the axis
// defaults: its glyf, hmtx and head hold another instance than the one the
// font mapper renders. False for a font file, a static font, the default
// instance, and a style name no instance carries.
bool IsVariableInstance(FontFace &face);

// The fvar named instance whose subfamily name is the style name of the
// font selected into the device context; -1 for a font file, a static font
// or a style name no instance carries.
int SelectedInstanceIndex(FontFace &face);

// Makes the face's glyphs those of its selected named instance, with the
// library's own variation engine (instance.h): a TrueType font with fvar,
// gvar and a maxp of version 1.0, read through the device context. False
// (the face unchanged) when the font is not one, or its tables do not
// agree; the font then goes through its renderer's outlines. Done once.
bool OpenFaceInstance(FontFace &face);
// The same for fvar's named instance nInstance, from either source.
bool OpenFaceInstanceAt(FontFace &face, int nInstance);

// The instance's glyph g, for a face whose bInstanceGlyphs is set, as
// FaceGlyphBytes gives glyphs: valid until the next call, the length
// written when the glyph is located (0 for an empty glyph, with null), not
// when the instance cannot be opened or the glyph's data are damaged.
const uint8_t *FaceInstanceGlyph(FontFace &face, uint32_t nGlyphIndex, int32_t *pnLength);

// The normalized coordinates of the instance the library makes for the
// face (opened if it is not yet); false when it makes none.
struct VariationCoordinates;
bool FaceInstanceCoordinates(FontFace &face, VariationCoordinates &coordinates);

// The instance's horizontal metrics and the tables that follow from them,
// glyph by glyph: hmtx with a long metric for each of nGlyphs glyphs
// (advance from HVAR, else from the phantom points; the side bearing from
// the varied box), head with the instance's box, hhea with its extremes,
// and the font's maxp. False when memory runs out or the tables cannot be
// read (nothing is sent then).
struct InstanceTables {
    uint8_t *pbyHmtx; // global heap, the caller's to free
    uint32_t dwHmtxSize;
    uint8_t abyHead[HeadTable::kSize];
    uint8_t abyHhea[HheaTable::kSize];
    uint8_t abyMaxp[MaxpTable::kVersion10Size];
};
bool MakeInstanceTables(FontFace &face, uint32_t nGlyphs, InstanceTables &tables);

// The style name the device context gives a variable font (fvar) read
// through it, cut to fit; empty for a font file, a static font, or no name.
void VariableFaceStyle(FontFace &face, char (&szStyle)[kInstanceStyleBytes]);

// The same glyph as GetTTEFilePointer finds, with the same length, without a
// block of its own: from a font file where it lies, through the device
// context in the face's glyph buffer, valid until the next call on the face.
// Null when there are no bytes (the length is written as GetTTEFilePointer
// writes it).
const uint8_t *FaceGlyphBytes(FontFace &face, uint32_t nGlyphIndex, int32_t *pnLength);

// 1 when the glyph (at least one byte) has a negative numberOfContours.
int CheckIfCompositeGlyph(const uint8_t *pGlyph);

// Sends the component glyphs of a composite glyph as characters with code
// 0xFFFF, depth first: a component that is itself composite is followed by
// its own components (down to kMaxCompositeDepth levels), and no glyph is
// sent twice within one walk. The walk never reads past nGlyphLength bytes.
// 1 when all were sent, 0 when one could not be located or a component
// record runs past the glyph's data (the components before it were sent).
// The composite's own glyph index counts as sent already (a composite naming
// itself sends nothing for that record).
constexpr int kMaxCompositeDepth = 8;
int HandleCompositeGlyphW(FontFace *pFace, const uint8_t *pGlyph, int32_t nGlyphLength,
                          uint32_t nGlyphIndex, XLStream *pStream);

// Sends one glyph as a PCL XL character: ReadChar with the code, then the
// class 0 character record (format 1, class 0, glyph length + 4, glyph
// index, glyph bytes) as embedded data. nGlyphLength 0 sends the 6-byte
// empty record. 0 when nothing was sent (length outside 0 to
// kMaxCharacterGlyphLength, or no memory for the record), else 1.
int SendGlyphAsCharacter(XLStream *pStream, uint16_t nCharCode, uint16_t nGlyphIndex,
                         const uint8_t *pGlyph, int32_t nGlyphLength);

// maxp.numGlyphs (the first maxp record); 0 when maxp cannot be read or
// the file cannot be mapped.
uint16_t GetNumberOfGlyphsInFont(FontFace *pFace);

// Fills pEntry->pnCharToGlyph from the font's cmap (platform 3, format 4).
// Every entry is written: first identity below nGlyphs and kNoGlyph above, then
// the subtable's mapping. 1 when cmap was read, 0 when the file cannot be
// mapped or there is no cmap.
int BuildCharToGlyphTable(FontFace *pFace, FontEntry *pEntry);

// The character-to-glyph mapping of one face, read as codes are asked for,
// with the same result per code as BuildCharToGlyphTable: the cmap is not
// copied whole. From a font file it is read in place; through the device
// context only the format 4 subtable's header and segment arrays are copied
// (once, at the first code), and each glyphIdArray entry is read on its own.
struct CharGlyphLookup {
    enum class Kind { kUnread, kUnicode, kSymbol, kIdentity, kNoCmap };
    FontFace *pFace;
    uint32_t nGlyphs;
    Kind kind;
    uint32_t dwSubtableOffset; // in cmap
    BEReader subtable;         // from the subtable on, as far as it was read
    uint32_t nSegments;
    bool bSorted;              // each segment covers codes after the one before: binary search
    BEU16Run segmentArrays;    // when sorted: the subtable's segment arrays, checked
    // When sorted, the endCode of the last segment of each block of
    // kSegmentBlock segments: a search reads this, then one block, instead
    // of the whole endCode array's cache lines (thousands of segments in a
    // CJK font).
    static constexpr uint32_t kSegmentBlock = 64;
    uint16_t awBlockEnds[0x8000 / kSegmentBlock];
    uint8_t *pCopy;            // the device context's copy of subtable, global heap
    bool bFailed;              // the copy could not be made

    CharGlyphLookup(FontFace *pFaceIn, uint32_t nGlyphsIn);
    ~CharGlyphLookup();
    CharGlyphLookup(const CharGlyphLookup &) = delete;
    CharGlyphLookup &operator=(const CharGlyphLookup &) = delete;
};

// The glyph of nCode (kNoGlyph for a code the font does not map; codes up
// to 0xFFFE). kNoGlyph and bFailed set when memory ran out.
uint32_t LookUpCharGlyph(CharGlyphLookup &lookup, uint16_t nCode);

// Whether the face has a cmap to look codes up in.
bool FaceHasCharMap(FontFace &face);

// Fill the entry's table from a format 4 subtable of which dwAvailable bytes
// can be read (to the end of cmap). Codes no segment covers, segments whose
// arrays run past the bytes, and glyphIdArray addresses outside them give
// kNoGlyph. Unicode writes codes 0 to 0xFFFE, Symbol codes 0 to 254 (as
// 0xF000 + code).
void MapSegmentsUnicode(FontEntry *pEntry, const uint8_t *pSubtable, uint32_t dwAvailable);
void MapSegmentsSymbol(FontEntry *pEntry, const uint8_t *pSubtable, uint32_t dwAvailable);
