// SPDX-License-Identifier: MIT
// The download driver: a font goes to the printer once per session (header,
// then characters as texts need them).
#include <algorithm>
#include <cstring>

#include "download/download.h"
#include "truetype/truetype.h"

namespace {

// A soft font carries TrueType outlines; a font without glyf, loca, head or
// maxp cannot send its glyphs as they stand.
bool HasTrueTypeOutlines(FontFace &face)
{
    return FaceHasTable(face, "glyf") && FaceHasTable(face, "loca") && FaceHasTable(face, "head") &&
           FaceHasTable(face, "maxp");
}

// The first bytes of the font's head table, as many as an entry keeps.
uint32_t ReadHeadIdentity(FontFace &face, uint8_t (&abyHead)[HeadTable::kSize])
{
    uint32_t dwSize = 0;
    const uint8_t *pHead = FaceTable(face, "head", &dwSize);
    dwSize = pHead ? std::min<uint32_t>(dwSize, HeadTable::kSize) : 0;
    if (dwSize > 0)
        std::memcpy(abyHead, pHead, dwSize);
    return dwSize;
}

// True when the request's font is the one the entry's soft font was made
// from: the same head table, whatever name or path the request uses.
bool IsTheEntrysFont(FontFace &face, const FontEntry &entry)
{
    uint8_t abyHead[HeadTable::kSize];
    const uint32_t dwSize = ReadHeadIdentity(face, abyHead);
    return dwSize == entry.dwHeadSize && std::memcmp(abyHead, entry.abyHead, dwSize) == 0;
}

} // namespace

int DownloadFontW(FontSession *pSession, XLStream *pStream, const FNDL_TEXTINFOW *pTextInfo,
                  PageInfo *pPageInfo)
{
    FontEntry *pEntry = FindDownloadedFontW(pSession, pPageInfo->nFontId);
    FontFace face(pSession, pPageInfo->bTTE != 0, pPageInfo->chFont);
    // Characters of another font (another face under the id, or its file
    // rewritten since) would go into the soft font by glyph indexes that
    // mean other glyphs there.
    if (pEntry != nullptr && !IsTheEntrysFont(face, *pEntry))
        return kDownloadRefused;
    if (pEntry == nullptr) {
        // Later requests of the font read its file by the path the entry
        // keeps: a path that does not fit the entry could not be opened again.
        if (pPageInfo->bTTE && strnlen(pPageInfo->chFont, sizeof(pEntry->szFaceName)) >= sizeof(pEntry->szFaceName))
            return 0;
        // A font with CFF outlines is converted; when its outlines cannot be
        // had, it fails before anything is written.
        int bConvertOutlines = 0;
        if (!HasTrueTypeOutlines(face)) {
            if (!HasConvertibleOutlines(&face))
                return 0;
            bConvertOutlines = 1;
        }
        if (!AddFontEntry(pSession))
            return 0;
        pEntry = pSession->pCurrent;
        FontEntry *pNext = pEntry->pNext;
        std::memset(pEntry, 0, sizeof(*pEntry));
        pEntry->pNext = pNext;
        pEntry->bConvertOutlines = bConvertOutlines;
        pEntry->bBold = pTextInfo->bBold;
        pEntry->bItalic = pTextInfo->bItalic;
        pEntry->bUnderline = pTextInfo->bUnderline;
        pEntry->nFontHeight = pTextInfo->FontHeight;
        pEntry->nResolution = pPageInfo->nResolution;
        pEntry->nFontId = pPageInfo->nFontId;
        pEntry->nGlyphs = GetNumberOfGlyphsInFont(&face);
        // No glyph count (maxp unreadable, or memory exhausted reading it)
        // would send a header for an empty font and no character at all.
        if (pEntry->nGlyphs == 0)
            return 0;
        pEntry->pnCharToGlyph = static_cast<uint32_t *>(
            GlobalAlloc(GMEM_FIXED, kCharTableEntries * sizeof(uint32_t)));
        if (pEntry->pnCharToGlyph == nullptr)
            return 0;
        pEntry->pbDownloaded = static_cast<uint8_t *>(GlobalAlloc(GMEM_FIXED, kDownloadedSetBytes));
        if (pEntry->pbDownloaded == nullptr)
            return 0;
        std::memset(pEntry->pbDownloaded, 0, kDownloadedSetBytes);
        std::strncpy(pEntry->szFaceName, pPageInfo->chFont, sizeof(pEntry->szFaceName) - 1);
        pEntry->dwHeadSize = ReadHeadIdentity(face, pEntry->abyHead);

        // Without a header the characters would go to a font the printer
        // does not have.
        if (bConvertOutlines ? !DownloadConvertedFontHeader(&face, pEntry, pStream)
                             : !DownloadFontHeader(&face, pEntry, pStream))
            return 0;
        if (!BuildCharToGlyphTable(&face, pEntry))
            return 0;
    }
    return AddCharsToFontW(&face, pEntry, pStream, pTextInfo, pPageInfo);
}
