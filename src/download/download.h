// SPDX-License-Identifier: MIT
// Font download: the driver that sends a font once per session, the PCL XL
// font header with its rebuilt TrueType directory, and the characters.
#pragma once

#include <cstdint>

#include "download/charsize.h"
#include "qorvfndl.h"
#include "session/session.h"
#include "truetype/fontface.h"
#include "xlstream/xlstream.h"

// The two soft fonts of one font id: characters coded by UTF-16 unit (the
// download calls) and by glyph index (the glyph run call).
enum class SoftFontCoding { kUnicode, kGlyph };

// The PCL XL name of the entry's soft font in that coding, and its length.
const char *SoftFontName(const FontEntry *pEntry, SoftFontCoding coding);
uint32_t SoftFontNameLength(const FontEntry *pEntry, SoftFontCoding coding);

// The session's entry for the page's font id: found, or added with its
// glyph count and character table (nothing is sent). Null when the font
// cannot be used or memory is exhausted.
FontEntry *FindOrAddDownloadedFont(FontSession *pSession, FontFace &face,
                                   const FNDL_TEXTINFOW *pTextInfo, const PageInfo *pPageInfo);

// The glyph-coded soft font of the page's font id: its header once, then
// every glyph of the run that it has not sent yet, then its selection.
// kOk when done (*pnMissing: the run's first glyph that could not be
// located and went out empty, -1 when none), a refusal as for DownloadFontW
// and for a glyph index at or above the font's glyph count, kNoMemory when
// the download failed.
Status DownloadGlyphRunW(FontSession *pSession, XLStream *pStream, const FNDL_TEXTINFOW *pTextInfo,
                         PageInfo *pPageInfo, const FNDL_GLYPH *pGlyphs, int nGlyphs,
                         int *pnMissing);

// kOk when the font is present and the text's characters were processed,
// kNoMemory when the download failed; a refusal (kRefused, or kFontFile for
// a font file that cannot be mapped) when nothing was written and the
// session is as the call found it: the font cannot be read, its header
// cannot be made, or the font id names a font downloaded before and the
// request's font is another.
Status DownloadFontW(FontSession *pSession, XLStream *pStream, const FNDL_TEXTINFOW *pTextInfo,
                     PageInfo *pPageInfo);

// The glyph index the page would set for each character of the text
// (pPageInfo->anGlyphIndex), as DownloadFontW would find it, reading the
// font through pReader's device context and sending or recording nothing:
// the session (null when there is none) is only looked at. kOk when found,
// a failure when the font cannot be used, a refusal as for DownloadFontW.
Status FindGlyphIndexesW(FontSession *pSession, FontSession *pReader,
                         const FNDL_TEXTINFOW *pTextInfo, PageInfo *pPageInfo);

// Sends the font header of a new entry. kOk when it was sent, kRefused when
// the font could not be read (nothing is sent then).
Status DownloadFontHeader(FontFace *pFace, FontEntry *pEntry, XLStream *pStream,
                          SoftFontCoding coding = SoftFontCoding::kUnicode);

// "OT:<id in hex>:<face name>:n" into pEntry->szXLFontName; for the
// glyph-coded font "...:g" into pEntry->szXLGlyphFontName.
void MakeXLFontName(FontEntry *pEntry, SoftFontCoding coding = SoftFontCoding::kUnicode);

struct TableDescriptor {
    char szTag[5];
    uint32_t dwCheckSum;
    uint32_t dwOffset;
    uint32_t dwNewOffset;
    uint32_t dwLength;
    uint32_t dwCopyLength;
    int32_t bSelected;
};

// Reads, sorts and sizes the table descriptors of a font from its offset
// table and directory (pbyDirectory, dwDirectoryBytes read from where the
// font's offset table starts; table offsets count from the start of the
// image of dwImageSize bytes). Returns the number of selected tables and the
// descriptor array (global heap, released by the caller) with its length;
// -1 when out of memory, when the directory is cut short or has more records
// than a font has tables (over 1024), or when a selected
// table lies outside the image.
int ReadTableDirectory(const uint8_t *pbyDirectory, uint32_t dwDirectoryBytes,
                       uint32_t dwImageSize, TableDescriptor **ppDescriptors,
                       uint32_t *pnDescriptors);

// Selects the font and sends the text's characters not yet sent; kOk, or
// kNoMemory when memory ran out looking a code up.
Status AddCharsToFontW(FontFace *pFace, FontEntry *pEntry, XLStream *pStream,
                       const FNDL_TEXTINFOW *pTextInfo, PageInfo *pPageInfo);

// The glyph index per character of the text that AddCharsToFontW would
// give the page, without sending anything or marking the entry: a glyph
// that is not sent yet and cannot be located reads as kNoGlyph. Codes
// looked up are kept in the entry, as a download keeps them. kOk, or
// kNoMemory when memory ran out.
Status FindCharacterGlyphsW(FontFace *pFace, FontEntry *pEntry, const FNDL_TEXTINFOW *pTextInfo,
                            PageInfo *pPageInfo);

// What became of one character's glyph: sent; empty (an advance only:
// nothing sent to a Unicode-coded soft font, an empty character to a
// glyph-coded one); or not located (an empty character went out instead).
enum class CharacterGlyph { kSent, kEmpty, kMissing };

// Sends one character to the soft font of the coding, opening the
// character block first when *pbBlockOpen is false. An empty glyph goes to
// a Unicode-coded soft font only for a code the cmap does not map (bMapped
// false).
CharacterGlyph DownloadCharacter(FontFace *pFace, XLStream *pStream, FontEntry *pEntry,
                                 uint16_t nCharCode, uint32_t nGlyphIndex, bool bMapped,
                                 bool *pbBlockOpen, SoftFontCoding coding = SoftFontCoding::kUnicode);

// One ReadFontHeader with its embedded data.
void SendHeaderBlock(XLStream *pStream, const uint8_t *pbyData, uint32_t nLength);
// A table's copy length in blocks: two of 32768 bytes per whole 64 KiB, then
// the remainder, sent even when it is empty. Bytes of the copy length
// beyond the available source bytes go out as zeros.
void SendTableBlocks(XLStream *pStream, const uint8_t *pbySource, uint32_t dwAvailable,
                     uint32_t dwCopyLength);

// The font header up to its tables (BeginFontHeader, the descriptor, the GT
// segment header and its directory), and from the tables on (the null
// segment, EndFontHeader).
void SendFontHeaderStart(XLStream *pStream, FontEntry *pEntry, uint32_t dwSegmentSize,
                         const uint8_t *pbyDirectory, uint32_t dwDirectorySize,
                         SoftFontCoding coding = SoftFontCoding::kUnicode);
void SendFontHeaderEnd(XLStream *pStream);

// Fonts with PostScript (CFF) outlines go out as TrueType soft fonts
// (convertedfont.cpp).
// 1 when the font has CFF outlines (or, with bInstance, is a variable
// instance whose outlines the renderer gives), the head, hhea,
// hmtx and maxp tables, and a logical font its outlines can be read through.
int HasConvertibleOutlines(FontFace *pFace, bool bInstance = false);
// The font header: head, hhea, hmtx and a maxp 1.0 declaring the converted
// glyphs' maxima. For a variable font (fvar) the hmtx, the bounding box in head
// and the extremes in hhea are the rendered instance's, measured glyph by
// glyph. kOk when sent, kRefused (nothing sent) when the tables are unusable.
Status DownloadConvertedFontHeader(FontFace *pFace, FontEntry *pEntry, XLStream *pStream,
                                   SoftFontCoding coding = SoftFontCoding::kUnicode);
// The font header of a variable font's instance whose glyphs the library
// varies (OpenFaceInstance): head, hhea, hmtx and maxp of the instance.
// kOk when sent, kRefused (nothing sent) when its tables cannot be made.
Status DownloadInstanceFontHeader(FontFace *pFace, FontEntry *pEntry, XLStream *pStream,
                                  SoftFontCoding coding = SoftFontCoding::kUnicode);
// Frees the glyphs and headers kept for the process and the conversion's
// blocks (the process's fonts are forgotten, as when the platform drops its
// realized fonts).
void ForgetConvertedGlyphs();
// GetTTEFilePointer for a converted font: the glyph as TrueType data, kept
// in the process's converted-glyph store (valid until the next glyph is
// converted; *ppStorage untouched) or, when the store does not keep it, in
// a global-heap block (*ppStorage, released with ReleaseFontTable); length
// 0 for an outline without contours; nothing written when the glyph has no
// outline that converts.
void GetConvertedGlyph(FontFace *pFace, int32_t *pnLength, uint32_t nGlyphIndex, uint8_t **ppGlyph,
                       uint8_t **ppStorage);

// The font selection: SetFont (character size, symbol set 1), bold value,
// shear and angle, from the request's height and style and the entry's
// resolution.
void WriteFontSelection(XLStream *pStream, const FontEntry *pEntry, const FNDL_TEXTINFOW *pTextInfo,
                        SoftFontCoding coding = SoftFontCoding::kUnicode);
