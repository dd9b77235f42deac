// SPDX-License-Identifier: MIT
// The download driver: a font goes to the printer once per session (header,
// then characters as texts need them).
#include <algorithm>
#include <cstring>
#include <memory>

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
// from: the same head table, whatever name or path the request uses, and
// for a variable font the same instance.
bool IsTheEntrysFont(FontFace &face, const FontEntry &entry)
{
    uint8_t abyHead[HeadTable::kSize];
    const uint32_t dwSize = ReadHeadIdentity(face, abyHead);
    if (dwSize != entry.dwHeadSize || std::memcmp(abyHead, entry.abyHead, dwSize) != 0)
        return false;
    char szStyle[kInstanceStyleBytes];
    VariableFaceStyle(face, szStyle);
    return std::strcmp(szStyle, entry.szInstanceStyle) == 0;
}

// The header of the entry's soft font in the coding; a font with CFF
// outlines goes out converted.
bool SendSoftFontHeader(FontFace &face, FontEntry *pEntry, XLStream *pStream, SoftFontCoding coding)
{
    const Status sent = pEntry->bConvertOutlines ? DownloadConvertedFontHeader(&face, pEntry, pStream, coding)
                                                 : DownloadFontHeader(&face, pEntry, pStream, coding);
    return sent == Status::kOk;
}

bool IsGlyphSent(const FontEntry *pEntry, uint16_t nGlyph)
{
    return (pEntry->pbGlyphSent[nGlyph / 8] >> (nGlyph % 8)) & 1;
}

void MarkGlyphSent(FontEntry *pEntry, uint16_t nGlyph)
{
    pEntry->pbGlyphSent[nGlyph / 8] |= static_cast<uint8_t>(1u << (nGlyph % 8));
}

// True when the font id names a font downloaded before and the request's
// font is another (another face under the id, or its file rewritten since):
// its characters would go into the soft font by glyph indexes that mean
// other glyphs there.
bool IsAnotherFontUnderTheId(FontSession *pSession, FontFace &face, int nFontId)
{
    const FontEntry *pKnown = FindDownloadedFontW(pSession, nFontId);
    return pKnown != nullptr && !IsTheEntrysFont(face, *pKnown);
}

// The request's entry, known or new (*pbNew), or nullptr when the id names
// another font or the font cannot be read: nothing is written either way.
FontEntry *EntryOfRequest(FontSession *pSession, FontFace &face, const FNDL_TEXTINFOW *pTextInfo,
                          const PageInfo *pPageInfo, bool *pbNew)
{
    *pbNew = FindDownloadedFontW(pSession, pPageInfo->nFontId) == nullptr;
    if (IsAnotherFontUnderTheId(pSession, face, pPageInfo->nFontId))
        return nullptr;
    return FindOrAddDownloadedFont(pSession, face, pTextInfo, pPageInfo);
}

// Refuses a request before anything of it is written: an entry the call
// added goes again, so that the session is the one the call found.
Status RefuseRequest(FontSession *pSession, FontEntry *pEntry, bool bNew)
{
    if (bNew && pEntry != nullptr)
        DropFontEntry(pSession, pEntry);
    return Status::kRefused;
}

// The request's outcome with what its face met on the way: a refusal stays
// one (naming a font file that cannot be mapped, which is always found
// before the first byte), and a read that failed through no fault of the
// font fails a request that would have gone on.
Status WithFaceStatus(const FontFace &face, Status outcome)
{
    if (IsRefusal(outcome))
        return face.status == Status::kFontFile ? Status::kFontFile : outcome;
    if (face.status != Status::kOk && !IsFailure(outcome))
        return face.status == Status::kNoMemory ? Status::kNoMemory : Status::kFailed;
    return outcome;
}

// Whether the request's font can become a soft font at all, before any
// entry is made for it; *pbConvertOutlines: its CFF outlines are converted.
bool CanBecomeSoftFont(FontFace &face, const PageInfo *pPageInfo, int *pbConvertOutlines)
{
    // Later requests of the font read its file by the path the entry
    // keeps: a path that does not fit the entry could not be opened again.
    if (pPageInfo->bTTE &&
        strnlen(pPageInfo->chFont, sizeof(FontEntry::szFaceName)) >= sizeof(FontEntry::szFaceName))
        return false;
    // A font with CFF outlines is converted, and so is a variable font's
    // instance other than the default (its glyf holds the default's
    // outlines); when its outlines cannot be had, it fails before anything
    // is written.
    *pbConvertOutlines = 0;
    const bool bTrueType = HasTrueTypeOutlines(face);
    const bool bInstance = bTrueType && IsVariableInstance(face);
    if (bInstance || !bTrueType) {
        if (!HasConvertibleOutlines(&face, bInstance))
            return false;
        *pbConvertOutlines = 1;
    }
    return true;
}

// Fills a zeroed entry for the request's font: its identity, glyph count
// and character table. False when the font gives no glyph count or
// character table, or memory is exhausted (the tables made so far are the
// entry's to release).
bool FillFontEntry(FontFace &face, FontEntry *pEntry, int bConvertOutlines,
                   const FNDL_TEXTINFOW *pTextInfo, const PageInfo *pPageInfo)
{
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
        return false;
    pEntry->pbDownloaded = static_cast<uint8_t *>(GlobalAlloc(GMEM_FIXED, kDownloadedSetBytes));
    if (pEntry->pbDownloaded == nullptr)
        return false;
    std::memset(pEntry->pbDownloaded, 0, kDownloadedSetBytes);
    std::strncpy(pEntry->szFaceName, pPageInfo->chFont, sizeof(pEntry->szFaceName) - 1);
    pEntry->dwHeadSize = ReadHeadIdentity(face, pEntry->abyHead);
    VariableFaceStyle(face, pEntry->szInstanceStyle);
    // Codes are looked up in cmap as texts bring them: a font without one
    // has nothing to look them up in.
    return FaceHasCharMap(face);
}

} // namespace

FontEntry *FindOrAddDownloadedFont(FontSession *pSession, FontFace &face,
                                   const FNDL_TEXTINFOW *pTextInfo, const PageInfo *pPageInfo)
{
    FontEntry *pEntry = FindDownloadedFontW(pSession, pPageInfo->nFontId);
    if (pEntry != nullptr)
        return pEntry;
    int bConvertOutlines = 0;
    if (!CanBecomeSoftFont(face, pPageInfo, &bConvertOutlines) || !AddFontEntry(pSession))
        return nullptr;
    pEntry = pSession->pCurrent;
    FontEntry *pNext = pEntry->pNext;
    std::memset(pEntry, 0, sizeof(*pEntry));
    pEntry->pNext = pNext;
    // An entry the font cannot fill goes again: nothing of it was sent, and
    // the session goes on as the call found it.
    if (!FillFontEntry(face, pEntry, bConvertOutlines, pTextInfo, pPageInfo)) {
        DropFontEntry(pSession, pEntry);
        return nullptr;
    }
    return pEntry;
}

namespace {

Status FindGlyphIndexesIn(FontFace &face, FontSession *pSession, const FNDL_TEXTINFOW *pTextInfo,
                          PageInfo *pPageInfo)
{
    FontEntry *pKnown =
        pSession != nullptr ? FindDownloadedFontW(pSession, pPageInfo->nFontId) : nullptr;
    if (pKnown != nullptr) {
        if (!IsTheEntrysFont(face, *pKnown))
            return Status::kRefused;
        return FindCharacterGlyphsW(&face, pKnown, pTextInfo, pPageInfo);
    }
    // An entry of its own, never linked into the session: the character
    // table is the one a download would build.
    int bConvertOutlines = 0;
    if (!CanBecomeSoftFont(face, pPageInfo, &bConvertOutlines))
        return Status::kFailed;
    auto *pEntry = static_cast<FontEntry *>(GlobalAlloc(GMEM_FIXED, sizeof(FontEntry)));
    if (pEntry == nullptr)
        return Status::kNoMemory;
    std::memset(pEntry, 0, sizeof(*pEntry));
    const std::unique_ptr<FontEntry, decltype(&ReleaseFontEntry)> entry(pEntry, ReleaseFontEntry);
    if (!FillFontEntry(face, pEntry, bConvertOutlines, pTextInfo, pPageInfo))
        return Status::kFailed;
    return FindCharacterGlyphsW(&face, pEntry, pTextInfo, pPageInfo);
}

Status DownloadFontIn(FontFace &face, FontSession *pSession, XLStream *pStream,
                      const FNDL_TEXTINFOW *pTextInfo, PageInfo *pPageInfo)
{

    bool bNew = false;
    FontEntry *pEntry = EntryOfRequest(pSession, face, pTextInfo, pPageInfo, &bNew);
    if (pEntry == nullptr)
        return Status::kRefused;
    // Without a header the characters would go to a font the printer does
    // not have. (The id may have sent only glyph-coded characters so far.)
    // A header the font cannot give fails before its first byte.
    if (pEntry->szXLFontName[0] == '\0' &&
        !SendSoftFontHeader(face, pEntry, pStream, SoftFontCoding::kUnicode))
        return RefuseRequest(pSession, pEntry, bNew);
    return AddCharsToFontW(&face, pEntry, pStream, pTextInfo, pPageInfo);
}

Status DownloadGlyphRunIn(FontFace &face, FontSession *pSession, XLStream *pStream,
                          const FNDL_TEXTINFOW *pTextInfo, PageInfo *pPageInfo,
                          const FNDL_GLYPH *pGlyphs, int nGlyphs, int *pnMissing)
{
    bool bNew = false;
    FontEntry *pEntry = EntryOfRequest(pSession, face, pTextInfo, pPageInfo, &bNew);
    if (pEntry == nullptr)
        return Status::kRefused;
    // A glyph the font does not have is the caller's error: the run is
    // refused before any of it reaches the printer.
    for (int i = 0; i < nGlyphs; ++i) {
        if (pGlyphs[i].nGlyph < 0 || static_cast<uint32_t>(pGlyphs[i].nGlyph) >= pEntry->nGlyphs)
            return RefuseRequest(pSession, pEntry, bNew);
    }
    if (pEntry->pbGlyphSent == nullptr) {
        pEntry->pbGlyphSent = static_cast<uint8_t *>(GlobalAlloc(GMEM_FIXED, kGlyphSentSetBytes));
        if (pEntry->pbGlyphSent == nullptr)
            return RefuseRequest(pSession, pEntry, bNew);
        std::memset(pEntry->pbGlyphSent, 0, kGlyphSentSetBytes);
    }
    if (pEntry->szXLGlyphFontName[0] == '\0' &&
        !SendSoftFontHeader(face, pEntry, pStream, SoftFontCoding::kGlyph))
        return RefuseRequest(pSession, pEntry, bNew);

    // The glyph index is the character code: glyph indexes stop below
    // 0xFFFF, the code composite components go out under.
    bool bBlockOpen = false;
    for (int i = 0; i < nGlyphs; ++i) {
        const auto nGlyph = static_cast<uint16_t>(pGlyphs[i].nGlyph);
        if (IsGlyphSent(pEntry, nGlyph))
            continue;
        const CharacterGlyph glyph = DownloadCharacter(&face, pStream, pEntry, nGlyph, nGlyph, true,
                                                       &bBlockOpen, SoftFontCoding::kGlyph);
        if (glyph != CharacterGlyph::kMissing)
            MarkGlyphSent(pEntry, nGlyph);
        else if (*pnMissing < 0)
            *pnMissing = i;
    }
    if (bBlockOpen)
        XLEndChar(pStream);
    WriteFontSelection(pStream, pEntry, pTextInfo, SoftFontCoding::kGlyph);
    return Status::kOk;
}

} // namespace

Status FindGlyphIndexesW(FontSession *pSession, FontSession *pReader, const FNDL_TEXTINFOW *pTextInfo,
                         PageInfo *pPageInfo)
{
    FontFace face(pReader, pPageInfo->bTTE != 0, pPageInfo->chFont);
    return WithFaceStatus(face, FindGlyphIndexesIn(face, pSession, pTextInfo, pPageInfo));
}

Status DownloadFontW(FontSession *pSession, XLStream *pStream, const FNDL_TEXTINFOW *pTextInfo,
                     PageInfo *pPageInfo)
{
    FontFace face(pSession, pPageInfo->bTTE != 0, pPageInfo->chFont);
    return WithFaceStatus(face, DownloadFontIn(face, pSession, pStream, pTextInfo, pPageInfo));
}

Status DownloadGlyphRunW(FontSession *pSession, XLStream *pStream, const FNDL_TEXTINFOW *pTextInfo,
                         PageInfo *pPageInfo, const FNDL_GLYPH *pGlyphs, int nGlyphs, int *pnMissing)
{
    *pnMissing = -1;
    FontFace face(pSession, pPageInfo->bTTE != 0, pPageInfo->chFont);
    return WithFaceStatus(face, DownloadGlyphRunIn(face, pSession, pStream, pTextInfo, pPageInfo,
                                                   pGlyphs, nGlyphs, pnMissing));
}
