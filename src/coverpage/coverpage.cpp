// SPDX-License-Identifier: MIT
// Cover page: sets the request's text on the page in the soft font that the
// same call downloaded. Lines break at a fixed right limit (after the last
// space when there is one), the page ends at a fixed bottom limit, and the
// text stops at a character the soft font has no glyph for. The page
// operators go straight into the output file as fixed fragments; only the
// font selection goes through the stream writer, which hands every operator
// to the same file at once, so both arrive in the order written.
#include "coverpage/coverpage.h"

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

#include "download/download.h"
#include "memory/globalblock.h"
#include "truetype/fontdc.h"
#include "xlstream/xlcodes.h"

namespace {

// Raster operations around the underline bar: paint it, then back to the
// default source copy.
constexpr uint8_t kRopUnderline = 0xF0;
constexpr uint8_t kRopDefault = 0xFC;
constexpr uint8_t kNullPenValue = 0;

// The caller's page box, process-wide like the cursor.
enum class PageBoxState { kDefault, kSet, kRefused };
PageBoxState g_pageBoxState = PageBoxState::kDefault;
PageLimits g_pageBoxLimits{};

constexpr WCHAR kSpace = 0x0020;
constexpr WCHAR kIdeographicSpace = 0x3000;
constexpr WCHAR kEqualsSign = 0x003D;

constexpr int kTextCapacity = static_cast<int>(sizeof(FNDL_TEXTINFOW::szText) / sizeof(WCHAR));
static_assert(sizeof(PageInfo::anGlyphIndex) / sizeof(int) >= kTextCapacity,
              "one glyph index per character of the text");

// Positions and widths add up in 32 bits and may wrap, as the page's 16-bit
// coordinates do; the arithmetic is done unsigned to keep that defined.
uint32_t Unsigned(int value) { return static_cast<uint32_t>(value); }
int WrappingAdd(int a, int b) { return static_cast<int>(Unsigned(a) + Unsigned(b)); }
uint32_t Magnitude(int value) { return value < 0 ? 0u - Unsigned(value) : Unsigned(value); }

// Blanks and the equals sign are set even when the soft font lacks them.
bool NeverStopsThePage(WCHAR ch)
{
    return ch == kSpace || ch == kIdeographicSpace || ch == kEqualsSign;
}

// Length of the text up to its NUL, never beyond the record's array.
int TextLength(const FNDL_TEXTINFOW &textInfo)
{
    int n = 0;
    while (n < kTextCapacity && textInfo.szText[n] != 0)
        ++n;
    return n;
}

// Advance of one character in device units, from the font selected into
// the measuring device context (its em is the character size, so widths are
// those of the glyphs as they print); characters outside the single-byte
// range (except the ideographic space) by their glyph's advance. Where there
// are no metrics the character size stands in, so the text still breaks into
// lines.
int MeasureCharacter(HDC hdc, WCHAR ch, int nGlyphIndex, int nCharSize)
{
    if (hdc == nullptr)
        return nCharSize;
    if (ch > 0xFF && ch != kIdeographicSpace) {
        const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
        GLYPHMETRICS metrics{};
        if (GetGlyphOutlineA(hdc, static_cast<UINT>(nGlyphIndex), GGO_METRICS | GGO_GLYPH_INDEX,
                             &metrics, 0, nullptr, &identity) == GDI_ERROR)
            return nCharSize;
        return std::max<int>(metrics.gmCellIncX, 0);
    }
    int nWidth = 0;
    if (!GetCharWidthA(hdc, ch, ch, &nWidth))
        return nCharSize;
    return std::max(nWidth, 0);
}

// What one call works on: the text after the caller's offset, the measured
// advance of each of its characters, and the offset it came with. A call
// that only measures has no file and no session: its lines go into
// pMeasure instead, and its cursor is the measure's own.
struct CoverPageCall {
    FontSession *pSession;
    FILE *pFile;
    FNDL_TEXTINFOW *pTextInfo;
    PageInfo *pPageInfo;
    int *pnCursorX;
    int *pnCursorY;
    FNDL_TEXTMEASURE *pMeasure; // null when the call writes
    std::span<const WCHAR> text;
    std::span<int> advances;
    int nIncomingOffset;
    int nCharSize;
    PageLimits limits;
    int nDescent; // below the baseline, at the character size
    HDC hdcMeasure; // the font as it prints; null when there are no metrics
};

bool BeyondRightLimit(const CoverPageCall &call, uint32_t dwX)
{
    return dwX > Unsigned(call.limits.nRightLimit);
}

// A line at the cursor is set only where the clip box holds it, its
// descenders included; and never past the bottom limit.
bool BaselineFits(const PageLimits &limits, int nBaseline, int nDescent)
{
    return nBaseline <= limits.nBottomLimit && int64_t{nBaseline} + nDescent <= limits.nClipBottom;
}

bool LineFitsOnPage(const CoverPageCall &call)
{
    return BaselineFits(call.limits, *call.pnCursorY, call.nDescent);
}

// The font's descent at the character size, from its outline text metrics
// (only the fixed part of the record is needed); the character size stands
// in where the device context gives none. At most one em: a damaged font
// may claim any descent, and a larger one would end every page before its
// first line, so that a caller starting page after page never gets on.
int FontDescent(HDC hdc, int nCharSize)
{
    OUTLINETEXTMETRICA metrics{};
    if (hdc == nullptr || GetOutlineTextMetricsA(hdc, sizeof(metrics), &metrics) == 0)
        return nCharSize;
    return std::clamp<int>(metrics.otmTextMetrics.tmDescent, 0, nCharSize);
}

// A font file is measured itself; a face name through the request's device
// context (hdcRequest), which holds its logical font. Null when there are
// no metrics.
HDC MeasuringContext(HDC hdcRequest, const PageInfo *pPageInfo, int nCharSize, FontDC &fileFont)
{
    if (pPageInfo->bTTE) {
        OpenFontFileDC(pPageInfo->chFont, nCharSize, fileFont);
        return fileFont.hdc;
    }
    return hdcRequest;
}

HDC SessionContext(const FontSession *pSession)
{
    return pSession != nullptr ? pSession->hdc : nullptr;
}

// Underline bar under a written line, from the font's underscore metrics.
// False when memory is exhausted.
bool DrawUnderline(const CoverPageCall &call, uint32_t dwLineAdvance)
{
    const HDC hdc = call.hdcMeasure;
    const UINT nMetricsSize = GetOutlineTextMetricsA(hdc, 0, nullptr);
    // Never read the fields past what was allocated: a font without outline
    // metrics gives a bar of no height on the cursor's row.
    const size_t nBlockSize = std::max<size_t>(nMetricsSize, sizeof(OUTLINETEXTMETRICA));
    GlobalBlock<OUTLINETEXTMETRICA> metrics(
        static_cast<OUTLINETEXTMETRICA *>(GlobalAlloc(GMEM_FIXED, nBlockSize)));
    if (!metrics)
        return false;
    std::memset(metrics.get(), 0, nBlockSize);
    if (nMetricsSize != 0)
        GetOutlineTextMetricsA(hdc, nMetricsSize, metrics.get());

    const uint32_t dwLeft = Unsigned(*call.pnCursorX);
    const uint32_t dwTop = Unsigned(*call.pnCursorY) + Magnitude(metrics->otmsUnderscorePosition);
    const uint32_t dwBottom = dwTop + Magnitude(metrics->otmsUnderscoreSize);
    WriteSetROP(call.pFile, kRopUnderline);
    WriteSetPenSource(call.pFile, xl::kAttrNullPen, kNullPenValue);
    WriteRectangle(call.pFile, static_cast<int>(dwLeft), static_cast<int>(dwTop),
                   static_cast<int>(dwLeft + dwLineAdvance), static_cast<int>(dwBottom));
    WriteSetROP(call.pFile, kRopDefault);
    return true;
}

// SetCursor and Text for nCount characters from nStart, then the underline
// when asked for. False when memory is exhausted.
bool WriteLine(const CoverPageCall &call, int nStart, int nCount)
{
    if (call.pMeasure != nullptr) {
        FNDL_TEXTMEASURE &measure = *call.pMeasure;
        if (measure.nLines < FNDL_MEASURE_UNITS) {
            measure.anLineStart[measure.nLines] = WrappingAdd(call.nIncomingOffset, nStart);
            measure.anLineLength[measure.nLines] = nCount;
            ++measure.nLines;
        }
        return true;
    }
    const WCHAR *pchLine = call.text.data() + nStart;
    const int *pnAdvances = call.advances.data() + nStart;
    WriteSetCursor(call.pFile, *call.pnCursorX, call.pnCursorY);
    WriteTextLine(call.pFile, pchLine, nCount, pnAdvances);
    if (call.pTextInfo->bUnderline != 1)
        return true;
    uint32_t dwLineAdvance = 0;
    for (int i = 0; i < nCount; ++i)
        dwLineAdvance += Unsigned(pnAdvances[i]);
    return DrawUnderline(call, dwLineAdvance);
}

// The page is full before the line starting at nLineStart. The offset given
// back is a position in the caller's whole text, so that a caller passing
// it back resumes at exactly that line.
Status EndPage(const CoverPageCall &call, int nLineStart)
{
    call.pTextInfo->nOffsetToText = WrappingAdd(call.nIncomingOffset, nLineStart);
    call.pTextInfo->bNewPage = 1;
    if (call.pSession != nullptr)
        MarkFontsForReselect(call.pSession);
    return Status::kPageEnd;
}

// The character at nLineStart + nBefore has no glyph: set the characters of
// the line before it and report its position in the caller's whole text and
// the x just after the last character set.
Status StopAtMissingGlyph(const CoverPageCall &call, int nLineStart, int nBefore,
                          uint32_t dwLineWidth)
{
    if (nBefore > 0) {
        // A line below the clip box would be lost off the page.
        if (!LineFitsOnPage(call))
            return EndPage(call, nLineStart);
        if (!WriteLine(call, nLineStart, nBefore))
            return Status::kFailed;
    }
    call.pTextInfo->nOffsetToText = WrappingAdd(call.nIncomingOffset, nLineStart + nBefore);
    const uint32_t dwStopX = Unsigned(*call.pnCursorX) + dwLineWidth;
    if (!BeyondRightLimit(call, dwStopX))
        call.pPageInfo->nStopX = static_cast<int>(dwStopX);
    return Status::kInvalidGlyph;
}

// Index within the line of the last character that stays on a line whose
// character nOverflow went beyond the right limit; -1 for an empty line.
int LastCharacterOfBrokenLine(const CoverPageCall &call, int nLineStart, int nOverflow,
                              uint32_t dwLineWidth)
{
    // The space stays at the end of the first line.
    for (int i = nOverflow; i >= 0; --i) {
        if (call.text[static_cast<size_t>(nLineStart + i)] == kSpace)
            return i;
    }
    if (nOverflow > 0)
        return nOverflow - 1;
    // The line's first character alone overflows. When it fits at the left
    // margin an empty line takes the cursor there; a character too wide even
    // for that is set alone, so that every line moves the text on.
    const uint32_t dwAtMargin = Unsigned(call.pTextInfo->nLeftMargin) + dwLineWidth;
    return BeyondRightLimit(call, dwAtMargin) ? 0 : -1;
}

Status SetText(const CoverPageCall &call)
{
    const int nLength = static_cast<int>(call.text.size());
    const int nLineSpacing = call.pPageInfo->nLineSpacing;
    int nLineStart = 0;         // first character of the line being measured
    int nMeasured = 0;          // characters of that line measured so far
    uint32_t dwLineWidth = 0;   // their advances, an overflowing one included
    while (nLineStart + nMeasured < nLength) {
        const int nPos = nLineStart + nMeasured;
        const WCHAR ch = call.text[static_cast<size_t>(nPos)];
        const int nGlyphIndex = call.pPageInfo->anGlyphIndex[nPos];
        if (static_cast<uint32_t>(nGlyphIndex) == kNoGlyph && !NeverStopsThePage(ch))
            return StopAtMissingGlyph(call, nLineStart, nMeasured, dwLineWidth);

        const int nWidth = MeasureCharacter(call.hdcMeasure, ch, nGlyphIndex, call.nCharSize);
        call.advances[static_cast<size_t>(nPos)] = nWidth;
        dwLineWidth += Unsigned(nWidth);
        const bool bBroken = BeyondRightLimit(call, Unsigned(*call.pnCursorX) + dwLineWidth);
        if (!bBroken && nPos != nLength - 1) {
            ++nMeasured;
            continue;
        }

        const int nLast = bBroken
                              ? LastCharacterOfBrokenLine(call, nLineStart, nMeasured, dwLineWidth)
                              : nMeasured;
        if (!LineFitsOnPage(call))
            return EndPage(call, nLineStart);
        if (!WriteLine(call, nLineStart, nLast + 1))
            return Status::kFailed;
        if (bBroken) {
            *call.pnCursorY = WrappingAdd(*call.pnCursorY, nLineSpacing);
            *call.pnCursorX = call.pTextInfo->nLeftMargin;
        }
        // A fitting last line leaves the cursor where it is.
        nLineStart += nLast + 1;
        nMeasured = 0;
        dwLineWidth = 0;
    }
    return Status::kOk;
}

} // namespace

bool SetPageBox(const FNDL_PAGEBOX *pBox)
{
    if (pBox == nullptr) {
        g_pageBoxState = PageBoxState::kDefault;
        return true;
    }
    g_pageBoxState = PageLimitsOfBox(*pBox, &g_pageBoxLimits) ? PageBoxState::kSet
                                                              : PageBoxState::kRefused;
    return g_pageBoxState == PageBoxState::kSet;
}

bool RequestPageLimits(int nResolution, PageLimits *pLimits)
{
    switch (g_pageBoxState) {
    case PageBoxState::kSet:
        // The box is in device units: it holds at any resolution.
        if (nResolution <= 0 || pLimits == nullptr)
            return false;
        *pLimits = g_pageBoxLimits;
        return true;
    case PageBoxState::kRefused:
        return false;
    case PageBoxState::kDefault:
        break;
    }
    return PageLimitsAt(nResolution, pLimits);
}

Status WriteToCoverPageW(FontSession *pSession, FILE *pFile, FNDL_TEXTINFOW *pTextInfo,
                         PageInfo *pPageInfo, int *pnCursorY)
{
    if (pTextInfo == nullptr || pPageInfo == nullptr || pnCursorY == nullptr)
        return Status::kFailed;

    // A request whose page or character size the arithmetic cannot hold
    // writes nothing.
    PageLimits limits{};
    const int nCharSize = CharacterSizeInDots(pTextInfo->FontHeight, pPageInfo->nResolution);
    if (!RequestPageLimits(pPageInfo->nResolution, &limits) || nCharSize == 0)
        return Status::kFailed;

    // After a page end the printer has forgotten the font selection.
    FontEntry *pEntry =
        pSession != nullptr ? FindDownloadedFontW(pSession, pPageInfo->nFontId) : nullptr;
    if (pEntry != nullptr && pEntry->bReselect == 1) {
        if (g_pStream != nullptr)
            WriteFontSelection(g_pStream, pEntry, pTextInfo);
        pTextInfo->bNewPage = 0;
        pEntry->bReselect = 0;
    }

    const int nLength = TextLength(*pTextInfo);
    const size_t nSlots = static_cast<size_t>(std::max(nLength, 1));
    GlobalBlock<int> advances(static_cast<int *>(GlobalAlloc(GMEM_FIXED, nSlots * sizeof(int))));
    if (!advances)
        return Status::kNoMemory;

    WriteClipRectangle(pFile, limits.nClipLeft, limits.nClipTop, limits.nClipRight,
                       limits.nClipBottom);
    if (nLength == 0)
        return Status::kOk;

    FontDC fileFont;
    const HDC hdcMeasure = MeasuringContext(SessionContext(pSession), pPageInfo, nCharSize, fileFont);
    const CoverPageCall call = {
        pSession,
        pFile,
        pTextInfo,
        pPageInfo,
        &g_nCursorX,
        pnCursorY,
        nullptr,
        std::span<const WCHAR>(pTextInfo->szText, static_cast<size_t>(nLength)),
        std::span<int>(advances.get(), static_cast<size_t>(nLength)),
        pTextInfo->nOffsetToText,
        nCharSize,
        limits,
        FontDescent(hdcMeasure, nCharSize),
        hdcMeasure,
    };
    return SetText(call);
}

Status MeasureCoverPageW(HDC hdcRequest, FNDL_TEXTINFOW *pTextInfo, PageInfo *pPageInfo,
                         FNDL_TEXTMEASURE *pMeasure)
{
    PageLimits limits{};
    const int nCharSize = CharacterSizeInDots(pTextInfo->FontHeight, pPageInfo->nResolution);
    if (!RequestPageLimits(pPageInfo->nResolution, &limits) || nCharSize == 0)
        return Status::kFailed;

    const int nLength = TextLength(*pTextInfo);
    const int nOffset = pTextInfo->nOffsetToText;
    // The record counts from the start of the caller's text, which the
    // call's text begins nOffset units into (an offset past its end leaves
    // no text).
    if (nLength > 0 && (nOffset < 0 || nOffset > FNDL_MEASURE_UNITS - nLength))
        return Status::kFailed;
    const std::span<int> advances(pMeasure->anAdvance + (nLength > 0 ? nOffset : 0),
                                  static_cast<size_t>(nLength));
    constexpr int kNotMeasured = -1;
    std::fill(advances.begin(), advances.end(), kNotMeasured);

    FontDC fileFont;
    const HDC hdcMeasure = MeasuringContext(hdcRequest, pPageInfo, nCharSize, fileFont);
    int nCursorX = pMeasure->nCursorX;
    int nCursorY = pMeasure->nCursorY;
    const CoverPageCall call = {
        nullptr,
        nullptr,
        pTextInfo,
        pPageInfo,
        &nCursorX,
        &nCursorY,
        pMeasure,
        std::span<const WCHAR>(pTextInfo->szText, static_cast<size_t>(nLength)),
        advances,
        nOffset,
        nCharSize,
        limits,
        FontDescent(hdcMeasure, nCharSize),
        hdcMeasure,
    };
    const Status result = nLength > 0 ? SetText(call) : Status::kOk;
    // The characters the text call did not reach are measured as it would
    // have: a caller centres or sizes by the whole text. One it stops at is
    // never set and has no advance.
    for (int i = 0; i < nLength; ++i) {
        const WCHAR ch = pTextInfo->szText[i];
        const int nGlyphIndex = pPageInfo->anGlyphIndex[i];
        int &nAdvance = advances[static_cast<size_t>(i)];
        if (static_cast<uint32_t>(nGlyphIndex) == kNoGlyph && !NeverStopsThePage(ch))
            nAdvance = 0;
        else if (nAdvance == kNotMeasured)
            nAdvance = MeasureCharacter(hdcMeasure, ch, nGlyphIndex, nCharSize);
    }
    pMeasure->nEndX = nCursorX;
    pMeasure->nEndY = nCursorY;
    return result;
}

bool MakeGlyphRunText(const FNDL_GLYPH *pGlyphs, int nGlyphs, int nCursorX, int nCursorY,
                      GlyphRunText *pText)
{
    if (nGlyphs < 0 || nGlyphs > FNDL_MAX_GLYPH_RUN || (nGlyphs > 0 && pGlyphs == nullptr))
        return false;
    const auto nSlots = static_cast<size_t>(std::max(nGlyphs, 1));
    pText->codes.reset(static_cast<uint16_t *>(GlobalAlloc(GMEM_FIXED, nSlots * sizeof(uint16_t))));
    pText->xSpacing.reset(static_cast<int16_t *>(GlobalAlloc(GMEM_FIXED, nSlots * sizeof(int16_t))));
    pText->ySpacing.reset(static_cast<int16_t *>(GlobalAlloc(GMEM_FIXED, nSlots * sizeof(int16_t))));
    if (!pText->codes || !pText->xSpacing || !pText->ySpacing)
        return false;
    const auto fits = [](int64_t nValue) { return nValue >= INT16_MIN && nValue <= INT16_MAX; };

    // The Text draws each glyph at the cursor and then moves the cursor by
    // its spacing: the glyph's offsets go into where the Text starts and
    // into the spacing before and after it, so that the cursor ends at the
    // pen's end again.
    const int64_t nOffsetX0 = nGlyphs > 0 ? pGlyphs[0].nOffsetX : 0;
    const int64_t nOffsetY0 = nGlyphs > 0 ? pGlyphs[0].nOffsetY : 0;
    const int64_t nStartX = int64_t{nCursorX} + nOffsetX0;
    const int64_t nStartY = int64_t{nCursorY} + nOffsetY0;
    int64_t nPenX = nCursorX;
    bool bOffsetY = false;
    for (int i = 0; i < nGlyphs; ++i) {
        const FNDL_GLYPH &glyph = pGlyphs[i];
        const bool bLast = i + 1 == nGlyphs;
        const int64_t nNextOffsetX = bLast ? 0 : pGlyphs[i + 1].nOffsetX;
        const int64_t nNextOffsetY = bLast ? 0 : pGlyphs[i + 1].nOffsetY;
        const int64_t nSpacingX = int64_t{glyph.nAdvance} + nNextOffsetX - glyph.nOffsetX;
        const int64_t nSpacingY = nNextOffsetY - glyph.nOffsetY;
        // Where the glyph is drawn is a page position too.
        const bool bDrawnOnPage = fits(nPenX + glyph.nOffsetX) && fits(int64_t{nCursorY} + glyph.nOffsetY);
        nPenX += glyph.nAdvance;
        if (glyph.nGlyph < 0 || glyph.nGlyph > 0xFFFE || !fits(nSpacingX) || !fits(nSpacingY) ||
            !fits(nPenX) || !bDrawnOnPage)
            return false;
        bOffsetY = bOffsetY || glyph.nOffsetY != 0;
        pText->codes.get()[i] = static_cast<uint16_t>(glyph.nGlyph);
        pText->xSpacing.get()[i] = static_cast<int16_t>(nSpacingX);
        pText->ySpacing.get()[i] = static_cast<int16_t>(nSpacingY);
    }
    if (!fits(nStartX) || !fits(nStartY) || !fits(nPenX))
        return false;
    if (!bOffsetY)
        pText->ySpacing.reset();
    pText->nCount = nGlyphs;
    pText->nStartX = static_cast<int>(nStartX);
    pText->nStartY = static_cast<int>(nStartY);
    pText->nEndX = static_cast<int>(nPenX);
    return true;
}

Status WriteGlyphRun(FontSession *pSession, FILE *pFile, FNDL_TEXTINFOW *pTextInfo,
                     PageInfo *pPageInfo, const GlyphRunText &text)
{
    PageLimits limits{};
    const int nCharSize = CharacterSizeInDots(pTextInfo->FontHeight, pPageInfo->nResolution);
    if (!RequestPageLimits(pPageInfo->nResolution, &limits) || nCharSize == 0 ||
        g_pStream == nullptr)
        return Status::kFailed;
    WriteClipRectangle(pFile, limits.nClipLeft, limits.nClipTop, limits.nClipRight,
                       limits.nClipBottom);
    if (text.nCount == 0)
        return Status::kOk;

    FontDC fileFont;
    const HDC hdcMeasure = MeasuringContext(SessionContext(pSession), pPageInfo, nCharSize, fileFont);
    if (!BaselineFits(limits, g_nCursorY, FontDescent(hdcMeasure, nCharSize))) {
        pTextInfo->bNewPage = 1;
        if (pSession != nullptr)
            MarkFontsForReselect(pSession);
        return Status::kPageEnd;
    }
    WriteSetCursor(pFile, text.nStartX, &text.nStartY);
    XLText(g_pStream, text.codes.get(), text.xSpacing.get(), text.ySpacing.get(),
           static_cast<uint16_t>(text.nCount));
    g_nCursorX = text.nEndX;
    return Status::kOk;
}
