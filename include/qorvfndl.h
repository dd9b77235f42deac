/*
 * qorvfndl: TrueType soft-font download for PCL XL job producers.
 *
 * Each download call appends to the job's output file the PCL XL operators
 * that download a TrueType font as a soft font (font header, the characters
 * the printer does not hold yet), select it and set the request's text on the
 * page. The caller writes the stream header and the session/page framing.
 *
 * The records below are a binary interface: every int is 32 bits, every wide
 * character 16 bits (UTF-16), and there is no padding.
 */
#ifndef QORVFNDL_H
#define QORVFNDL_H

/* Version of this header and of the library built from it. */
#define FNDL_VERSION_MAJOR 0
#define FNDL_VERSION_MINOR 2
#define FNDL_VERSION_PATCH 0

#ifdef _WIN32
#define FNDL_CALL __stdcall
#define FNDL_EXPORT
typedef wchar_t FNDL_WCHAR;
#else
#define FNDL_CALL
#define FNDL_EXPORT __attribute__((visibility("default")))
#ifdef __cplusplus
typedef char16_t FNDL_WCHAR;
#else
#include <uchar.h>
typedef char16_t FNDL_WCHAR;
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Results of FNDLFontDownloadW and FNDLFontDownloadA. */
#define FNDL_OK 0                   /* font downloaded, whole text written */
#define FNDL_INVALID_GLYPH_HANDLE 1 /* stopped at a character without glyph */
#define FNDL_PAGEEND 2              /* page full: new page, call again */
#define FNDL_DOWNLOAD_FAILURE 3     /* failure: file, memory, font */

/* Text record, wide form. */
typedef struct FNDL_TEXTINFOW {
    FNDL_WCHAR szText[512]; /* cover page text, NUL-terminated */
    int nReserved1;
    int nReserved2;
    int FontHeight;    /* tenths of a point */
    int bBold;         /* 1 = bold */
    int bItalic;       /* nonzero: italic logical font; 1 = slanted text */
    int bUnderline;    /* nonzero: underlined logical font; 1 = underline */
    int nReserved3;
    int nOffsetToText; /* in: characters to skip; out: where to go on */
    int nLeftMargin;   /* x of a new line, device units */
    int bNewPage;      /* out: 1 when the page is full */
} FNDL_TEXTINFOW;

/* Text record, ANSI form (UTF-8 on Linux). */
typedef struct FNDL_TEXTINFOA {
    char szText[512];
    int nReserved1;
    int FontHeight;
    int bBold;
    int bItalic;
    int bUnderline;
    int nReserved3;
    int nOffsetToText;
    int nLeftMargin;
    int bNewPage;
} FNDL_TEXTINFOA;

/* Page record, wide form. */
typedef struct FNDL_PAGEINFOW {
    FNDL_WCHAR chFont[256];       /* face name, or font file path with bTTE */
    FNDL_WCHAR szOutputPath[256]; /* output file, appended to */
    int nFontId;                  /* the caller's key for the font */
    int nPaperWidth;
    int nReserved1;
    int nResolution;  /* dots per inch */
    int nLineSpacing; /* device units between lines */
    int lfHeight;
    int lfWidth;
    int lfEscapement;
    int lfOrientation;
    int lfWeight;
    int lfItalic;
    int lfUnderline;
    int lfStrikeOut;
    int lfCharSet;
    int lfOutPrecision;
    int lfClipPrecision;
    int lfQuality;
    int lfPitchAndFamily;
    int bTTE;   /* nonzero: read the font from the file named by chFont */
    int nStopX; /* out: x where the text stopped at a missing glyph, else 0 */
} FNDL_PAGEINFOW;

/* Page record, ANSI form. */
typedef struct FNDL_PAGEINFOA {
    char chFont[256];
    char szOutputPath[256];
    int nFontId;
    int nPaperWidth;
    int nReserved1;
    int nResolution;
    int nLineSpacing;
    int lfHeight;
    int lfWidth;
    int lfEscapement;
    int lfOrientation;
    int lfWeight;
    int lfItalic;
    int lfUnderline;
    int lfStrikeOut;
    int lfCharSet;
    int lfOutPrecision;
    int lfClipPrecision;
    int lfQuality;
    int lfPitchAndFamily;
    int bTTE;
    int nStopX;
} FNDL_PAGEINFOA;

FNDL_EXPORT int FNDL_CALL FNDLFontDownloadW(FNDL_TEXTINFOW *pTextInfo, FNDL_PAGEINFOW *pPageInfo);
FNDL_EXPORT int FNDL_CALL FNDLFontDownloadA(FNDL_TEXTINFOA *pTextInfo, FNDL_PAGEINFOA *pPageInfo);
FNDL_EXPORT void FNDL_CALL FNDLRemoveFontW(int *pnFontId);
FNDL_EXPORT void FNDL_CALL FNDLRemoveFontA(int *pnFontId);
FNDL_EXPORT void FNDL_CALL FNDLSetCursor(int *pnX, int *pnY);
FNDL_EXPORT int FNDL_CALL FNDLGetCursor(void);

#ifdef __cplusplus
}
#endif

#endif /* QORVFNDL_H */
