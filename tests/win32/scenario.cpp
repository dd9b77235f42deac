// SPDX-License-Identifier: MIT
#include "scenario.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

namespace {

// UTF-8 to UTF-16 code units in a fixed record array, NUL-terminated.
template <size_t N>
void SetWide(FNDL_WCHAR (&aDest)[N], const char *szUtf8)
{
    size_t nOut = 0;
    const auto *p = reinterpret_cast<const unsigned char *>(szUtf8);
    while (*p != 0 && nOut + 1 < N) {
        uint32_t cp = *p++;
        int nMore = 0;
        if (cp >= 0xF0) {
            cp &= 0x07;
            nMore = 3;
        } else if (cp >= 0xE0) {
            cp &= 0x0F;
            nMore = 2;
        } else if (cp >= 0xC0) {
            cp &= 0x1F;
            nMore = 1;
        }
        for (; nMore > 0 && *p != 0; --nMore, ++p)
            cp = (cp << 6) | (*p & 0x3Fu);
        if (cp < 0x10000) {
            aDest[nOut++] = static_cast<FNDL_WCHAR>(cp);
        } else if (nOut + 2 < N) {
            cp -= 0x10000;
            aDest[nOut++] = static_cast<FNDL_WCHAR>(0xD800 + (cp >> 10));
            aDest[nOut++] = static_cast<FNDL_WCHAR>(0xDC00 + (cp & 0x3FF));
        }
    }
    aDest[nOut] = 0;
}

template <size_t N>
void SetAnsi(char (&aDest)[N], const char *sz)
{
    std::strncpy(aDest, sz, N - 1);
    aDest[N - 1] = '\0';
}

// Request values that differ between requests; the rest are the usual
// 12 pt at 600 dpi.
struct Request {
    int nFontHeight = 120;
    int nResolution = 600;
    int nLineSpacing = 100;
    int nLeftMargin = 100;
    int nOffsetToText = 0;
    int bBold = 0;
    int bItalic = 0;
    int bUnderline = 0;
    int nWeight = 400;
    const char *szOutputPath = nullptr; // null: the sequence's output
};

// What a download call wrote back.
struct Outcome {
    int nResult;
    int nOffsetToText;
    int bNewPage;
    int nStopX;
};

template <typename Text, typename Page>
void FillCommon(Text &text, Page &page, int nFontId, bool bFromFile, const Request &request)
{
    text.FontHeight = request.nFontHeight;
    text.nLeftMargin = request.nLeftMargin;
    text.nOffsetToText = request.nOffsetToText;
    text.bBold = request.bBold;
    text.bItalic = request.bItalic;
    text.bUnderline = request.bUnderline;
    page.nFontId = nFontId;
    page.nPaperWidth = 5100;
    page.nResolution = request.nResolution;
    page.nLineSpacing = request.nLineSpacing;
    page.lfWeight = request.nWeight;
    page.bTTE = bFromFile ? 1 : 0;
    page.nStopX = -7; // every call writes it back
}

// Runs the requests of one sequence and logs each call's results.
struct Runner {
    const FndlCalls &calls;
    const char *szOutput;
    FILE *pLog;
    int nStep = 0;

    Outcome DownloadW(const char *szFont, const char *szText, int nFontId, bool bFromFile,
                      const Request &request = {})
    {
        FNDL_TEXTINFOW text;
        FNDL_PAGEINFOW page;
        std::memset(&text, 0, sizeof(text));
        std::memset(&page, 0, sizeof(page));
        FillCommon(text, page, nFontId, bFromFile, request);
        SetWide(text.szText, szText);
        SetWide(page.chFont, szFont);
        SetWide(page.szOutputPath, request.szOutputPath ? request.szOutputPath : szOutput);
        const int nResult = calls.pfnFontDownloadW(&text, &page);
        return Log("W", nFontId, {nResult, text.nOffsetToText, text.bNewPage, page.nStopX});
    }

    Outcome DownloadA(const char *szFont, const char *szText, int nFontId, bool bFromFile,
                      const Request &request = {})
    {
        FNDL_TEXTINFOA text;
        FNDL_PAGEINFOA page;
        std::memset(&text, 0, sizeof(text));
        std::memset(&page, 0, sizeof(page));
        FillCommon(text, page, nFontId, bFromFile, request);
        SetAnsi(text.szText, szText);
        SetAnsi(page.chFont, szFont);
        SetAnsi(page.szOutputPath, request.szOutputPath ? request.szOutputPath : szOutput);
        const int nResult = calls.pfnFontDownloadA(&text, &page);
        return Log("A", nFontId, {nResult, text.nOffsetToText, text.bNewPage, page.nStopX});
    }

    Outcome Log(const char *szForm, int nFontId, const Outcome &outcome)
    {
        std::fprintf(pLog, "%d download%s font %d: result %d offset %d newpage %d stopx %d cursor %d\n",
                     ++nStep, szForm, nFontId, outcome.nResult, outcome.nOffsetToText,
                     outcome.bNewPage, outcome.nStopX, calls.pfnGetCursor());
        return outcome;
    }

    void RemoveW(int nFontId)
    {
        calls.pfnRemoveFontW(&nFontId);
        std::fprintf(pLog, "%d removeW font %d\n", ++nStep, nFontId);
    }

    void RemoveA(int nFontId)
    {
        calls.pfnRemoveFontA(&nFontId);
        std::fprintf(pLog, "%d removeA font %d\n", ++nStep, nFontId);
    }

    Outcome GlyphRunW(const char *szFont, std::initializer_list<FNDL_GLYPH> glyphs, int nFontId,
                      bool bFromFile, const Request &request = {})
    {
        FNDL_TEXTINFOW text;
        FNDL_PAGEINFOW page;
        std::memset(&text, 0, sizeof(text));
        std::memset(&page, 0, sizeof(page));
        FillCommon(text, page, nFontId, bFromFile, request);
        SetWide(page.chFont, szFont);
        SetWide(page.szOutputPath, request.szOutputPath ? request.szOutputPath : szOutput);
        FNDL_GLYPHRUN run = {request.nFontHeight, request.bBold, request.bItalic,
                             static_cast<int>(glyphs.size()), -7, 0};
        const int nResult = calls.pfnGlyphRunW(&run, glyphs.begin(), &page);
        std::fprintf(pLog, "%d glyphs font %d: result %d stop %d newpage %d cursor %d\n", ++nStep,
                     nFontId, nResult, run.nStopIndex, run.bNewPage, calls.pfnGetCursor());
        return {nResult, 0, run.bNewPage, run.nStopIndex};
    }

    // Logs what a download would set from the cursor, as the measure
    // record gives it; then the download itself follows in the sequence.
    void LogMeasure(const char *szForm, int nFontId, const FNDL_TEXTMEASURE &m)
    {
        std::fprintf(pLog,
                     "%d measure%s font %d: result %d offset %d stopx %d newpage %d end %d %d "
                     "units %d lines %d cursor %d\n",
                     ++nStep, szForm, nFontId, m.nResult, m.nOffsetToText, m.nStopX, m.bNewPage,
                     m.nEndX, m.nEndY, m.nUnits, m.nLines, calls.pfnGetCursor());
        for (int k = 0; k < m.nLines && k < FNDL_MEASURE_UNITS; ++k)
            std::fprintf(pLog, "  line %d+%d\n", m.anLineStart[k], m.anLineLength[k]);
        for (int i = 0; i < m.nUnits && i < FNDL_MEASURE_UNITS; ++i)
            std::fprintf(pLog, "  unit %d: glyph %d advance %d\n", i, m.anGlyph[i], m.anAdvance[i]);
    }

    void MeasureW(const char *szFont, const char *szText, int nFontId, bool bFromFile, int nX,
                  int nY, const Request &request = {})
    {
        FNDL_TEXTINFOW text;
        FNDL_PAGEINFOW page;
        std::memset(&text, 0, sizeof(text));
        std::memset(&page, 0, sizeof(page));
        FillCommon(text, page, nFontId, bFromFile, request);
        SetWide(text.szText, szText);
        SetWide(page.chFont, szFont);
        SetWide(page.szOutputPath, szOutput);
        FNDL_TEXTMEASURE measure;
        std::memset(&measure, 0, sizeof(measure));
        measure.nCursorX = nX;
        measure.nCursorY = nY;
        calls.pfnMeasureTextW(&text, &page, &measure);
        LogMeasure("W", nFontId, measure);
    }

    void MeasureA(const char *szFont, const char *szText, int nFontId, bool bFromFile, int nX,
                  int nY, const Request &request = {})
    {
        FNDL_TEXTINFOA text;
        FNDL_PAGEINFOA page;
        std::memset(&text, 0, sizeof(text));
        std::memset(&page, 0, sizeof(page));
        FillCommon(text, page, nFontId, bFromFile, request);
        SetAnsi(text.szText, szText);
        SetAnsi(page.chFont, szFont);
        FNDL_TEXTMEASURE measure;
        std::memset(&measure, 0, sizeof(measure));
        measure.nCursorX = nX;
        measure.nCursorY = nY;
        calls.pfnMeasureTextA(&text, &page, &measure);
        LogMeasure("A", nFontId, measure);
    }

    void SetPageBox(const FNDL_PAGEBOX *pBox)
    {
        const int nResult = calls.pfnSetPageBox(pBox);
        std::fprintf(pLog, "%d pagebox %s: %d\n", ++nStep, pBox ? "set" : "default", nResult);
    }

    void SetCursor(int nX, int nY)
    {
        calls.pfnSetCursor(&nX, &nY);
        std::fprintf(pLog, "%d cursor %d %d: %d\n", ++nStep, nX, nY, calls.pfnGetCursor());
    }
};

// The synthetic font (written by the reference program): space, A, B,
// composite C (A + B), composite D (C + A, nested); no glyph for Z.
void SyntheticWide(const FndlCalls &calls, const char *szOutput, FILE *pLog)
{
    Runner run{calls, szOutput, pLog};
    run.SetCursor(150, 200);
    run.DownloadW(kSyntheticFontFile, "ABBA CAB", 1, true);
    run.DownloadW(kSyntheticFontFile, "DCBA", 1, true); // only D is new
    run.DownloadW(kSyntheticFontFile, "AB BA", 2, true, {.bBold = 1, .bItalic = 1});
    run.DownloadW(kSyntheticFontFile, "ABCD", 1, true, {.nOffsetToText = 2});
    run.DownloadW(kSyntheticFontFile, "ABCD", 1, true, {.nOffsetToText = 9}); // empty text
    run.RemoveW(2);
    run.RemoveW(7); // not downloaded
    run.RemoveW(1);
    run.RemoveW(1); // no session any more
}

void SyntheticAnsi(const FndlCalls &calls, const char *szOutput, FILE *pLog)
{
    Runner run{calls, szOutput, pLog};
    run.SetCursor(100, 300);
    run.DownloadA(kSyntheticFontFile, "ABBA CAB", 5, true);
    run.DownloadA(kSyntheticFontFile, "DCBA DD", 5, true, {.bItalic = 1, .bUnderline = 2});
    run.RemoveA(5);
}

// The cover page stops at a character without glyph; the caller skips it
// and goes on where the call said.
void SyntheticStops(const FndlCalls &calls, const char *szOutput, FILE *pLog)
{
    Runner run{calls, szOutput, pLog};
    run.SetCursor(100, 400);
    int nOffset = 0;
    for (int nRound = 0; nRound < 4; ++nRound) {
        const Outcome outcome =
            run.DownloadW(kSyntheticFontFile, "AB ZZ CD", 3, true, {.nOffsetToText = nOffset});
        if (outcome.nResult != 1)
            break;
        nOffset = outcome.nOffsetToText + 1;
    }
    run.RemoveW(3);
}

// A text longer than the page: the caller starts a new page and calls again
// with the offset it was given, until the text is done.
void SyntheticPages(const FndlCalls &calls, const char *szOutput, FILE *pLog)
{
    Runner run{calls, szOutput, pLog};
    std::string text;
    for (int i = 0; i < 36; ++i)
        text += (i % 3 == 0) ? "ABBA " : "CDCABADCA ";
    text += "ABCDABCDABCDABCDABCDABCDABCDABCDABCDABCDABCDABCDABCDABCD"; // no space to break at
    run.SetCursor(100, 6500);
    int nOffset = 0;
    for (int nRound = 0; nRound < 8; ++nRound) {
        const Outcome outcome = run.DownloadW(kSyntheticFontFile, text.c_str(), 4, true,
                                              {.nLineSpacing = 120, .nOffsetToText = nOffset});
        if (outcome.nResult != 2)
            break;
        nOffset = outcome.nOffsetToText;
        run.SetCursor(100, 6000);
    }
    run.RemoveW(4);
}

// The caller's page box: narrower lines, an earlier page end, its clip box;
// then the default again.
void SyntheticPageBox(const FndlCalls &calls, const char *szOutput, FILE *pLog)
{
    Runner run{calls, szOutput, pLog};
    const FNDL_PAGEBOX box = {1500, 1150, -20, 30, 1600, 2000};
    run.SetPageBox(&box);
    run.SetCursor(100, 1000);
    const char *szText = "ABBA CDCABADCA ABBA CDCABADCA ABBA CDCABADCA ABBA CDCABADCA";
    const Outcome outcome = run.DownloadW(kSyntheticFontFile, szText, 8, true);
    run.SetCursor(100, 200);
    run.DownloadW(kSyntheticFontFile, szText, 8, true, {.nOffsetToText = outcome.nOffsetToText});
    run.SetPageBox(nullptr);
    run.DownloadW(kSyntheticFontFile, "AB", 8, true);
    run.RemoveW(8);
}

// Glyph runs beside the text call on the same font ids: the glyph-coded soft
// font's header and glyphs once, composites with their components, runs with
// x and y offsets, a page end, removal of both soft fonts; from a file and
// through the device context.
void GlyphRuns(const FndlCalls &calls, const char *szOutput, FILE *pLog)
{
    Runner run{calls, szOutput, pLog};
    run.SetCursor(100, 1200);
    run.DownloadW(kSyntheticFontFile, "ABCD", 9, true);
    run.GlyphRunW(kSyntheticFontFile, {{2, 60, 0, 0}, {5, 80, 0, 0}, {3, 0, -50, -30}}, 9, true);
    run.GlyphRunW(kSyntheticFontFile, {{5, 80, 0, 0}, {4, 70, 5, 0}}, 9, true, {.bBold = 1, .bItalic = 1});
    run.DownloadW(kSyntheticFontFile, "DCBA", 9, true);
    run.SetCursor(100, 6790);
    run.GlyphRunW(kSyntheticFontFile, {{2, 60, 0, 0}}, 9, true);
    run.SetCursor(100, 1300);
    run.GlyphRunW(kDejaVuSansFace, {{36, 50, 0, 0}, {68, 55, 0, 0}, {1100, 0, -30, -10}}, 21, false);
    run.GlyphRunW(kDejaVuSansOnZ, {{36, 50, 0, 0}, {68, 55, 0, 0}}, 22, true, {.nFontHeight = 95, .nResolution = 300});
    run.RemoveW(9);
    run.RemoveW(21);
    run.RemoveW(22);
}

// Large characters at the highest resolution the page holds, then small
// ones at 300 dpi: widths measured at the printed size.
void SyntheticLargeSize(const FndlCalls &calls, const char *szOutput, FILE *pLog)
{
    Runner run{calls, szOutput, pLog};
    run.SetCursor(100, 500);
    run.DownloadW(kSyntheticFontFile, "AB", 6, true, {.nFontHeight = 720, .nResolution = 2899});
    run.DownloadW(kSyntheticFontFile, "BA", 6, true, {.nFontHeight = 95, .nResolution = 300});
    run.RemoveW(6);
}

// Debian fonts from their files: composite accented letters, several fonts
// in one session, removal in another order than download.
void DebianFontFiles(const FndlCalls &calls, const char *szOutput, FILE *pLog)
{
    Runner run{calls, szOutput, pLog};
    run.SetCursor(100, 600);
    run.DownloadW(kDejaVuSansOnZ, "Gr\xC3\xBC\xC3\x9F" "e \xC3\x85ngstr\xC3\xB6m \xC3\xA9t\xC3\xA9 \xC3\x87\xC3\xA0",
                  10, true, {.bBold = 1, .bItalic = 1});
    run.DownloadW(kDejaVuSansOnZ,
                  "\xCE\x91\xCE\xB2\xCE\xB3 \xD0\x96\xD0\xA9 \xE2\x82\xAC 1/2 \xEF\xAC\x81 "
                  "The quick brown fox jumps over the lazy dog. 0123456789",
                  10, true);
    run.DownloadW(kDejaVuSansMonoFromRoot, "mono 0123 {}[]", 11, true, {.nFontHeight = 100});
    run.DownloadA(kLiberationSansFile, "Liberation Sans, 9.5 pt at 300 dpi", 12, true,
                  {.nFontHeight = 95, .nResolution = 300, .nLineSpacing = 50, .nLeftMargin = 40});
    run.DownloadW(kDejaVuSansMonoFromRoot, "mono again: 456", 11, true);
    run.RemoveW(11);
    run.RemoveW(99);
    run.RemoveW(10);
    run.RemoveA(12);
}

// The same font through the device context and from its file, with no text:
// the font header must not depend on the source.
void HeaderFromDeviceContext(const FndlCalls &calls, const char *szOutput, FILE *pLog)
{
    Runner run{calls, szOutput, pLog};
    run.SetCursor(100, 700);
    run.DownloadW(kDejaVuSansFace, "", 20, false);
    run.RemoveW(20);
}

void HeaderFromFile(const FndlCalls &calls, const char *szOutput, FILE *pLog)
{
    Runner run{calls, szOutput, pLog};
    run.SetCursor(100, 700);
    run.DownloadW(kDejaVuSansFace, "", 20, true);
    run.RemoveW(20);
}

// Device context: the characters come through GetFontData, the cover page
// measures with GetCharWidthA.
void DeviceContextText(const FndlCalls &calls, const char *szOutput, FILE *pLog)
{
    Runner run{calls, szOutput, pLog};
    run.SetCursor(100, 800);
    run.DownloadW(kDejaVuSansFace,
                  "The quick brown fox jumps over the lazy dog; pack my box with five dozen "
                  "liquor jugs. WAVY Tj ffi 0123456789 (!?) #$%&*+,-./:;<=>@[\\]^_`{|}~",
                  30, false);
    run.DownloadW(kDejaVuSansFace, "Sphinx of black quartz, judge my vow.", 30, false,
                  {.nFontHeight = 50, .nLineSpacing = 60});
    run.RemoveW(30);
}

// Device context: letters beyond Latin-1 measured by their glyph outline
// metrics, and underlined lines from the outline text metrics.
void DeviceContextGlyphMetrics(const FndlCalls &calls, const char *szOutput, FILE *pLog)
{
    Runner run{calls, szOutput, pLog};
    run.SetCursor(100, 900);
    run.DownloadW(kDejaVuSansFace,
                  "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1 \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5"
                  "\xD1\x82 \xC5\x81\xC3\xB3" "d\xC5\xBA \xE2\x82\xAC\xE2\x80\x94\xE2\x80\x9Cok\xE2\x80\x9D",
                  31, false, {.bUnderline = 1});
    run.RemoveW(31);
}

// Device context: other faces and a bold weight, as fontconfig offers them.
void DeviceContextFaces(const FndlCalls &calls, const char *szOutput, FILE *pLog)
{
    Runner run{calls, szOutput, pLog};
    run.SetCursor(100, 1000);
    run.DownloadW("DejaVu Sans Mono", "Mono: iiii WWWW 0O", 40, false);
    run.DownloadW("Liberation Sans", "Liberation: iiii WWWW 0O", 41, false);
    run.DownloadW(kDejaVuSansFace, "Bold: iiii WWWW 0O", 42, false, {.bBold = 1, .nWeight = 700});
    run.RemoveW(40);
    run.RemoveW(41);
    run.RemoveW(42);
}

// Measures before the downloads they describe: lines, a stop at a character
// without glyph, a page end, widths through the device context and from a
// file; the logs hold the measure records, the output the downloads.
void MeasuredText(const FndlCalls &calls, const char *szOutput, FILE *pLog)
{
    Runner run{calls, szOutput, pLog};
    const char *szLetters = "ABBA CDCABADCA ABBA CDCABADCA ABBA CDCABADCA ABBA CDCABADCA ZZ ABBA";
    run.MeasureW(kSyntheticFontFile, szLetters, 60, true, 3000, 6200);
    run.SetCursor(3000, 6200);
    const Outcome pageEnd = run.DownloadW(kSyntheticFontFile, szLetters, 60, true);
    const Request rest = {.nOffsetToText = pageEnd.nOffsetToText};
    run.MeasureW(kSyntheticFontFile, szLetters, 60, true, 100, 300, rest);
    run.SetCursor(100, 300);
    run.DownloadW(kSyntheticFontFile, szLetters, 60, true, rest);
    const char *szProse = "Widths at the printed size: WAVY Tj ffi \xC3\x85ngstr\xC3\xB6m "
                          "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1 \xE2\x82\xAC" "42, a control "
                          "\xC2\x85 where the text stops, and a line long enough to break "
                          "before the right limit of the page.";
    run.MeasureW(kDejaVuSansFace, szProse, 61, false, 2500, 1000, {.bUnderline = 1});
    run.SetCursor(2500, 1000);
    run.DownloadW(kDejaVuSansFace, szProse, 61, false, {.bUnderline = 1});
    // The ANSI code page is Windows-1252 under Wine and UTF-8 on Linux:
    // ASCII means the same on both.
    const char *szAscii = "Liberation Sans from its file, 9.5 pt at 300 dpi, a line long enough "
                          "to break twice before the right limit of the page: WAVY Tj ffi.";
    run.MeasureA(kLiberationSansFile, szAscii, 62, true, 700, 1300,
                 {.nFontHeight = 95, .nResolution = 300, .nLineSpacing = 50, .nLeftMargin = 40});
    run.SetCursor(700, 1300);
    run.DownloadA(kLiberationSansFile, szAscii, 62, true,
                  {.nFontHeight = 95, .nResolution = 300, .nLineSpacing = 50, .nLeftMargin = 40});
    run.RemoveW(60);
    run.RemoveW(61);
    run.RemoveW(62);
}

// Failures: an output file that cannot be opened, a font file that cannot be
// mapped; the font-file error stays set for later calls.
void Failures(const FndlCalls &calls, const char *szOutput, FILE *pLog)
{
    Runner run{calls, szOutput, pLog};
    run.SetCursor(100, 1100);
    run.DownloadW(kSyntheticFontFile, "AB", 50, true, {.szOutputPath = "no-such-dir/out.pxl"});
    run.DownloadW("no-such-font.ttf", "AB", 51, true);
    run.DownloadW(kSyntheticFontFile, "AB", 52, true);
    // A resolution or character size the page cannot hold writes nothing.
    run.DownloadW(kSyntheticFontFile, "AB", 53, true, {.nResolution = 2900});
    run.DownloadW(kSyntheticFontFile, "AB", 53, true, {.nFontHeight = 400070, .nResolution = 40004});
    run.DownloadW(kSyntheticFontFile, "AB", 53, true, {.nFontHeight = 5});
    // A glyph the font does not have cuts the call back; a page box the
    // 16-bit coordinates cannot hold fails the requests until it goes.
    run.DownloadW(kSyntheticFontFile, "AB", 54, true);
    run.GlyphRunW(kSyntheticFontFile, {{2, 60, 0, 0}, {6, 60, 0, 0}}, 54, true);
    const FNDL_PAGEBOX tooLarge = {1500, 40000, 0, 0, 1600, 2000};
    run.SetPageBox(&tooLarge);
    run.DownloadW(kSyntheticFontFile, "AB", 54, true);
    run.GlyphRunW(kSyntheticFontFile, {{2, 60, 0, 0}}, 54, true);
    run.SetPageBox(nullptr);
    run.RemoveW(52);
}

const RequestSequence kSequences[] = {
    {"synthetic_wide", SyntheticWide},
    {"synthetic_ansi", SyntheticAnsi},
    {"synthetic_stops", SyntheticStops},
    {"synthetic_pages", SyntheticPages},
    {"synthetic_page_box", SyntheticPageBox},
    {"glyph_runs", GlyphRuns},
    {"synthetic_large_size", SyntheticLargeSize},
    {"debian_font_files", DebianFontFiles},
    {"header_from_dc", HeaderFromDeviceContext},
    {"header_from_file", HeaderFromFile},
    {"dc_text", DeviceContextText},
    {"dc_glyph_metrics", DeviceContextGlyphMetrics},
    {"dc_faces", DeviceContextFaces},
    {"measured_text", MeasuredText},
    {"failures", Failures},
};

} // namespace

const RequestSequence *RequestSequences(int *pnCount)
{
    *pnCount = static_cast<int>(sizeof(kSequences) / sizeof(kSequences[0]));
    return kSequences;
}

int RunRequestSequences(const FndlCalls &calls)
{
    int nCount = 0;
    const RequestSequence *pSequences = RequestSequences(&nCount);
    int nFailed = 0;
    for (int i = 0; i < nCount; ++i) {
        const std::string output = std::string(pSequences[i].szName) + ".pxl";
        const std::string log = std::string(pSequences[i].szName) + ".log";
        std::remove(output.c_str());
        FILE *pLog = std::fopen(log.c_str(), "wb");
        if (pLog == nullptr) {
            std::fprintf(stderr, "cannot write %s\n", log.c_str());
            ++nFailed;
            continue;
        }
        pSequences[i].pfnRun(calls, output.c_str(), pLog);
        if (std::fclose(pLog) != 0)
            ++nFailed;
    }
    return nFailed == 0 ? 0 : 1;
}
