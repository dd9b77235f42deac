// TrueType font access: table fetch from the device context or a mapped font
// file, glyph location, composite glyphs, glyph count and character mapping.
// Fonts are untrusted: every offset and length read from one is checked
// against what was read before it is used.
#pragma once

#include <cstdint>

#include "session/session.h"
#include "xlstream/xlstream.h"

// Byte reversal of big-endian TrueType values.
uint32_t MakeWhackLong(uint32_t dwValue);
uint16_t MakeWhackShort(uint16_t wValue);

// Device-context source: a global-heap copy of the table with the given tag
// (first character in the low byte; 0 = the whole font). Returns its size,
// 0 with *ppTable null when there is no copy.
uint32_t ReadFontTable(FontSession *pSession, uint32_t dwTag, uint8_t **ppTable);

// Font-file source: maps the whole file read-only. 1 on success with the
// view and the file size, 0 with a null view otherwise.
int MapFontFile(uint8_t **ppView, const char *szPath, uint32_t *pdwFileSize);

// Finds a table in a mapped file by its tag or its upper-case form (the last
// matching record wins). A TrueType collection is read through its first
// font. Null when no record matches or the table lies outside the file.
const uint8_t *FindFontTable(const uint8_t *pView, uint32_t dwViewSize, const char *szTag,
                             const char *szUpperTag, uint32_t *pdwTableLength);

// Offset of the table directory of the (first) font in a font image: 0 for a
// plain font, the first font's offset for a collection ("ttcf"); -1 when the
// image is too short or the offset lies outside it.
int64_t FontDirectoryOffset(const uint8_t *pImage, uint32_t dwImageSize);

// Releases a table copy (device-context source) or the whole view
// (font-file source), as bTTE selects. Null does nothing.
void ReleaseFontTable(uint8_t *pStorage);

// Locates glyph nGlyphIndex (low 16 bits). On success *ppGlyph points into
// the glyf storage and *pnLength is the glyph's length; the caller releases
// *ppStorage with ReleaseFontTable in every case. The caller zeroes the
// three out arguments first.
void GetTTEFilePointer(FontSession *pSession, int32_t *pnLength, uint32_t nGlyphIndex,
                       const char *szFontPath, uint8_t **ppGlyph, uint8_t **ppStorage);

// 1 when the glyph (at least one byte) has a negative numberOfContours.
int CheckIfCompositeGlyph(const uint8_t *pGlyph);

// Sends the component glyphs of a composite glyph as characters with code
// 0xFFFF. 1 when all were sent, 0 when one could not be located.
int HandleCompositeGlyphW(FontSession *pSession, const uint8_t *pGlyph, int32_t nGlyphLength,
                          const char *szFontPath, XLStream *pStream);

// maxp.numGlyphs; 0 when maxp cannot be read or the file cannot be mapped.
uint16_t GetNumberOfGlyphsInFont(FontSession *pSession, const char *szFontPath);

// Fills pEntry->pnCharToGlyph from the font's cmap (platform 3, format 4).
// 1 when cmap was read, 0 when the file cannot be mapped or there is no cmap.
int BuildCharToGlyphTable(FontSession *pSession, FontEntry *pEntry, const char *szFontPath);

// Fill the entry's table from a format 4 subtable of dwAvailable bytes.
void MapSegmentsUnicode(FontEntry *pEntry, const uint8_t *pSubtable, uint32_t dwAvailable);
void MapSegmentsSymbol(FontEntry *pEntry, const uint8_t *pSubtable, uint32_t dwAvailable);

// While a read scope is open (one download call), tables fetched through the
// device context and font files mapped are kept and handed out again instead
// of being fetched or mapped anew; ReleaseFontTable of kept storage does
// nothing, and closing the scope releases them all.
void BeginFontReadScope();
void EndFontReadScope();
