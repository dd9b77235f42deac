// SPDX-License-Identifier: MIT
// The library's text call as the tool makes it.
#include "layout/librarycall.h"

#include <algorithm>
#include <cstring>

#include "qorvfndl.h"

namespace {

template <size_t N> void CopyUnits(FNDL_WCHAR (&field)[N], std::u16string_view units)
{
    const size_t count = std::min(units.size(), N - 1);
    for (size_t i = 0; i < count; ++i)
        field[i] = static_cast<FNDL_WCHAR>(units[i]);
    field[count] = 0;
}

std::u16string Units(const std::string &utf8)
{
    std::u16string units;
    size_t bad = 0;
    Utf8ToUtf16(utf8, units, bad);
    return units;
}

void FillPageInfo(const CallStyle &style, const JobFont &font, const std::string &path,
                  FNDL_PAGEINFOW &pageInfo)
{
    std::memset(&pageInfo, 0, sizeof pageInfo);
    CopyUnits(pageInfo.chFont, Units(font.libraryName));
    CopyUnits(pageInfo.szOutputPath, Units(path));
    pageInfo.nFontId = font.fontId;
    pageInfo.nPaperWidth = static_cast<int>(style.paperWidth);
    pageInfo.nResolution = static_cast<int>(style.resolution);
    pageInfo.nLineSpacing = static_cast<int>(style.lineSpacing);
    pageInfo.lfWeight = static_cast<int>(style.boldFace ? 700 : style.weight);
    pageInfo.lfItalic = style.italicFace ? 1 : 0;
    pageInfo.bTTE = font.fromFile ? 1 : 0;
}

void FillTextInfo(const CallStyle &style, std::u16string_view text, int offset,
                  FNDL_TEXTINFOW &textInfo)
{
    std::memset(&textInfo, 0, sizeof textInfo);
    CopyUnits(textInfo.szText, text);
    textInfo.FontHeight = static_cast<int>(style.height);
    textInfo.bBold = style.syntheticBold ? 1 : 0;
    textInfo.bItalic = style.oblique ? 1 : 0;
    textInfo.bUnderline = style.underline ? 1 : 0;
    textInfo.nOffsetToText = offset;
    textInfo.nLeftMargin = static_cast<int>(style.margin);
}

// Where the tool last put the library's cursor, for the calls that only
// measure (the library gives back y alone).
long g_cursorX = 0;
long g_cursorY = 0;

// A download call measured instead of made: its result and the cursor it
// leaves, nothing written and the session as it was.
CallResult MeasuredDownload(const CallStyle &style, const JobFont &font, std::u16string_view text,
                            int offset)
{
    FNDL_TEXTMEASURE measure;
    const int code = CallMeasure(style, font, text, offset, g_cursorX, g_cursorY, measure);
    return MeasuredResult(code, measure, offset);
}

// A glyph call measured instead of made: it ends the page where a line at
// the cursor would (the same baseline and descent test), else moves the
// cursor to the pen's end.
GlyphRunResult MeasuredGlyphRun(const CallStyle &style, const JobFont &font,
                                std::span<const FNDL_GLYPH> glyphs)
{
    GlyphRunResult result;
    result.code = FNDL_OK;
    if (glyphs.empty())
        return result;
    FNDL_TEXTMEASURE measure;
    const int fits = CallMeasure(style, font, u" ", 0, style.margin, g_cursorY, measure);
    if (fits != FNDL_OK) {
        result.code = fits;
        return result;
    }
    long advance = 0;
    for (const FNDL_GLYPH &glyph : glyphs.first(std::min<size_t>(glyphs.size(), FNDL_MAX_GLYPH_RUN)))
        advance += glyph.nAdvance;
    SetCursor(g_cursorX + advance, g_cursorY);
    return result;
}

} // namespace

CallResult MeasuredResult(int code, const FNDL_TEXTMEASURE &measure, int offset)
{
    CallResult result;
    result.code = code;
    result.offset = code == FNDL_OK ? offset : measure.nOffsetToText;
    result.stopX = measure.nStopX;
    result.newPage = measure.bNewPage;
    if (code != FNDL_DOWNLOAD_FAILURE)
        SetCursor(measure.nEndX, measure.nEndY);
    result.cursorY = static_cast<int>(g_cursorY);
    return result;
}

const char *ResultName(int code)
{
    switch (code) {
    case FNDL_OK: return "done";
    case FNDL_INVALID_GLYPH_HANDLE: return "stopped at a character without glyph";
    case FNDL_PAGEEND: return "page end";
    default: return "failure";
    }
}

int CallMeasure(const CallStyle &style, const JobFont &font, std::u16string_view text, int offset,
                long x, long y, FNDL_TEXTMEASURE &measure)
{
    FNDL_TEXTINFOW textInfo;
    FNDL_PAGEINFOW pageInfo;
    FillTextInfo(style, text, offset, textInfo);
    FillPageInfo(style, font, "", pageInfo);
    measure.nCursorX = static_cast<int>(x);
    measure.nCursorY = static_cast<int>(y);
    return FNDLMeasureTextW(&textInfo, &pageInfo, &measure);
}

CallResult CallDownload(const CallStyle &style, const JobFont &font, std::u16string_view text,
                        int offset, const std::string &path)
{
    if (path.empty())
        return MeasuredDownload(style, font, text, offset);
    FNDL_TEXTINFOW textInfo;
    FNDL_PAGEINFOW pageInfo;
    FillTextInfo(style, text, offset, textInfo);
    FillPageInfo(style, font, path, pageInfo);

    CallResult result;
    result.code = FNDLFontDownloadW(&textInfo, &pageInfo);
    result.offset = textInfo.nOffsetToText;
    result.cursorY = FNDLGetCursor();
    result.stopX = pageInfo.nStopX;
    result.newPage = textInfo.bNewPage;
    return result;
}

GlyphRunResult CallGlyphRun(const CallStyle &style, const JobFont &font,
                            std::span<const FNDL_GLYPH> glyphs, const std::string &path)
{
    if (path.empty())
        return MeasuredGlyphRun(style, font, glyphs);
    FNDL_PAGEINFOW pageInfo;
    FillPageInfo(style, font, path, pageInfo);
    FNDL_GLYPHRUN run;
    std::memset(&run, 0, sizeof run);
    run.FontHeight = static_cast<int>(style.height);
    run.bBold = style.syntheticBold ? 1 : 0;
    run.bItalic = style.oblique ? 1 : 0;
    run.nGlyphs = static_cast<int>(std::min<size_t>(glyphs.size(), FNDL_MAX_GLYPH_RUN));
    GlyphRunResult result;
    result.code = FNDLGlyphRunW(&run, glyphs.data(), &pageInfo);
    result.stopIndex = run.nStopIndex;
    return result;
}

bool UsePageBox(const CallStyle &style)
{
    return FNDLSetPageBox(style.hasBox ? &style.box : nullptr) == FNDL_OK;
}

void SetCursor(long x, long y)
{
    g_cursorX = x;
    g_cursorY = y;
    int nX = static_cast<int>(x);
    int nY = static_cast<int>(y);
    FNDLSetCursor(&nX, &nY);
}

void PrintDownloadFailure(const std::string &output, const JobFont &font, const std::string &path,
                          const std::string &outputProblem)
{
    const std::string shown = output == "-" ? path : output;
    if (!outputProblem.empty()) {
        PrintError("the library could not write '" + shown + "' (result 3): " + outputProblem);
        return;
    }
    const std::string problem = FontFileProblem(font.face.file, font.face.index);
    if (!problem.empty()) {
        PrintError("the library could not download '" + font.face.file + "' (result 3): " +
                   problem);
        return;
    }
    PrintError("the library could not download the font " + Quoted(font.libraryName) +
               " or write '" + shown + "' (result 3)");
}
