// SPDX-License-Identifier: MIT
// Cover page: sets the request's text on the page in the downloaded font.
#pragma once

#include <cstdint>
#include <cstdio>

#include "download/charsize.h"
#include "memory/globalblock.h"
#include "qorvfndl.h"
#include "session/session.h"
#include "session/status.h"

// The public results of the download calls, which the export makes from the
// cover page's Status.
enum : int {
    COVERPAGE_DONE = FNDL_OK,
    INVALID_GLYPH_HANDLE = FNDL_INVALID_GLYPH_HANDLE,
    PAGEEND = FNDL_PAGEEND,
    DOWNLOAD_FAILURE = FNDL_DOWNLOAD_FAILURE,
};

// kOk all written, kInvalidGlyph stopped at a character without glyph,
// kPageEnd page end, a failure when the request cannot be set or memory
// runs out. Changes the text record, PageInfo.nStopX, the cursor and the
// entries' reselect marks.
Status WriteToCoverPageW(FontSession *pSession, FILE *pFile, FNDL_TEXTINFOW *pTextInfo,
                         PageInfo *pPageInfo, int *pnCursorY);

// What WriteToCoverPageW would do from the measure's cursor, written into
// pMeasure (its advances from the text's offset on, its lines, its end
// cursor) and into the text record and pPageInfo->nStopX as that call
// would; nothing is written to a file, and neither the process cursor nor
// the session changes. hdcRequest holds the request's logical font (a face
// name is measured through it). pPageInfo->anGlyphIndex must hold the
// glyph indexes a download would give. Returns the result the call would.
Status MeasureCoverPageW(HDC hdcRequest, FNDL_TEXTINFOW *pTextInfo, PageInfo *pPageInfo,
                         FNDL_TEXTMEASURE *pMeasure);

// The page box of the following calls (FNDLSetPageBox): the caller's box,
// or the default page at each request's resolution for null. False when the
// box is refused; the requests fail then until another box is set.
bool SetPageBox(const FNDL_PAGEBOX *pBox);
// The limits a request at nResolution sets text within. False when there
// are none: a refused box, or no box and a resolution at which the default
// page does not fit the 16-bit coordinates.
bool RequestPageLimits(int nResolution, PageLimits *pLimits);

// The Text of a glyph run, worked out before anything is written: the glyph
// indexes as character codes, the cursor's move after each glyph in x and
// in y (null when no glyph is offset vertically), where the Text starts and
// the pen's x at the end of the run.
struct GlyphRunText {
    GlobalBlock<uint16_t> codes;
    GlobalBlock<int16_t> xSpacing;
    GlobalBlock<int16_t> ySpacing;
    int nCount = 0;
    int nStartX = 0;
    int nStartY = 0;
    int nEndX = 0;
};
// False when memory is exhausted, or a glyph index, a position, a spacing or
// the run's end does not fit the page's 16-bit numbers.
bool MakeGlyphRunText(const FNDL_GLYPH *pGlyphs, int nGlyphs, int nCursorX, int nCursorY,
                      GlyphRunText *pText);

// Sets a glyph run at the cursor in the glyph-coded font the download
// selected: the clip box, then SetCursor and one Text, unless the page
// ends first. kOk set (the cursor's x at the run's end), kPageEnd (nothing
// of the run set, bNewPage 1, the fonts marked for reselection), kFailed no
// page limits.
Status WriteGlyphRun(FontSession *pSession, FILE *pFile, FNDL_TEXTINFOW *pTextInfo,
                     PageInfo *pPageInfo, const GlyphRunText &text);

// Fixed PCL XL page fragments written straight into the output file.
// Coordinates and advances are written as their low 16 bits.
void WriteClipRectangle(FILE *pFile, int nLeft, int nTop, int nRight, int nBottom);
void WriteSetCursor(FILE *pFile, int nX, const int *pnY);
void WriteTextLine(FILE *pFile, const WCHAR *pchText, int nCount, const int *pnAdvances);
void WriteSetROP(FILE *pFile, uint8_t nRop);
void WriteSetPenSource(FILE *pFile, uint8_t nAttribute, uint8_t nValue);
void WriteRectangle(FILE *pFile, int nLeft, int nTop, int nRight, int nBottom);
