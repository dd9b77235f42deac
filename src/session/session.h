// SPDX-License-Identifier: MIT
// The session: the fonts already downloaded to the printer in this job, the
// memory device context they are read through, and the write callback that
// carries the stream writer's bytes into the output file. Also the state
// that lives from call to call, and the page record of one download call.
#pragma once

#include <windows.h>

#include <cstdint>

#include "truetype/tables.h"
#include "xlstream/xlstream.h"

// Bytes kept of a variable font's style name (the rest is cut off).
constexpr size_t kInstanceStyleBytes = 64;

// One downloaded soft font, keyed by the caller's font id.
struct FontEntry {
    int bBold;
    int bItalic;
    int bUnderline;
    uint32_t nGlyphs;
    char szFaceName[256];      // face name, or font file path when read from a file
    uint8_t *pbDownloaded;     // 65535 bytes: bit (code % 8) of byte (code / 8) = sent
    int nFontId;
    uint32_t *pnCharToGlyph;   // 65535 entries: glyph index per UTF-16 code, kNoGlyph = none;
                               // only BuildCharToGlyphTable fills it (a call's entry uses apCharPages)
    // The glyphs of the codes looked up so far, in pages of kCharPageCodes
    // codes made as their first code is asked for: glyph index + 1 (kNoGlyph
    // + 1 for none), 0 for a code not looked up yet.
    uint32_t *apCharPages[0x10000 / 256];
    char szXLFontName[256];    // PCL XL font name of the soft font coded by UTF-16 unit
    int nFontHeight;
    int nResolution;
    FontEntry *pNext;
    int bReselect;             // 1: select the font again before the next text
    int bConvertOutlines;      // 1: CFF outlines, glyphs converted to TrueType
    int bVaryOutlines;         // 1: a variable font's instance, glyphs varied by the library
    // The font's head table as it was read for the soft font (its dates
    // and checksum adjustment tell one font from another): a later request
    // of the font id whose font has another is refused.
    uint8_t abyHead[HeadTable::kSize];
    uint32_t dwHeadSize;
    // The second soft font of the id, coded by glyph index (the glyph run
    // call), so that its codes never meet the UTF-16 codes above. Each name
    // is empty until its font's header is sent.
    char szXLGlyphFontName[256];
    uint8_t *pbGlyphSent;      // 8192 bytes: bit (glyph % 8) of byte (glyph / 8) = sent
    // A variable font's instances share its head: the style name the device
    // context gave (empty for a static font or a font file) tells them apart.
    char szInstanceStyle[kInstanceStyleBytes];
};

constexpr uint32_t kCharTableEntries = 0xFFFF; // codes 0 to 0xFFFE
constexpr uint32_t kCharPageCodes = 256;
constexpr uint32_t kDownloadedSetBytes = 0xFFFF;
constexpr uint32_t kGlyphSentSetBytes = 0x10000 / 8;
// Marks a code the cmap does not map. It lies outside the 16-bit glyph
// indexes, so a code that the cmap really maps to glyph 32 keeps its glyph.
constexpr uint32_t kNoGlyph = 0x10000;

struct FontSession {
    HDC hdc;               // memory DC with the latest call's font selected
    LOGFONTA lfSelected;   // the logical font selected into hdc (zeroed, then filled)
    FontEntry *pCurrent;   // the entry added last
    uint32_t nCount;
    FontEntry *pHead;
    char szOutputPath[256];
};

// The internal page record a download call builds on its stack and passes to
// the font download and the cover page.
struct PageInfo {
    char *chFont;           // ANSI face name or font file path (global heap)
    char szOutputPath[256]; // ANSI output path
    int nFontId;
    int nReserved1;
    int nPaperWidth;
    int nResolution;
    int nLineSpacing;
    int anGlyphIndex[529];  // glyph index per character of the text; kNoGlyph = none
    int bTTE;               // the font is read from the file chFont names
    int nStopX;             // -1 at the start of a call
};

// Process-wide state shared by the exported calls; zero at load.
extern FontSession *g_pSession;
extern XLStream *g_pStream;
extern int g_nCursorX;
extern int g_nCursorY;
extern int bFontFileError; // the call's font file could not be mapped

FontEntry *FindDownloadedFontW(FontSession *pSession, int nFontId);
int AddFontEntry(FontSession *pSession);
void MarkFontsForReselect(FontSession *pSession);

// Write callback of the download and removal calls: writes the stream's
// buffer into the stream's output file (its FILE buffer; the caller flushes).
int32_t WriteToOutputFile(XLStream *pStream, uint32_t dwUser, const uint8_t *pbyBuffer,
                          int32_t nLength);

// A new, empty session for the given output path; null when out of memory.
FontSession *CreateFontSession(const char *szOutputPath);
// Releases an entry with its tables.
void ReleaseFontEntry(FontEntry *pEntry);
// Releases the session with its entries, device context and font, and
// clears g_pSession when it is that session.
void DiscardFontSession(FontSession *pSession);
// Unlinks the entry with the font id, writes RemoveFont for each of its
// soft fonts that was sent and releases it. 0 when no entry has the id.
int RemoveFontEntry(FontSession *pSession, XLStream *pStream, int nFontId);
// Unlinks and releases an entry without writing anything: one added by a
// call that was refused before its font went out.
void DropFontEntry(FontSession *pSession, FontEntry *pEntry);
// Makes hdc, with the logical font lf selected, the session's device
// context, deleting the earlier one and the font selected into it.
void ReplaceSessionDeviceContext(FontSession *pSession, HDC hdc, const LOGFONTA &lf);
// True when the session's device context has the logical font lf selected,
// so that a call can read the font through it as it stands.
bool SessionHasLogFont(const FontSession *pSession, const LOGFONTA &lf);
