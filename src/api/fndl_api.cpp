// SPDX-License-Identifier: MIT
// The exported calls: font download, font removal and the cursor.
#include <io.h>

#include <cstdio>
#include <cstring>
#include <string_view>

#include "coverpage/coverpage.h"
#include "download/download.h"
#include "memory/globalblock.h"
#include "qorvfndl.h"
#include "session/session.h"
#include "text/text.h"
#include "text/widestr.h"
#include "truetype/truetype.h"
#include "xlstream/xlstream.h"

namespace {

constexpr int kTextCapacity = 512;
constexpr int kStreamBufferSize = 4096;

// The exported calls share the session, the stream and the cursor: callers
// must not overlap them, and a caller that does (a print service with two
// threads) waits here instead of corrupting the session.
SRWLOCK g_callLock = SRWLOCK_INIT;

struct CallLock {
    CallLock() { AcquireSRWLockExclusive(&g_callLock); }
    ~CallLock() { ReleaseSRWLockExclusive(&g_callLock); }
    CallLock(const CallLock &) = delete;
    CallLock &operator=(const CallLock &) = delete;
};

// The output file of one download call and its length when the call opened
// it: a call that fails cuts the file back to that length, so that no
// partial font header or character stays in the job.
struct OutputFile {
    FILE *pFile;
    long long nLengthAtOpen; // -1: unknown (cannot cut back)
};

// The buffer of the call's output file: the stream batches its operators
// in its own buffer (flushed before the cover page's fragments and at the
// call's end), and the file goes to the system in few large writes. Calls run
// one at a time (the call lock), and each closes its file before it returns.
char g_achOutputBuffer[1 << 16];

OutputFile OpenOutputFile(const char *szPath)
{
    FILE *pFile = fopen(szPath, "ab");
    if (pFile != nullptr)
        setvbuf(pFile, g_achOutputBuffer, _IOFBF, sizeof g_achOutputBuffer);
    return {pFile, pFile != nullptr ? _filelengthi64(_fileno(pFile)) : -1};
}

// Cuts the file back to its length at open. A file that is no regular file
// (a pipe, a device) cannot be cut; what went there stays.
void CutBack(const OutputFile &output)
{
    if (output.pFile == nullptr || output.nLengthAtOpen < 0)
        return;
    fflush(output.pFile);
    _chsize_s(_fileno(output.pFile), output.nLengthAtOpen);
}

// Ends a failed call: the file as the call found it, closed, and the session
// forgotten, as it would believe the printer holds what was cut.
Status FailCall(const OutputFile &output)
{
    XLStreamFlush(g_pStream);
    CutBack(output);
    if (g_pStream != nullptr)
        g_pStream->pOutputFile = nullptr;
    fclose(output.pFile);
    if (g_pSession != nullptr)
        DiscardFontSession(g_pSession);
    return Status::kFailed;
}

// The public result of a call's status.
int PublicResult(Status status)
{
    switch (status) {
    case Status::kOk:
        return FNDL_OK;
    case Status::kInvalidGlyph:
        return INVALID_GLYPH_HANDLE;
    case Status::kPageEnd:
        return PAGEEND;
    default:
        return DOWNLOAD_FAILURE;
    }
}

// The end of a download call: its public result, and the one place the
// process's font-file flag is set. A font file that could not be mapped
// fails its own call, not every later one.
int EndDownloadCall(Status status)
{
    bFontFileError = status == Status::kFontFile ? 1 : 0;
    return PublicResult(status);
}

// Length of a string held in a fixed array that may lack its terminator.
template <typename Char>
int BoundedLength(const Char *pch, int nCapacity)
{
    int n = 0;
    while (n < nCapacity && pch[n] != 0)
        ++n;
    return n;
}

// True when the ANSI bytes convert back to exactly the UTF-16 units: no
// unpaired surrogate or character missing from the code page was replaced.
bool ConvertsBackExactly(const char *pch, int nBytes, const WCHAR *pchWide, int nUnits)
{
    if (MultiByteToWideChar(CP_ACP, 0, pch, nBytes, nullptr, 0) != nUnits)
        return false;
    auto *pchBack = static_cast<WCHAR *>(
        GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(nUnits) * sizeof(WCHAR)));
    if (pchBack == nullptr)
        return false;
    const bool bSame = MultiByteToWideChar(CP_ACP, 0, pch, nBytes, pchBack, nUnits) == nUnits &&
                       std::memcmp(pchBack, pchWide, static_cast<size_t>(nUnits) * sizeof(WCHAR)) == 0;
    GlobalFree(pchBack);
    return bSame;
}

// UTF-16 (at most nCapacity units, NUL or not) to a NUL-terminated ANSI
// string in a new global-heap block; null when out of memory. A path must
// convert exactly (bExact): with a stand-in character it would name another
// file, and two different paths could name the same one.
char *NewAnsiString(const WCHAR *pchWide, int nCapacity, bool bExact)
{
    const int nUnits = BoundedLength(pchWide, nCapacity);
    int nBytes = 0;
    if (nUnits > 0) {
        nBytes = WideCharToMultiByte(CP_ACP, 0, pchWide, nUnits, nullptr, 0, nullptr, nullptr);
        if (nBytes <= 0)
            return nullptr;
    }
    auto *sz = static_cast<char *>(GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(nBytes) + 1));
    if (sz == nullptr)
        return nullptr;
    if (nBytes > 0)
        WideCharToMultiByte(CP_ACP, 0, pchWide, nUnits, sz, nBytes, nullptr, nullptr);
    sz[nBytes] = '\0';
    if (bExact && nBytes > 0 && !ConvertsBackExactly(sz, nBytes, pchWide, nUnits)) {
        GlobalFree(sz);
        return nullptr;
    }
    return sz;
}

// Copies a string of at most nCapacity bytes into a new global-heap block.
char *NewCopiedString(const char *pch, int nCapacity)
{
    const int nBytes = BoundedLength(pch, nCapacity);
    auto *sz = static_cast<char *>(GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(nBytes) + 1));
    if (sz == nullptr)
        return nullptr;
    std::memcpy(sz, pch, static_cast<size_t>(nBytes));
    sz[nBytes] = '\0';
    return sz;
}

// Cuts the first nOffset characters from the text; false when the offset is
// negative or memory is exhausted.
bool SkipToOffset(WCHAR *szText, int nOffset)
{
    if (nOffset == 0)
        return true;
    if (nOffset < 0)
        return false;
    const int nLength = WideLength(szText);
    WCHAR *szRest = WideRight(szText, nLength - nOffset);
    if (szRest == nullptr)
        return false;
    const int nRest = WideLength(szRest);
    std::memcpy(szText, szRest, static_cast<size_t>(nRest + 1) * sizeof(WCHAR));
    GlobalFree(szRest);
    return true;
}

// Copies the face name into lfFaceName, cut at a UTF-8 character boundary
// when it does not fit (a font file path may be much longer).
void SetFaceName(LOGFONTA &lf, const char *szFace)
{
    const std::string_view face = LogFontFaceName(szFace);
    std::memcpy(lf.lfFaceName, face.data(), face.size());
    lf.lfFaceName[face.size()] = '\0';
}

// The logical-font fields are the same in the wide and the ANSI page record.
template <typename PageRecord>
LOGFONTA MakeLogFont(const FNDL_TEXTINFOW &text, const PageRecord &page, int nResolution,
                     const char *szFace)
{
    LOGFONTA lf;
    std::memset(&lf, 0, sizeof(lf));
    // The em at the size SetFont prints, so that the cover page measures the
    // glyphs as they print at any resolution.
    lf.lfHeight = -CharacterSizeInDots(text.FontHeight, nResolution);
    lf.lfWidth = 0;
    lf.lfEscapement = page.lfEscapement;
    lf.lfOrientation = page.lfOrientation;
    lf.lfWeight = page.lfWeight;
    lf.lfItalic = static_cast<BYTE>(text.bItalic != 0 ? text.bItalic : page.lfItalic);
    lf.lfUnderline = static_cast<BYTE>(text.bUnderline != 0 ? text.bUnderline : page.lfUnderline);
    lf.lfStrikeOut = static_cast<BYTE>(page.lfStrikeOut);
    lf.lfCharSet = static_cast<BYTE>(page.lfCharSet);
    lf.lfOutPrecision = static_cast<BYTE>(page.lfOutPrecision);
    lf.lfClipPrecision = static_cast<BYTE>(page.lfClipPrecision);
    lf.lfQuality = static_cast<BYTE>(page.lfQuality);
    lf.lfPitchAndFamily = static_cast<BYTE>(page.lfPitchAndFamily);
    SetFaceName(lf, szFace);
    return lf;
}

template <typename TextRecord, typename PageRecord>
void BeginRequest(const TextRecord &text, const PageRecord &page, FNDL_TEXTINFOW &local,
                  PageInfo &info)
{
    std::memset(&local, 0, sizeof(local));
    local.FontHeight = text.FontHeight;
    local.bBold = text.bBold;
    local.bItalic = text.bItalic;
    local.bUnderline = text.bUnderline;
    local.nOffsetToText = text.nOffsetToText;
    local.nLeftMargin = text.nLeftMargin;
    local.bNewPage = text.bNewPage;

    std::memset(&info, 0, sizeof(info));
    info.nFontId = page.nFontId;
    info.nReserved1 = page.nReserved1;
    info.nPaperWidth = page.nPaperWidth;
    info.nResolution = page.nResolution;
    info.nLineSpacing = page.nLineSpacing;
    info.bTTE = page.bTTE;
    info.nStopX = -1;
}

// Where the results of a call go back to in the caller's records.
struct WriteBack {
    int *pbNewPage;
    int *pnOffsetToText;
    int *pnStopX;
};

// The call's memory device context with the request's logical font
// selected; both go back when the call ends unless the session took them.
// When the session's device context already has that logical font
// selected, the call reads through it (bKept) and makes none: creating,
// matching, selecting and deleting the same font again would cost a
// repeated request more than setting its text.
struct RequestDeviceContext {
    HDC hdc;
    HFONT hFont;
    bool bKept;

    explicit RequestDeviceContext(const LOGFONTA &lf)
        : hdc(nullptr), hFont(nullptr), bKept(SessionHasLogFont(g_pSession, lf))
    {
        if (bKept) {
            hdc = g_pSession->hdc;
            return;
        }
        hdc = CreateCompatibleDC(nullptr);
        hFont = CreateFontIndirectA(&lf);
        if (hdc != nullptr && hFont != nullptr)
            SelectObject(hdc, hFont);
    }
    ~RequestDeviceContext()
    {
        if (bKept)
            return;
        if (hdc != nullptr)
            DeleteDC(hdc);
        if (hFont != nullptr)
            DeleteObject(hFont);
    }
    bool IsValid() const { return hdc != nullptr && (bKept || hFont != nullptr); }
    RequestDeviceContext(const RequestDeviceContext &) = delete;
    RequestDeviceContext &operator=(const RequestDeviceContext &) = delete;

    // The session releases the device context and its font from now on.
    HDC HandOver()
    {
        HDC hdcOut = hdc;
        hdc = nullptr;
        hFont = nullptr;
        bKept = false;
        return hdcOut;
    }
};

// A resolution or character size the page arithmetic cannot hold, and a
// refused page box, fail a request before anything is written; so does a
// page no line of the text can ever be set on: an em taller than the clip
// box would end every page before its first line, and a negative line
// spacing would set lines above the page.
bool RequestCanBeSet(const FNDL_TEXTINFOW &local, const PageInfo &info)
{
    PageLimits limits{};
    const int nCharSize = CharacterSizeInDots(local.FontHeight, info.nResolution);
    return RequestPageLimits(info.nResolution, &limits) && nCharSize != 0 &&
           nCharSize <= limits.nClipBottom - limits.nClipTop && info.nLineSpacing >= 0;
}

// The request from the logical font on, the same for every entry point:
// work(pFile) downloads and sets the text and gives its status. A refusal
// leaves the job and the session as the call found them; a failure cuts
// the call back and forgets the session.
template <typename Work>
Status RunRequest(const FNDL_TEXTINFOW &local, PageInfo &info, const LOGFONTA &lf, Work work)
{
    if (!RequestCanBeSet(local, info))
        return Status::kFailed;

    RequestDeviceContext request(lf);
    const OutputFile output = OpenOutputFile(info.szOutputPath);
    FILE *pFile = output.pFile;
    if (pFile == nullptr)
        return Status::kFailed;
    if (!request.IsValid()) {
        fclose(pFile);
        return Status::kFailed;
    }

    if (g_pStream != nullptr) {
        g_pStream->pOutputFile = nullptr; // the earlier call's file is closed
        XLStreamClose(g_pStream);
        g_pStream = nullptr;
    }
    g_pStream = XLStreamCreate(kStreamBufferSize, WriteToOutputFile, 0);
    if (g_pStream == nullptr) {
        fclose(pFile);
        return Status::kFailed;
    }
    g_pStream->pOutputFile = pFile;
    g_pStream->bBatchOperators = true;

    if (g_pSession == nullptr) {
        g_pSession = CreateFontSession(info.szOutputPath);
        if (g_pSession == nullptr) {
            fclose(pFile);
            g_pStream->pOutputFile = nullptr;
            return Status::kFailed;
        }
    }
    ReplaceSessionDeviceContext(g_pSession, request.HandOver(), lf);

    const Status status = work(pFile);
    XLStreamFlush(g_pStream);
    if (IsRefusal(status)) {
        // Nothing was written and the fonts sent before are still there; a
        // session this call began holds nothing and ends again.
        g_pStream->pOutputFile = nullptr;
        fclose(pFile);
        if (g_pSession->nCount == 0)
            DiscardFontSession(g_pSession);
        return status;
    }
    if (IsFailure(status))
        return FailCall(output);

    // Whatever did not reach the file makes the call a failure.
    const bool bStreamFailed = g_pStream->nErrorCode != XL_ERROR_NONE;
    const bool bFileFailed = fflush(pFile) != 0 || ferror(pFile) != 0;
    if (bStreamFailed || bFileFailed)
        return FailCall(output);
    g_pStream->pOutputFile = nullptr;
    if (fclose(pFile) != 0) {
        // The bytes may not all have reached the file: cut them off again.
        const OutputFile reopened{fopen(info.szOutputPath, "ab"), output.nLengthAtOpen};
        if (reopened.pFile != nullptr)
            FailCall(reopened);
        else if (g_pSession != nullptr)
            DiscardFontSession(g_pSession);
        return Status::kFailed;
    }
    return status;
}

// The text request: download, cover page, results back into the caller's
// records.
Status RunTextRequest(FNDL_TEXTINFOW &local, PageInfo &info, const LOGFONTA &lf, const WriteBack &back)
{
    return RunRequest(local, info, lf, [&](FILE *pFile) -> Status {
        const Status downloaded = DownloadFontW(g_pSession, g_pStream, &local, &info);
        if (downloaded != Status::kOk)
            return downloaded;
        const Status status = WriteToCoverPageW(g_pSession, pFile, &local, &info, &g_nCursorY);
        *back.pnStopX = info.nStopX != -1 ? info.nStopX : 0;
        if (local.bNewPage != 0)
            *back.pbNewPage = local.bNewPage;
        if (local.nOffsetToText != 0)
            *back.pnOffsetToText = local.nOffsetToText;
        return status;
    });
}

// The request once its text and output path are in place: the logical font
// from the caller's records, the download, and the results written back.
template <typename TextRecord, typename PageRecord>
Status DownloadRequest(FNDL_TEXTINFOW &local, PageInfo &info, TextRecord &text, PageRecord &page)
{
    const LOGFONTA lf = MakeLogFont(local, page, info.nResolution, info.chFont);
    return RunTextRequest(local, info, lf, {&text.bNewPage, &text.nOffsetToText, &page.nStopX});
}

// The wide request's text (at most 511 units) into the call's text record;
// the face name, or the font file's path, converted into *pFont.
bool TakeRequestW(const FNDL_TEXTINFOW &text, const FNDL_PAGEINFOW &page, FNDL_TEXTINFOW &local,
                  PageInfo &info, GlobalBlock<char> *pFont)
{
    pFont->reset(NewAnsiString(page.chFont, 256, page.bTTE != 0));
    info.chFont = pFont->get();
    if (info.chFont == nullptr)
        return false;
    const int nTextLength = BoundedLength(text.szText, kTextCapacity - 1);
    std::memcpy(local.szText, text.szText, static_cast<size_t>(nTextLength) * sizeof(WCHAR));
    local.szText[nTextLength] = 0;
    return true;
}

// The ANSI request's text, converted to UTF-16 (at most 511 units), into
// the call's text record; the face name or path copied into *pFont.
bool TakeRequestA(const FNDL_TEXTINFOA &text, const FNDL_PAGEINFOA &page, FNDL_TEXTINFOW &local,
                  PageInfo &info, GlobalBlock<char> *pFont)
{
    pFont->reset(NewCopiedString(page.chFont, 256));
    info.chFont = pFont->get();
    if (info.chFont == nullptr)
        return false;
    const int nBytes = BoundedLength(text.szText, kTextCapacity);
    const int nUnits = nBytes > 0 ? MultiByteToWideChar(CP_ACP, 0, text.szText, nBytes, nullptr, 0) : 0;
    const GlobalBlock<WCHAR> converted(
        nUnits > 0 ? static_cast<WCHAR *>(
                         GlobalAlloc(GMEM_FIXED, (static_cast<SIZE_T>(nUnits) + 1) * sizeof(WCHAR)))
                   : nullptr);
    // A text that does not convert fails the call rather than print nothing.
    if (nBytes > 0 && !converted)
        return false;
    if (nUnits > 0) {
        MultiByteToWideChar(CP_ACP, 0, text.szText, nBytes, converted.get(), nUnits);
        const int nKept = nUnits < kTextCapacity - 1 ? nUnits : kTextCapacity - 1;
        std::memcpy(local.szText, converted.get(), static_cast<size_t>(nKept) * sizeof(WCHAR));
        local.szText[nKept] = 0;
    }
    return true;
}

// The measure of a taken request: the glyph indexes a download would find,
// then the text set on no page. The session, the stream, the cursor and
// the font-file flag stay as they were; the font is read through a device
// context of the measure's own, or the session's when that has the same
// logical font selected (reading selects nothing else into it).
Status MeasureRequest(FNDL_TEXTINFOW &local, PageInfo &info, const LOGFONTA &lf,
                      FNDL_TEXTMEASURE &measure)
{
    if (!RequestCanBeSet(local, info))
        return Status::kFailed;
    RequestDeviceContext request(lf);
    if (!request.IsValid())
        return Status::kFailed;
    FontSession reader;
    std::memset(&reader, 0, sizeof(reader));
    reader.hdc = request.hdc;
    const Status found = FindGlyphIndexesW(g_pSession, &reader, &local, &info);
    if (found != Status::kOk)
        return found;
    return MeasureCoverPageW(request.hdc, &local, &info, &measure);
}

// The out fields of a measure record cleared, the cursor it came with kept.
void ClearMeasure(FNDL_TEXTMEASURE &measure)
{
    const int nCursorX = measure.nCursorX;
    const int nCursorY = measure.nCursorY;
    std::memset(&measure, 0, sizeof(measure));
    measure.nCursorX = nCursorX;
    measure.nCursorY = nCursorY;
}

// The measure record filled from the call's status: on failure every out
// field is 0 but nResult. Returns the public result.
int FinishMeasure(Status status, const FNDL_TEXTINFOW &local, const PageInfo &info,
                  int nIncomingOffset, FNDL_TEXTMEASURE &measure)
{
    if (IsFailure(status)) {
        ClearMeasure(measure);
    } else {
        const int nLength = WideLength(local.szText);
        measure.nUnits = nIncomingOffset + nLength;
        for (int i = 0; i < nLength; ++i) {
            const auto nGlyph = static_cast<uint32_t>(info.anGlyphIndex[i]);
            measure.anGlyph[nIncomingOffset + i] = nGlyph == kNoGlyph ? 0 : static_cast<int>(nGlyph);
        }
        measure.nOffsetToText = status == Status::kOk ? 0 : local.nOffsetToText;
        measure.nStopX = info.nStopX != -1 ? info.nStopX : 0;
        measure.bNewPage = local.bNewPage != 0 ? 1 : 0;
    }
    measure.nResult = PublicResult(status);
    return measure.nResult;
}

// The measure of a request whose text and font are taken: the text skipped
// to its offset (an offset past its end leaves none, as in the download),
// the logical font made from the page record.
template <typename PageRecord>
int MeasureTakenRequest(FNDL_TEXTINFOW &local, PageInfo &info, const PageRecord &page,
                        FNDL_TEXTMEASURE &measure)
{
    const int nIncomingOffset = local.nOffsetToText;
    // The download reports a page end by setting the flag, never by
    // clearing it: the measure starts from a clear one.
    local.bNewPage = 0;
    if (!SkipToOffset(local.szText, local.nOffsetToText))
        return FinishMeasure(Status::kNoMemory, local, info, nIncomingOffset, measure);
    const int nLength = WideLength(local.szText);
    const LOGFONTA lf = MakeLogFont(local, page, info.nResolution, info.chFont);
    const Status status = MeasureRequest(local, info, lf, measure);
    // No text: the offset stays whatever it was, and nothing is measured.
    return FinishMeasure(status, local, info, nLength > 0 ? nIncomingOffset : 0, measure);
}

// The wide or the ANSI request's text and font, for the calls that take
// either.
bool TakeRequest(const FNDL_TEXTINFOW &text, const FNDL_PAGEINFOW &page, FNDL_TEXTINFOW &local,
                 PageInfo &info, GlobalBlock<char> *pFont)
{
    return TakeRequestW(text, page, local, info, pFont);
}

bool TakeRequest(const FNDL_TEXTINFOA &text, const FNDL_PAGEINFOA &page, FNDL_TEXTINFOW &local,
                 PageInfo &info, GlobalBlock<char> *pFont)
{
    return TakeRequestA(text, page, local, info, pFont);
}

// A measure call: the records checked, the out fields cleared, the request
// begun and taken as a download's is, then measured.
template <typename TextRecord, typename PageRecord>
int MeasureText(const TextRecord *pTextInfo, const PageRecord *pPageInfo, FNDL_TEXTMEASURE *pMeasure)
{
    if (pMeasure == nullptr)
        return DOWNLOAD_FAILURE;
    ClearMeasure(*pMeasure);
    pMeasure->nResult = DOWNLOAD_FAILURE;
    if (pTextInfo == nullptr || pPageInfo == nullptr || pTextInfo->nOffsetToText < 0)
        return DOWNLOAD_FAILURE;
    FNDL_TEXTINFOW local;
    PageInfo info;
    BeginRequest(*pTextInfo, *pPageInfo, local, info);
    GlobalBlock<char> font;
    if (!TakeRequest(*pTextInfo, *pPageInfo, local, info, &font))
        return DOWNLOAD_FAILURE;
    return MeasureTakenRequest(local, info, *pPageInfo, *pMeasure);
}

} // namespace

extern "C" FNDL_EXPORT int FNDL_CALL FNDLFontDownloadW(FNDL_TEXTINFOW *pTextInfo,
                                                       FNDL_PAGEINFOW *pPageInfo)
{
    const CallLock lock;
    if (pTextInfo == nullptr || pPageInfo == nullptr || pTextInfo->nOffsetToText < 0)
        return DOWNLOAD_FAILURE;
    FNDL_TEXTINFOW local;
    PageInfo info;
    BeginRequest(*pTextInfo, *pPageInfo, local, info);
    GlobalBlock<char> font;
    if (!TakeRequestW(*pTextInfo, *pPageInfo, local, info, &font))
        return EndDownloadCall(Status::kFailed);

    const GlobalBlock<char> path(NewAnsiString(pPageInfo->szOutputPath, 256, true));
    if (!path || std::strlen(path.get()) >= sizeof(info.szOutputPath) ||
        !SkipToOffset(local.szText, local.nOffsetToText))
        return EndDownloadCall(Status::kFailed);
    std::strcpy(info.szOutputPath, path.get());
    return EndDownloadCall(DownloadRequest(local, info, *pTextInfo, *pPageInfo));
}

extern "C" FNDL_EXPORT int FNDL_CALL FNDLFontDownloadA(FNDL_TEXTINFOA *pTextInfo,
                                                       FNDL_PAGEINFOA *pPageInfo)
{
    const CallLock lock;
    if (pTextInfo == nullptr || pPageInfo == nullptr || pTextInfo->nOffsetToText < 0)
        return DOWNLOAD_FAILURE;
    FNDL_TEXTINFOW local;
    PageInfo info;
    BeginRequest(*pTextInfo, *pPageInfo, local, info);

    // A path that does not end inside its array would name another file.
    const int nPathLength = BoundedLength(pPageInfo->szOutputPath, 256);
    if (nPathLength >= 256)
        return EndDownloadCall(Status::kFailed);
    GlobalBlock<char> font;
    if (!TakeRequestA(*pTextInfo, *pPageInfo, local, info, &font) ||
        !SkipToOffset(local.szText, local.nOffsetToText))
        return EndDownloadCall(Status::kFailed);
    std::memcpy(info.szOutputPath, pPageInfo->szOutputPath, static_cast<size_t>(nPathLength));
    info.szOutputPath[nPathLength] = '\0';
    return EndDownloadCall(DownloadRequest(local, info, *pTextInfo, *pPageInfo));
}

extern "C" FNDL_EXPORT int FNDL_CALL FNDLMeasureTextW(const FNDL_TEXTINFOW *pTextInfo,
                                                      const FNDL_PAGEINFOW *pPageInfo,
                                                      FNDL_TEXTMEASURE *pMeasure)
{
    const CallLock lock;
    return MeasureText(pTextInfo, pPageInfo, pMeasure);
}

extern "C" FNDL_EXPORT int FNDL_CALL FNDLMeasureTextA(const FNDL_TEXTINFOA *pTextInfo,
                                                      const FNDL_PAGEINFOA *pPageInfo,
                                                      FNDL_TEXTMEASURE *pMeasure)
{
    const CallLock lock;
    return MeasureText(pTextInfo, pPageInfo, pMeasure);
}

extern "C" FNDL_EXPORT int FNDL_CALL FNDLGlyphRunW(FNDL_GLYPHRUN *pRun, const FNDL_GLYPH *pGlyphs,
                                                   const FNDL_PAGEINFOW *pPageInfo)
{
    const CallLock lock;
    if (pRun == nullptr || pPageInfo == nullptr)
        return DOWNLOAD_FAILURE;
    pRun->nStopIndex = 0;
    FNDL_TEXTINFOW text;
    std::memset(&text, 0, sizeof(text));
    text.FontHeight = pRun->FontHeight;
    text.bBold = pRun->bBold;
    text.bItalic = pRun->bItalic;
    FNDL_TEXTINFOW local;
    PageInfo info;
    BeginRequest(text, *pPageInfo, local, info);

    // The run's positions are worked out before anything is written: one
    // that the page's numbers cannot hold fails the call with no byte out.
    GlyphRunText run;
    if (!MakeGlyphRunText(pGlyphs, pRun->nGlyphs, g_nCursorX, g_nCursorY, &run))
        return EndDownloadCall(Status::kFailed);
    const GlobalBlock<char> font(NewAnsiString(pPageInfo->chFont, 256, pPageInfo->bTTE != 0));
    info.chFont = font.get();
    const GlobalBlock<char> path(NewAnsiString(pPageInfo->szOutputPath, 256, true));
    if (info.chFont == nullptr || !path || std::strlen(path.get()) >= sizeof(info.szOutputPath))
        return EndDownloadCall(Status::kFailed);
    std::strcpy(info.szOutputPath, path.get());

    const LOGFONTA lf = MakeLogFont(local, *pPageInfo, info.nResolution, info.chFont);
    return EndDownloadCall(RunRequest(local, info, lf, [&](FILE *pFile) -> Status {
        int nMissing = -1;
        const Status downloaded =
            DownloadGlyphRunW(g_pSession, g_pStream, &local, &info, pGlyphs, run.nCount, &nMissing);
        if (downloaded != Status::kOk)
            return downloaded;
        // A glyph the printer did not get would leave a hole in the run.
        if (nMissing >= 0) {
            pRun->nStopIndex = nMissing;
            return Status::kInvalidGlyph;
        }
        const Status status = WriteGlyphRun(g_pSession, pFile, &local, &info, run);
        if (local.bNewPage != 0)
            pRun->bNewPage = local.bNewPage;
        return status;
    }));
}

extern "C" FNDL_EXPORT void FNDL_CALL FNDLSetCursor(int *pnX, int *pnY)
{
    const CallLock lock;
    if (pnX == nullptr || pnY == nullptr)
        return;
    g_nCursorX = *pnX;
    g_nCursorY = *pnY;
}

extern "C" FNDL_EXPORT int FNDL_CALL FNDLGetCursor(void)
{
    const CallLock lock;
    return g_nCursorY;
}

extern "C" FNDL_EXPORT int FNDL_CALL FNDLSetPageBox(const FNDL_PAGEBOX *pBox)
{
    const CallLock lock;
    return SetPageBox(pBox) ? FNDL_OK : DOWNLOAD_FAILURE;
}

namespace {

void RemoveFont(const int *pnFontId)
{
    if (pnFontId == nullptr)
        return;
    const int nFontId = *pnFontId;
    FontSession *pSession = g_pSession;
    if (pSession == nullptr || pSession->nCount == 0)
        return;

    FILE *pFile = fopen(pSession->szOutputPath, "ab");
    if (pFile == nullptr) {
        DiscardFontSession(pSession);
        return;
    }
    // A stream that failed earlier would silently drop the RemoveFont.
    if (g_pStream != nullptr && g_pStream->nErrorCode != XL_ERROR_NONE) {
        g_pStream->pOutputFile = nullptr;
        XLStreamClose(g_pStream);
        g_pStream = nullptr;
    }
    if (g_pStream == nullptr)
        g_pStream = XLStreamCreate(kStreamBufferSize, WriteToOutputFile, 0);
    if (g_pStream == nullptr) {
        fclose(pFile);
        return;
    }
    g_pStream->pOutputFile = pFile;
    g_pStream->bBatchOperators = true;
    RemoveFontEntry(pSession, g_pStream, nFontId);
    XLStreamFlush(g_pStream);
    // The removal reaches the file when it closes: a failure there stops
    // the stream as a failed write would.
    if (fclose(pFile) != 0)
        XLRecordError(g_pStream, XL_ERROR_WRITE_FAILED);
    g_pStream->pOutputFile = nullptr;

    // The last font is gone: the session ends with its device context and
    // the stream.
    if (pSession->nCount == 0) {
        XLStreamClose(g_pStream);
        g_pStream = nullptr;
        DiscardFontSession(pSession);
    }
}

} // namespace

extern "C" FNDL_EXPORT void FNDL_CALL FNDLRemoveFontW(int *pnFontId)
{
    const CallLock lock;
    RemoveFont(pnFontId);
}

extern "C" FNDL_EXPORT void FNDL_CALL FNDLRemoveFontA(int *pnFontId)
{
    const CallLock lock;
    RemoveFont(pnFontId);
}
