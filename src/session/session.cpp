// SPDX-License-Identifier: MIT
// The session's font list, font removal, the output file's write callback,
// and the state kept from call to call.
#include "session/session.h"

#include <cstdio>
#include <cstring>


FontSession *g_pSession = nullptr;
XLStream *g_pStream = nullptr;
int g_nCursorX = 0;
int g_nCursorY = 0;
int bFontFileError = 0;

FontEntry *FindDownloadedFontW(FontSession *pSession, int nFontId)
{
    FontEntry *pEntry = pSession->pHead;
    for (uint32_t i = 0; i < pSession->nCount && pEntry != nullptr; ++i, pEntry = pEntry->pNext) {
        if (pEntry->nFontId == nFontId)
            return pEntry;
    }
    return nullptr;
}

int AddFontEntry(FontSession *pSession)
{
    FontEntry *pLast = nullptr;
    if (pSession->nCount > 0) {
        pLast = pSession->pHead;
        for (uint32_t i = 1; i < pSession->nCount && pLast->pNext != nullptr; ++i)
            pLast = pLast->pNext;
    }
    auto *pEntry = static_cast<FontEntry *>(GlobalAlloc(GMEM_FIXED, sizeof(FontEntry)));
    if (pEntry == nullptr)
        return 0;
    pEntry->pNext = nullptr;
    // The creator fills the entry; until then its tables must read as absent
    // so that a session discarded in between releases nothing twice.
    pEntry->pbDownloaded = nullptr;
    pEntry->pnCharToGlyph = nullptr;
    pEntry->pbGlyphSent = nullptr;
    std::memset(pEntry->apCharPages, 0, sizeof(pEntry->apCharPages));
    if (pLast != nullptr)
        pLast->pNext = pEntry;
    else
        pSession->pHead = pEntry;
    pSession->pCurrent = pEntry;
    pSession->nCount += 1;
    return 1;
}

void MarkFontsForReselect(FontSession *pSession)
{
    FontEntry *pEntry = pSession->pHead;
    for (uint32_t i = 0; i < pSession->nCount && pEntry != nullptr; ++i, pEntry = pEntry->pNext)
        pEntry->bReselect = 1;
}

int32_t WriteToOutputFile(XLStream *pStream, uint32_t, const uint8_t *, int32_t)
{
    int32_t nResult = 0;
    // Between calls the stream's file is closed and forgotten: a hand-over
    // then (the final one at close) has nothing to write and nowhere to go.
    // The bytes go into the file's own buffer, in order with the cover
    // page's fragments; the call flushes once at its end and cuts the file
    // back when that fails.
    if (pStream->pOutputFile != nullptr && pStream->nFillLength > 0) {
        const size_t nWritten = fwrite(pStream->pbyBuffer, 1, static_cast<size_t>(pStream->nFillLength),
                                       pStream->pOutputFile);
        if (nWritten != static_cast<size_t>(pStream->nFillLength)) {
            // Stop the stream: nothing after a lost byte may reach the file.
            XLRecordError(pStream, XL_ERROR_WRITE_FAILED);
            nResult = -1;
        }
    }
    pStream->nFillLength = 0;
    return nResult;
}

FontSession *CreateFontSession(const char *szOutputPath)
{
    auto *pSession = static_cast<FontSession *>(GlobalAlloc(GMEM_FIXED, sizeof(FontSession)));
    if (pSession == nullptr)
        return nullptr;
    pSession->hdc = nullptr;
    std::memset(&pSession->lfSelected, 0, sizeof(pSession->lfSelected));
    pSession->pCurrent = nullptr;
    pSession->nCount = 0;
    pSession->pHead = nullptr;
    std::strncpy(pSession->szOutputPath, szOutputPath, sizeof(pSession->szOutputPath) - 1);
    pSession->szOutputPath[sizeof(pSession->szOutputPath) - 1] = '\0';
    return pSession;
}

void ReleaseFontEntry(FontEntry *pEntry)
{
    if (pEntry == nullptr)
        return;
    if (pEntry->pbDownloaded != nullptr)
        GlobalFree(pEntry->pbDownloaded);
    if (pEntry->pnCharToGlyph != nullptr)
        GlobalFree(pEntry->pnCharToGlyph);
    if (pEntry->pbGlyphSent != nullptr)
        GlobalFree(pEntry->pbGlyphSent);
    for (uint32_t *pPage : pEntry->apCharPages) {
        if (pPage != nullptr)
            GlobalFree(pPage);
    }
    GlobalFree(pEntry);
}

// Deletes the device context and the font selected into it.
static void ReleaseDeviceContext(HDC hdc)
{
    if (hdc == nullptr)
        return;
    HGDIOBJ hFont = GetCurrentObject(hdc, OBJ_FONT);
    DeleteDC(hdc);
    if (hFont != nullptr)
        DeleteObject(hFont);
}

void DiscardFontSession(FontSession *pSession)
{
    if (pSession == nullptr)
        return;
    FontEntry *pEntry = pSession->pHead;
    for (uint32_t i = 0; i < pSession->nCount && pEntry != nullptr; ++i) {
        FontEntry *pNext = pEntry->pNext;
        ReleaseFontEntry(pEntry);
        pEntry = pNext;
    }
    ReleaseDeviceContext(pSession->hdc);
    if (g_pSession == pSession)
        g_pSession = nullptr;
    GlobalFree(pSession);
}

// Replaces the session's device context, releasing the earlier one and its font.
void ReplaceSessionDeviceContext(FontSession *pSession, HDC hdc, const LOGFONTA &lf)
{
    if (pSession->hdc != hdc)
        ReleaseDeviceContext(pSession->hdc);
    pSession->hdc = hdc;
    pSession->lfSelected = lf;
}

bool SessionHasLogFont(const FontSession *pSession, const LOGFONTA &lf)
{
    // Logical fonts are zeroed before they are filled: padding and the
    // bytes past the face name compare equal too.
    return pSession != nullptr && pSession->hdc != nullptr &&
           std::memcmp(&pSession->lfSelected, &lf, sizeof(lf)) == 0;
}

// Unlinks the entry from the session's list and releases it; the entry's
// predecessor becomes the current one when the entry was.
static void UnlinkFontEntry(FontSession *pSession, FontEntry *pPrevious, FontEntry *pEntry)
{
    if (pPrevious != nullptr)
        pPrevious->pNext = pEntry->pNext;
    else
        pSession->pHead = pEntry->pNext;
    if (pSession->pCurrent == pEntry)
        pSession->pCurrent = pPrevious;
    ReleaseFontEntry(pEntry);
    pSession->nCount -= 1;
}

void DropFontEntry(FontSession *pSession, FontEntry *pDropped)
{
    FontEntry *pPrevious = nullptr;
    FontEntry *pEntry = pSession->pHead;
    for (uint32_t i = 0; i < pSession->nCount && pEntry != nullptr; ++i) {
        if (pEntry == pDropped) {
            UnlinkFontEntry(pSession, pPrevious, pEntry);
            return;
        }
        pPrevious = pEntry;
        pEntry = pEntry->pNext;
    }
}

int RemoveFontEntry(FontSession *pSession, XLStream *pStream, int nFontId)
{
    FontEntry *pPrevious = nullptr;
    FontEntry *pEntry = pSession->pHead;
    for (uint32_t i = 0; i < pSession->nCount && pEntry != nullptr; ++i) {
        if (pEntry->nFontId == nFontId)
            break;
        pPrevious = pEntry;
        pEntry = pEntry->pNext;
    }
    if (pEntry == nullptr || pEntry->nFontId != nFontId)
        return 0;
    for (const char *szName : {pEntry->szXLFontName, pEntry->szXLGlyphFontName}) {
        const size_t nNameLength = strnlen(szName, sizeof(pEntry->szXLFontName));
        if (nNameLength > 0)
            XLRemoveFont(pStream, reinterpret_cast<const uint8_t *>(szName),
                         static_cast<uint32_t>(nNameLength));
    }
    UnlinkFontEntry(pSession, pPrevious, pEntry);
    return 1;
}
