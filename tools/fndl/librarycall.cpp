// SPDX-License-Identifier: MIT
// The library's text call as the tool makes it.
#include "librarycall.h"

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

void FillPageInfo(const Request &request, const JobFont &font, const std::string &path,
                  FNDL_PAGEINFOW &pageInfo)
{
    std::memset(&pageInfo, 0, sizeof pageInfo);
    CopyUnits(pageInfo.chFont, Units(font.libraryName));
    CopyUnits(pageInfo.szOutputPath, Units(path));
    pageInfo.nFontId = font.fontId;
    pageInfo.nPaperWidth = static_cast<int>(PageWidth(request));
    pageInfo.nResolution = static_cast<int>(request.resolution);
    pageInfo.nLineSpacing = static_cast<int>(request.lineSpacing);
    pageInfo.lfWeight = static_cast<int>(request.boldFace ? 700 : request.weight);
    pageInfo.lfItalic = request.italicFace ? 1 : 0;
    pageInfo.bTTE = font.fromFile ? 1 : 0;
}

void FillTextInfo(const Request &request, std::u16string_view text, int offset,
                  FNDL_TEXTINFOW &textInfo)
{
    std::memset(&textInfo, 0, sizeof textInfo);
    CopyUnits(textInfo.szText, text);
    textInfo.FontHeight = static_cast<int>(request.height);
    textInfo.bBold = request.syntheticBold ? 1 : 0;
    textInfo.bItalic = request.oblique ? 1 : 0;
    textInfo.bUnderline = request.underline ? 1 : 0;
    textInfo.nOffsetToText = offset;
    textInfo.nLeftMargin = static_cast<int>(request.margin);
}

} // namespace

const char *ResultName(int code)
{
    switch (code) {
    case FNDL_OK: return "done";
    case FNDL_INVALID_GLYPH_HANDLE: return "stopped at a character without glyph";
    case FNDL_PAGEEND: return "page end";
    default: return "failure";
    }
}

int CallMeasure(const Request &request, const JobFont &font, std::u16string_view text, int offset,
                long x, long y, FNDL_TEXTMEASURE &measure)
{
    FNDL_TEXTINFOW textInfo;
    FNDL_PAGEINFOW pageInfo;
    FillTextInfo(request, text, offset, textInfo);
    FillPageInfo(request, font, "", pageInfo);
    measure.nCursorX = static_cast<int>(x);
    measure.nCursorY = static_cast<int>(y);
    return FNDLMeasureTextW(&textInfo, &pageInfo, &measure);
}

CallResult CallDownload(const Request &request, const JobFont &font, std::u16string_view text,
                        int offset, const std::string &path)
{
    FNDL_TEXTINFOW textInfo;
    FNDL_PAGEINFOW pageInfo;
    FillTextInfo(request, text, offset, textInfo);
    FillPageInfo(request, font, path, pageInfo);

    CallResult result;
    result.code = FNDLFontDownloadW(&textInfo, &pageInfo);
    result.offset = textInfo.nOffsetToText;
    result.cursorY = FNDLGetCursor();
    result.stopX = pageInfo.nStopX;
    result.newPage = textInfo.bNewPage;
    return result;
}

GlyphRunResult CallGlyphRun(const Request &request, const JobFont &font,
                            std::span<const FNDL_GLYPH> glyphs, const std::string &path)
{
    FNDL_PAGEINFOW pageInfo;
    FillPageInfo(request, font, path, pageInfo);
    FNDL_GLYPHRUN run;
    std::memset(&run, 0, sizeof run);
    run.FontHeight = static_cast<int>(request.height);
    run.bBold = request.syntheticBold ? 1 : 0;
    run.bItalic = request.oblique ? 1 : 0;
    run.nGlyphs = static_cast<int>(std::min<size_t>(glyphs.size(), FNDL_MAX_GLYPH_RUN));
    GlyphRunResult result;
    result.code = FNDLGlyphRunW(&run, glyphs.data(), &pageInfo);
    result.stopIndex = run.nStopIndex;
    return result;
}

bool UsePageBox(const Request &request)
{
    return FNDLSetPageBox(request.hasBox ? &request.box : nullptr) == FNDL_OK;
}

void SetCursor(long x, long y)
{
    int nX = static_cast<int>(x);
    int nY = static_cast<int>(y);
    FNDLSetCursor(&nX, &nY);
}

void PrintDownloadFailure(const Request &request, const JobFont &font, const std::string &path,
                          const std::string &outputProblem)
{
    const std::string shown = request.output == "-" ? path : request.output;
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
