/* SPDX-License-Identifier: MIT */
/*
 * qorvfndl: TrueType soft-font download for PCL XL job producers.
 *
 * Each download call appends to the job's output file the PCL XL operators
 * that download a TrueType font as a soft font (font header, the characters
 * the printer does not hold yet), select it and set the request's text on the
 * page. The caller writes the stream header and the session/page framing.
 * Every call opens the output file for appending, writes and closes it
 * before it returns, so its bytes land where the caller's output stands.
 *
 * Job lifecycle. The library keeps one font session per process: the fonts
 * downloaded so far (by nFontId), which characters each has sent, and the
 * output path of the download call that began the session. The session
 * spans calls across files: it ends only when its last font is removed or a
 * download fails. So, at the end of each job, call FNDLRemoveFontW (or _A)
 * for every font id the job used. Otherwise the next job, even into another
 * file, gets no font header for a font id the session still holds (the
 * printer is told to use a font it never received), and its RemoveFont
 * lands in the first job's file.
 *
 * Threads. Every call takes one process-wide lock: calls from several
 * threads run one after another, each whole. The session, the cursor and
 * the page box stay process-wide, shared by every job in the process: build
 * one job at a time.
 *
 * Units. Device units are dots at the request's nResolution (dots per
 * inch); FontHeight is in tenths of a point (1/720 inch).
 *
 * The records below are a binary interface: every int is 32 bits, every wide
 * character 16 bits (UTF-16), and there is no padding. Zero a record before
 * filling it in (memset); fields marked "not used" must still be there.
 * The header compiles as C89 to C17 and C++98 to C++20.
 */
#ifndef QORVFNDL_H
#define QORVFNDL_H

/* Version of this header and of the library built from it. */
#define FNDL_VERSION_MAJOR 0
#define FNDL_VERSION_MINOR 2
#define FNDL_VERSION_PATCH 0

/* FNDL_WCHAR: one UTF-16 code unit. char16_t where the language has it
 * (C++11, C11); before that the same 16-bit unsigned type under its plain
 * name. */
#ifdef _WIN32
#define FNDL_CALL __stdcall
#define FNDL_EXPORT
#ifndef __cplusplus
#include <stddef.h> /* wchar_t is no keyword in C */
#endif
typedef wchar_t FNDL_WCHAR;
#else
#define FNDL_CALL
#define FNDL_EXPORT __attribute__((visibility("default")))
#if defined(__cplusplus) && __cplusplus >= 201103L
typedef char16_t FNDL_WCHAR;
#elif !defined(__cplusplus) && defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#include <uchar.h>
typedef char16_t FNDL_WCHAR;
#else
typedef unsigned short FNDL_WCHAR;
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Results of FNDLFontDownloadW and FNDLFontDownloadA. */
/* The font is downloaded (or was already) and the whole text is written. */
#define FNDL_OK 0
/* The text stopped at a character the font has no glyph for: nOffsetToText
 * is its offset in szText (counted from the start of szText, not from the
 * skip), nStopX the x where it would have gone (0 past the right limit). To
 * go on, set the cursor to nStopX and call again with the offset past it. */
#define FNDL_INVALID_GLYPH_HANDLE 1
/* The text reached the bottom of the page: bNewPage is 1 and nOffsetToText
 * says where to go on. End the page, begin the next, set the cursor and call
 * again with the returned nOffsetToText. */
#define FNDL_PAGEEND 2
/* Failure. The output file cannot be opened, written or closed; memory is
 * exhausted; the font cannot be read (no such face or file, a damaged or
 * unsupported font, a font file that could not be mapped: that call fails,
 * later ones do not); a record pointer is null, nOffsetToText is negative, a
 * path or text does not convert, the output path has 256 bytes or more
 * (UTF-8 for the W form), or the page box set last was refused. A failed call leaves the output file as it found
 * it: what it appended is cut off (not on a pipe or device). A failure while
 * writing also discards the session, and the next call starts a new one that
 * sends its fonts again: end the job there or drop it. */
#define FNDL_DOWNLOAD_FAILURE 3

/* Text record, wide form: the first argument of FNDLFontDownloadW. Fields are
 * read by the call (in) unless marked out. */
typedef struct FNDL_TEXTINFOW {
    FNDL_WCHAR szText[512]; /* in: the text, UTF-16, NUL-terminated (511 units at most) */
    int nReserved1;         /* not used */
    int nReserved2;         /* not used */
    int FontHeight;         /* in: font height, tenths of a point (120 = 12 pt) */
    int bBold;              /* in: 1 = set the text bold */
    int bItalic;            /* in: nonzero = italic logical font; 1 = slant the text */
    int bUnderline;         /* in: nonzero = underlined logical font; 1 = underline the lines */
    int nReserved3;         /* not used */
    int nOffsetToText;      /* in: characters of szText to skip (>= 0); out, when nonzero:
                               where the text stopped (results 1 and 2) */
    int nLeftMargin;        /* in: x where a new line starts, device units */
    int bNewPage;           /* out: set to 1 when the page is full (result 2); never
                               cleared by the call: reset it before the next call */
} FNDL_TEXTINFOW;

/* Text record, ANSI form: the first argument of FNDLFontDownloadA. szText is
 * in the ANSI code page (UTF-8 on Linux) and is converted to UTF-16 first;
 * the other fields are those of FNDL_TEXTINFOW (it has no nReserved2). */
typedef struct FNDL_TEXTINFOA {
    char szText[512];  /* in: the text, NUL-terminated */
    int nReserved1;    /* not used */
    int FontHeight;    /* in: tenths of a point */
    int bBold;         /* in */
    int bItalic;       /* in */
    int bUnderline;    /* in */
    int nReserved3;    /* not used */
    int nOffsetToText; /* in: UTF-16 units to skip; out: where the text stopped */
    int nLeftMargin;   /* in: device units */
    int bNewPage;      /* out */
} FNDL_TEXTINFOA;

/* Page record, wide form: the second argument of FNDLFontDownloadW. The lf*
 * fields describe the logical font looked up by face name, as in a Windows
 * LOGFONT (the low byte of the byte-sized ones is used). */
typedef struct FNDL_PAGEINFOW {
    FNDL_WCHAR chFont[256];       /* in: face name; with bTTE, the font file's path (TrueType or OpenType) */
    FNDL_WCHAR szOutputPath[256]; /* in: output file, opened for appending */
    int nFontId;                  /* in: the caller's key for the font; the soft font is
                                     named "OT:<nFontId in hex>:<chFont>:n" */
    int nPaperWidth;              /* not used */
    int nReserved1;               /* not used */
    int nResolution;              /* in: device resolution, dots per inch */
    int nLineSpacing;             /* in: distance between lines, device units */
    int lfHeight;                 /* not used: the height is FontHeight */
    int lfWidth;                  /* not used: the width is 0 */
    int lfEscapement;             /* in: tenths of a degree */
    int lfOrientation;            /* in: tenths of a degree */
    int lfWeight;                 /* in: 0-1000 (400 normal, 700 bold) */
    int lfItalic;                 /* in: used when bItalic is 0 */
    int lfUnderline;              /* in: used when bUnderline is 0 */
    int lfStrikeOut;              /* in */
    int lfCharSet;                /* in */
    int lfOutPrecision;           /* in */
    int lfClipPrecision;          /* in */
    int lfQuality;                /* in */
    int lfPitchAndFamily;         /* in */
    int bTTE;                     /* in: nonzero = read the font from the file chFont names */
    int nStopX;                   /* out: x, device units, where the text stopped at a
                                     character without glyph (result 1), else 0 */
} FNDL_PAGEINFOW;

/* Page record, ANSI form: the second argument of FNDLFontDownloadA. chFont
 * and szOutputPath are in the ANSI code page (UTF-8 on Linux); the other
 * fields are those of FNDL_PAGEINFOW. */
typedef struct FNDL_PAGEINFOA {
    char chFont[256];       /* in */
    char szOutputPath[256]; /* in */
    int nFontId;            /* in */
    int nPaperWidth;        /* not used */
    int nReserved1;         /* not used */
    int nResolution;        /* in: dots per inch */
    int nLineSpacing;       /* in: device units */
    int lfHeight;           /* not used */
    int lfWidth;            /* not used */
    int lfEscapement;       /* in */
    int lfOrientation;      /* in */
    int lfWeight;           /* in */
    int lfItalic;           /* in */
    int lfUnderline;        /* in */
    int lfStrikeOut;        /* in */
    int lfCharSet;          /* in */
    int lfOutPrecision;     /* in */
    int lfClipPrecision;    /* in */
    int lfQuality;          /* in */
    int lfPitchAndFamily;   /* in */
    int bTTE;               /* in */
    int nStopX;             /* out */
} FNDL_PAGEINFOA;

/* Page box: where the download calls (and FNDLGlyphRunW) set text, in
 * device units. Without one the box is the 600-dpi page's, scaled by the
 * request's nResolution / 600: right limit 4725, bottom limit 6780, clip
 * box 0, 0, 4900, 6400. */
typedef struct FNDL_PAGEBOX {
    int nRightLimit;  /* a line breaks before it would end beyond this x */
    int nBottomLimit; /* a line whose baseline y lies below this ends the page */
    int nClipLeft;    /* the clip box, written with SetClipRectangle at the */
    int nClipTop;     /* start of every call; a line whose descent would */
    int nClipRight;   /* reach below nClipBottom ends the page too */
    int nClipBottom;
} FNDL_PAGEBOX;

/* Downloads the font once per session (later calls send only the characters
 * not sent yet), selects it and sets the text from the cursor: lines broken
 * at the page's right limit, each next line at nLeftMargin, nLineSpacing
 * lower. Returns FNDL_OK, FNDL_INVALID_GLYPH_HANDLE, FNDL_PAGEEND or
 * FNDL_DOWNLOAD_FAILURE. */
FNDL_EXPORT int FNDL_CALL FNDLFontDownloadW(FNDL_TEXTINFOW *pTextInfo, FNDL_PAGEINFOW *pPageInfo);
FNDL_EXPORT int FNDL_CALL FNDLFontDownloadA(FNDL_TEXTINFOA *pTextInfo, FNDL_PAGEINFOA *pPageInfo);
/* Appends RemoveFont for the font *pnFontId to the output file of the
 * session's first download and forgets the font; removing the session's last
 * font ends the session. An unknown id writes nothing. No result. */
FNDL_EXPORT void FNDL_CALL FNDLRemoveFontW(int *pnFontId);
FNDL_EXPORT void FNDL_CALL FNDLRemoveFontA(int *pnFontId);
/* Sets where the next text starts: x of its first line and y of the
 * baseline, device units. The cursor outlives calls and sessions. */
FNDL_EXPORT void FNDL_CALL FNDLSetCursor(int *pnX, int *pnY);
/* The cursor's y, device units: after a download call, where the next line
 * would go. */
FNDL_EXPORT int FNDL_CALL FNDLGetCursor(void);

/* Most glyphs in one FNDLGlyphRunW call. */
#define FNDL_MAX_GLYPH_RUN 4096

/* One glyph of a run for FNDLGlyphRunW, in device units: the glyph is drawn
 * at the pen moved by (nOffsetX, nOffsetY), then the pen moves nAdvance to
 * the right. Device y grows down the page: a mark raised above its base
 * has a negative nOffsetY (HarfBuzz's y_offset with the sign turned). */
typedef struct FNDL_GLYPH {
    int nGlyph;   /* in: glyph index in the font, below its glyph count */
    int nAdvance; /* in: pen advance after the glyph */
    int nOffsetX; /* in: the glyph's x offset from the pen */
    int nOffsetY; /* in: the glyph's y offset from the pen (down) */
} FNDL_GLYPH;

/* Glyph run record: the first argument of FNDLGlyphRunW. */
typedef struct FNDL_GLYPHRUN {
    int FontHeight; /* in: tenths of a point, as in FNDL_TEXTINFOW */
    int bBold;      /* in: 1 = set the run bold */
    int bItalic;    /* in: nonzero = italic logical font; 1 = slant the run */
    int nGlyphs;    /* in: glyphs at pGlyphs, 0 to FNDL_MAX_GLYPH_RUN */
    int nStopIndex; /* out: result 1: index of the first glyph the font could not
                       give (a damaged font); else 0 */
    int bNewPage;   /* out: set to 1 at a page end (result 2); never cleared */
} FNDL_GLYPHRUN;

/* Sets a run of glyphs that the caller has shaped (HarfBuzz, for example)
 * at the cursor, in the font of the page record (chFont, bTTE, nFontId,
 * nResolution, the lf* fields; nLineSpacing is not used and nothing is
 * written back into it). Glyphs go out in a soft font of their own for the
 * font id, "OT:<nFontId in hex>:<chFont>:g", whose character codes are the
 * glyph indexes: its header once, each glyph once (composites with their
 * components), so they never meet the characters FNDLFontDownloadW sends
 * for the same id; FNDLRemoveFontW removes both soft fonts. Then the
 * font's selection, the page box's clip rectangle, and the run as one Text
 * from the cursor, with XSpacingData (and YSpacingData when a glyph is
 * offset vertically). The run is not broken at the right limit: lines are
 * the caller's. The cursor's x moves to the end of the run; y stays.
 * Returns FNDL_OK; FNDL_INVALID_GLYPH_HANDLE when a glyph cannot be read
 * from the font (nStopIndex says which; nothing of the run is set);
 * FNDL_PAGEEND when the cursor's y is below the page box's bottom (bNewPage
 * is 1; nothing of the run is set); FNDL_DOWNLOAD_FAILURE as the download
 * calls, and for a glyph index at or above the font's glyph count, a count
 * outside 0..FNDL_MAX_GLYPH_RUN, or a position, spacing or end of the run
 * beyond -32768..32767: then what the call appended is cut off again. */
FNDL_EXPORT int FNDL_CALL FNDLGlyphRunW(FNDL_GLYPHRUN *pRun, const FNDL_GLYPH *pGlyphs,
                                        const FNDL_PAGEINFOW *pPageInfo);

/* Sets the page box of the following calls of the process (every session,
 * every file, until set again); NULL goes back to the default box. Writes
 * nothing. Returns FNDL_OK, or FNDL_DOWNLOAD_FAILURE for a box the page's
 * 16-bit coordinates cannot hold (a value outside -32768..32767, a negative
 * limit, a clip box whose right is not right of its left or bottom not
 * below its top): then every following download or glyph run call fails with
 * FNDL_DOWNLOAD_FAILURE and writes nothing until a box that fits, or NULL,
 * is set. */
FNDL_EXPORT int FNDL_CALL FNDLSetPageBox(const FNDL_PAGEBOX *pBox);

/* Slots of a measure record's arrays: one per UTF-16 unit of szText
 * (511 units and its NUL), and as many lines, as a text breaks into at most
 * one line per unit and one empty line before its first. */
#define FNDL_MEASURE_UNITS 512

/* Measure record: the third argument of FNDLMeasureTextW and _A. What the
 * download call with the same text and page records would do from the
 * cursor (nCursorX, nCursorY), device units. Arrays are indexed by the
 * UTF-16 unit of szText counted from its start, not from the skip (the A
 * form's szText after its conversion to UTF-16). */
typedef struct FNDL_TEXTMEASURE {
    int nCursorX;      /* in: x the text starts at, as FNDLSetCursor would set it */
    int nCursorY;      /* in: y of the first line's baseline */
    int nResult;       /* out: what the download would return (as the call's result) */
    int nOffsetToText; /* out: results 1 and 2: where the text would stop, as the
                          download's nOffsetToText; else 0 */
    int nStopX;        /* out: result 1: the download's nStopX; else 0 */
    int bNewPage;      /* out: 1 when the page would be full (result 2); else 0 */
    int nEndX;         /* out: the cursor's x after the download */
    int nEndY;         /* out: the cursor's y after it (what FNDLGetCursor would give) */
    int nUnits;        /* out: where the text ends: the unit of its NUL (0 when
                          nOffsetToText leaves no text) */
    int nLines;        /* out: lines the download would set: line 0 at (nCursorX,
                          nCursorY), line k at (nLeftMargin, nCursorY + k * nLineSpacing) */
    int nReserved1;    /* not used */
    int nReserved2;    /* not used */
    int anAdvance[FNDL_MEASURE_UNITS];    /* out: per unit from nOffsetToText to nUnits, its
                                             advance as the Text operator sets it (the font's
                                             width at the printed size), also beyond where
                                             this text stops; 0 for a unit the text stops at,
                                             and before nOffsetToText */
    int anGlyph[FNDL_MEASURE_UNITS];      /* out: per unit from nOffsetToText to nUnits, the
                                             font's glyph index for it, 0 where it has none
                                             (the text stops there unless it is a space or =);
                                             0 elsewhere */
    int anLineStart[FNDL_MEASURE_UNITS];  /* out: per line, its first unit */
    int anLineLength[FNDL_MEASURE_UNITS]; /* out: per line, its units; 0 for an empty line
                                             that only moves the text to nLeftMargin */
} FNDL_TEXTMEASURE;

/* Measures the text of a download call without making it: the same records
 * as FNDLFontDownloadW (szOutputPath is not used) and the measure record,
 * whose fields all come back written. Nothing is written to any file, and
 * the session (its fonts and characters), the cursor and the page box stay
 * as they were; the text record and the page record are only read. The
 * lines break, the page ends and the text stops at a character without
 * glyph exactly as the download with the same session, page box and
 * cursor would make them. Returns (and puts in nResult) FNDL_OK,
 * FNDL_INVALID_GLYPH_HANDLE or FNDL_PAGEEND as that download would, or
 * FNDL_DOWNLOAD_FAILURE for a null pointer, a negative nOffsetToText, a font
 * that cannot be read or differs from the one the session holds under
 * nFontId, a page box, resolution, character size or line spacing the
 * download would refuse, a text or font name that does not convert, or
 * exhausted memory; the download may still fail where writing fails. */
FNDL_EXPORT int FNDL_CALL FNDLMeasureTextW(const FNDL_TEXTINFOW *pTextInfo,
                                           const FNDL_PAGEINFOW *pPageInfo,
                                           FNDL_TEXTMEASURE *pMeasure);
FNDL_EXPORT int FNDL_CALL FNDLMeasureTextA(const FNDL_TEXTINFOA *pTextInfo,
                                           const FNDL_PAGEINFOA *pPageInfo,
                                           FNDL_TEXTMEASURE *pMeasure);

#ifdef __cplusplus
}
#endif

#endif /* QORVFNDL_H */
