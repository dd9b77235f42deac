// Process-wide state shared by the exported calls, and the internal page
// record a download call passes to the font download and the cover page.
#pragma once

#include <windows.h>

#include "session/session.h"
#include "xlstream/xlstream.h"

struct PageInfo {
    char *chFont;           // ANSI face name or font file path (global heap)
    char szOutputPath[256]; // ANSI output path
    int nFontId;
    int nReserved1;
    int nPaperWidth;
    int nResolution;
    int nLineSpacing;
    int anGlyphIndex[529];  // glyph index per character of the text; 0x20 = none
    int bTTE;
    int nStopX;             // -1 at the start of a call
};

extern FontSession *g_pSession;
extern XLStream *g_pStream;
extern int g_nCursorX;
extern int g_nCursorY;
extern int bTTE;           // the latest request reads its font from a file
extern int bFontFileError; // a font file could not be mapped; never cleared

// New global-heap strings of the first / last n characters of a text; the
// caller releases them with GlobalFree. WideRight gives null when n exceeds
// the text's length.
WCHAR *WideLeft(const WCHAR *szText, int n);
WCHAR *WideRight(const WCHAR *szText, int n);

// Length of a NUL-terminated UTF-16 text.
int WideLength(const WCHAR *szText);
