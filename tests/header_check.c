// SPDX-License-Identifier: MIT
/* The public header compiles as C, and its records have the binary layout
 * callers rely on: 32-bit ints, 16-bit wide characters, no padding. */
#include <stddef.h>

#include "qorvfndl.h"

_Static_assert(sizeof(FNDL_TEXTINFOW) == 1064, "FNDL_TEXTINFOW size");
_Static_assert(offsetof(FNDL_TEXTINFOW, szText) == 0, "FNDL_TEXTINFOW.szText");
_Static_assert(offsetof(FNDL_TEXTINFOW, nReserved1) == 1024, "FNDL_TEXTINFOW.nReserved1");
_Static_assert(offsetof(FNDL_TEXTINFOW, nReserved2) == 1028, "FNDL_TEXTINFOW.nReserved2");
_Static_assert(offsetof(FNDL_TEXTINFOW, FontHeight) == 1032, "FNDL_TEXTINFOW.FontHeight");
_Static_assert(offsetof(FNDL_TEXTINFOW, bBold) == 1036, "FNDL_TEXTINFOW.bBold");
_Static_assert(offsetof(FNDL_TEXTINFOW, bItalic) == 1040, "FNDL_TEXTINFOW.bItalic");
_Static_assert(offsetof(FNDL_TEXTINFOW, bUnderline) == 1044, "FNDL_TEXTINFOW.bUnderline");
_Static_assert(offsetof(FNDL_TEXTINFOW, nReserved3) == 1048, "FNDL_TEXTINFOW.nReserved3");
_Static_assert(offsetof(FNDL_TEXTINFOW, nOffsetToText) == 1052, "FNDL_TEXTINFOW.nOffsetToText");
_Static_assert(offsetof(FNDL_TEXTINFOW, nLeftMargin) == 1056, "FNDL_TEXTINFOW.nLeftMargin");
_Static_assert(offsetof(FNDL_TEXTINFOW, bNewPage) == 1060, "FNDL_TEXTINFOW.bNewPage");

_Static_assert(sizeof(FNDL_TEXTINFOA) == 548, "FNDL_TEXTINFOA size");
_Static_assert(offsetof(FNDL_TEXTINFOA, szText) == 0, "FNDL_TEXTINFOA.szText");
_Static_assert(offsetof(FNDL_TEXTINFOA, nReserved1) == 512, "FNDL_TEXTINFOA.nReserved1");
_Static_assert(offsetof(FNDL_TEXTINFOA, FontHeight) == 516, "FNDL_TEXTINFOA.FontHeight");
_Static_assert(offsetof(FNDL_TEXTINFOA, bBold) == 520, "FNDL_TEXTINFOA.bBold");
_Static_assert(offsetof(FNDL_TEXTINFOA, bItalic) == 524, "FNDL_TEXTINFOA.bItalic");
_Static_assert(offsetof(FNDL_TEXTINFOA, bUnderline) == 528, "FNDL_TEXTINFOA.bUnderline");
_Static_assert(offsetof(FNDL_TEXTINFOA, nReserved3) == 532, "FNDL_TEXTINFOA.nReserved3");
_Static_assert(offsetof(FNDL_TEXTINFOA, nOffsetToText) == 536, "FNDL_TEXTINFOA.nOffsetToText");
_Static_assert(offsetof(FNDL_TEXTINFOA, nLeftMargin) == 540, "FNDL_TEXTINFOA.nLeftMargin");
_Static_assert(offsetof(FNDL_TEXTINFOA, bNewPage) == 544, "FNDL_TEXTINFOA.bNewPage");

_Static_assert(sizeof(FNDL_PAGEINFOW) == 1104, "FNDL_PAGEINFOW size");
_Static_assert(offsetof(FNDL_PAGEINFOW, chFont) == 0, "FNDL_PAGEINFOW.chFont");
_Static_assert(offsetof(FNDL_PAGEINFOW, szOutputPath) == 512, "FNDL_PAGEINFOW.szOutputPath");
_Static_assert(offsetof(FNDL_PAGEINFOW, nFontId) == 1024, "FNDL_PAGEINFOW.nFontId");
_Static_assert(offsetof(FNDL_PAGEINFOW, nPaperWidth) == 1028, "FNDL_PAGEINFOW.nPaperWidth");
_Static_assert(offsetof(FNDL_PAGEINFOW, nReserved1) == 1032, "FNDL_PAGEINFOW.nReserved1");
_Static_assert(offsetof(FNDL_PAGEINFOW, nResolution) == 1036, "FNDL_PAGEINFOW.nResolution");
_Static_assert(offsetof(FNDL_PAGEINFOW, nLineSpacing) == 1040, "FNDL_PAGEINFOW.nLineSpacing");
_Static_assert(offsetof(FNDL_PAGEINFOW, lfHeight) == 1044, "FNDL_PAGEINFOW.lfHeight");
_Static_assert(offsetof(FNDL_PAGEINFOW, lfWidth) == 1048, "FNDL_PAGEINFOW.lfWidth");
_Static_assert(offsetof(FNDL_PAGEINFOW, lfEscapement) == 1052, "FNDL_PAGEINFOW.lfEscapement");
_Static_assert(offsetof(FNDL_PAGEINFOW, lfOrientation) == 1056, "FNDL_PAGEINFOW.lfOrientation");
_Static_assert(offsetof(FNDL_PAGEINFOW, lfWeight) == 1060, "FNDL_PAGEINFOW.lfWeight");
_Static_assert(offsetof(FNDL_PAGEINFOW, lfItalic) == 1064, "FNDL_PAGEINFOW.lfItalic");
_Static_assert(offsetof(FNDL_PAGEINFOW, lfUnderline) == 1068, "FNDL_PAGEINFOW.lfUnderline");
_Static_assert(offsetof(FNDL_PAGEINFOW, lfStrikeOut) == 1072, "FNDL_PAGEINFOW.lfStrikeOut");
_Static_assert(offsetof(FNDL_PAGEINFOW, lfCharSet) == 1076, "FNDL_PAGEINFOW.lfCharSet");
_Static_assert(offsetof(FNDL_PAGEINFOW, lfOutPrecision) == 1080, "FNDL_PAGEINFOW.lfOutPrecision");
_Static_assert(offsetof(FNDL_PAGEINFOW, lfClipPrecision) == 1084, "FNDL_PAGEINFOW.lfClipPrecision");
_Static_assert(offsetof(FNDL_PAGEINFOW, lfQuality) == 1088, "FNDL_PAGEINFOW.lfQuality");
_Static_assert(offsetof(FNDL_PAGEINFOW, lfPitchAndFamily) == 1092, "FNDL_PAGEINFOW.lfPitchAndFamily");
_Static_assert(offsetof(FNDL_PAGEINFOW, bTTE) == 1096, "FNDL_PAGEINFOW.bTTE");
_Static_assert(offsetof(FNDL_PAGEINFOW, nStopX) == 1100, "FNDL_PAGEINFOW.nStopX");

_Static_assert(sizeof(FNDL_PAGEINFOA) == 592, "FNDL_PAGEINFOA size");
_Static_assert(offsetof(FNDL_PAGEINFOA, chFont) == 0, "FNDL_PAGEINFOA.chFont");
_Static_assert(offsetof(FNDL_PAGEINFOA, szOutputPath) == 256, "FNDL_PAGEINFOA.szOutputPath");
_Static_assert(offsetof(FNDL_PAGEINFOA, nFontId) == 512, "FNDL_PAGEINFOA.nFontId");
_Static_assert(offsetof(FNDL_PAGEINFOA, nPaperWidth) == 516, "FNDL_PAGEINFOA.nPaperWidth");
_Static_assert(offsetof(FNDL_PAGEINFOA, nReserved1) == 520, "FNDL_PAGEINFOA.nReserved1");
_Static_assert(offsetof(FNDL_PAGEINFOA, nResolution) == 524, "FNDL_PAGEINFOA.nResolution");
_Static_assert(offsetof(FNDL_PAGEINFOA, nLineSpacing) == 528, "FNDL_PAGEINFOA.nLineSpacing");
_Static_assert(offsetof(FNDL_PAGEINFOA, lfHeight) == 532, "FNDL_PAGEINFOA.lfHeight");
_Static_assert(offsetof(FNDL_PAGEINFOA, lfWidth) == 536, "FNDL_PAGEINFOA.lfWidth");
_Static_assert(offsetof(FNDL_PAGEINFOA, lfEscapement) == 540, "FNDL_PAGEINFOA.lfEscapement");
_Static_assert(offsetof(FNDL_PAGEINFOA, lfOrientation) == 544, "FNDL_PAGEINFOA.lfOrientation");
_Static_assert(offsetof(FNDL_PAGEINFOA, lfWeight) == 548, "FNDL_PAGEINFOA.lfWeight");
_Static_assert(offsetof(FNDL_PAGEINFOA, lfItalic) == 552, "FNDL_PAGEINFOA.lfItalic");
_Static_assert(offsetof(FNDL_PAGEINFOA, lfUnderline) == 556, "FNDL_PAGEINFOA.lfUnderline");
_Static_assert(offsetof(FNDL_PAGEINFOA, lfStrikeOut) == 560, "FNDL_PAGEINFOA.lfStrikeOut");
_Static_assert(offsetof(FNDL_PAGEINFOA, lfCharSet) == 564, "FNDL_PAGEINFOA.lfCharSet");
_Static_assert(offsetof(FNDL_PAGEINFOA, lfOutPrecision) == 568, "FNDL_PAGEINFOA.lfOutPrecision");
_Static_assert(offsetof(FNDL_PAGEINFOA, lfClipPrecision) == 572, "FNDL_PAGEINFOA.lfClipPrecision");
_Static_assert(offsetof(FNDL_PAGEINFOA, lfQuality) == 576, "FNDL_PAGEINFOA.lfQuality");
_Static_assert(offsetof(FNDL_PAGEINFOA, lfPitchAndFamily) == 580, "FNDL_PAGEINFOA.lfPitchAndFamily");
_Static_assert(offsetof(FNDL_PAGEINFOA, bTTE) == 584, "FNDL_PAGEINFOA.bTTE");
_Static_assert(offsetof(FNDL_PAGEINFOA, nStopX) == 588, "FNDL_PAGEINFOA.nStopX");

_Static_assert(sizeof(FNDL_PAGEBOX) == 24, "FNDL_PAGEBOX size");
_Static_assert(offsetof(FNDL_PAGEBOX, nRightLimit) == 0, "FNDL_PAGEBOX.nRightLimit");
_Static_assert(offsetof(FNDL_PAGEBOX, nBottomLimit) == 4, "FNDL_PAGEBOX.nBottomLimit");
_Static_assert(offsetof(FNDL_PAGEBOX, nClipLeft) == 8, "FNDL_PAGEBOX.nClipLeft");
_Static_assert(offsetof(FNDL_PAGEBOX, nClipTop) == 12, "FNDL_PAGEBOX.nClipTop");
_Static_assert(offsetof(FNDL_PAGEBOX, nClipRight) == 16, "FNDL_PAGEBOX.nClipRight");
_Static_assert(offsetof(FNDL_PAGEBOX, nClipBottom) == 20, "FNDL_PAGEBOX.nClipBottom");

_Static_assert(sizeof(FNDL_GLYPH) == 16, "FNDL_GLYPH size");
_Static_assert(offsetof(FNDL_GLYPH, nGlyph) == 0, "FNDL_GLYPH.nGlyph");
_Static_assert(offsetof(FNDL_GLYPH, nAdvance) == 4, "FNDL_GLYPH.nAdvance");
_Static_assert(offsetof(FNDL_GLYPH, nOffsetX) == 8, "FNDL_GLYPH.nOffsetX");
_Static_assert(offsetof(FNDL_GLYPH, nOffsetY) == 12, "FNDL_GLYPH.nOffsetY");

_Static_assert(sizeof(FNDL_GLYPHRUN) == 24, "FNDL_GLYPHRUN size");
_Static_assert(offsetof(FNDL_GLYPHRUN, FontHeight) == 0, "FNDL_GLYPHRUN.FontHeight");
_Static_assert(offsetof(FNDL_GLYPHRUN, bBold) == 4, "FNDL_GLYPHRUN.bBold");
_Static_assert(offsetof(FNDL_GLYPHRUN, bItalic) == 8, "FNDL_GLYPHRUN.bItalic");
_Static_assert(offsetof(FNDL_GLYPHRUN, nGlyphs) == 12, "FNDL_GLYPHRUN.nGlyphs");
_Static_assert(offsetof(FNDL_GLYPHRUN, nStopIndex) == 16, "FNDL_GLYPHRUN.nStopIndex");
_Static_assert(offsetof(FNDL_GLYPHRUN, bNewPage) == 20, "FNDL_GLYPHRUN.bNewPage");

/* Each function has the declared type. */
int (FNDL_CALL *const check_download_w)(FNDL_TEXTINFOW *, FNDL_PAGEINFOW *) = FNDLFontDownloadW;
int (FNDL_CALL *const check_download_a)(FNDL_TEXTINFOA *, FNDL_PAGEINFOA *) = FNDLFontDownloadA;
void (FNDL_CALL *const check_remove_w)(int *) = FNDLRemoveFontW;
void (FNDL_CALL *const check_remove_a)(int *) = FNDLRemoveFontA;
void (FNDL_CALL *const check_set_cursor)(int *, int *) = FNDLSetCursor;
int (FNDL_CALL *const check_get_cursor)(void) = FNDLGetCursor;
int (FNDL_CALL *const check_set_page_box)(const FNDL_PAGEBOX *) = FNDLSetPageBox;
int (FNDL_CALL *const check_glyph_run_w)(FNDL_GLYPHRUN *, const FNDL_GLYPH *, const FNDL_PAGEINFOW *) = FNDLGlyphRunW;

_Static_assert(FNDL_MEASURE_UNITS == 512, "FNDL_MEASURE_UNITS");
_Static_assert(sizeof(FNDL_TEXTMEASURE) == 8240, "FNDL_TEXTMEASURE size");
_Static_assert(offsetof(FNDL_TEXTMEASURE, nCursorX) == 0, "FNDL_TEXTMEASURE.nCursorX");
_Static_assert(offsetof(FNDL_TEXTMEASURE, nCursorY) == 4, "FNDL_TEXTMEASURE.nCursorY");
_Static_assert(offsetof(FNDL_TEXTMEASURE, nResult) == 8, "FNDL_TEXTMEASURE.nResult");
_Static_assert(offsetof(FNDL_TEXTMEASURE, nOffsetToText) == 12, "FNDL_TEXTMEASURE.nOffsetToText");
_Static_assert(offsetof(FNDL_TEXTMEASURE, nStopX) == 16, "FNDL_TEXTMEASURE.nStopX");
_Static_assert(offsetof(FNDL_TEXTMEASURE, bNewPage) == 20, "FNDL_TEXTMEASURE.bNewPage");
_Static_assert(offsetof(FNDL_TEXTMEASURE, nEndX) == 24, "FNDL_TEXTMEASURE.nEndX");
_Static_assert(offsetof(FNDL_TEXTMEASURE, nEndY) == 28, "FNDL_TEXTMEASURE.nEndY");
_Static_assert(offsetof(FNDL_TEXTMEASURE, nUnits) == 32, "FNDL_TEXTMEASURE.nUnits");
_Static_assert(offsetof(FNDL_TEXTMEASURE, nLines) == 36, "FNDL_TEXTMEASURE.nLines");
_Static_assert(offsetof(FNDL_TEXTMEASURE, nReserved1) == 40, "FNDL_TEXTMEASURE.nReserved1");
_Static_assert(offsetof(FNDL_TEXTMEASURE, nReserved2) == 44, "FNDL_TEXTMEASURE.nReserved2");
_Static_assert(offsetof(FNDL_TEXTMEASURE, anAdvance) == 48, "FNDL_TEXTMEASURE.anAdvance");
_Static_assert(offsetof(FNDL_TEXTMEASURE, anGlyph) == 2096, "FNDL_TEXTMEASURE.anGlyph");
_Static_assert(offsetof(FNDL_TEXTMEASURE, anLineStart) == 4144, "FNDL_TEXTMEASURE.anLineStart");
_Static_assert(offsetof(FNDL_TEXTMEASURE, anLineLength) == 6192, "FNDL_TEXTMEASURE.anLineLength");
