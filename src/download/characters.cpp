// SPDX-License-Identifier: MIT
// Character download: the font selection, then every character of the text
// that the printer does not hold yet, as PCL XL character data of format 1,
// class 0 carrying the glyph's TrueType outline unchanged.
#include <cstring>

#include "download/download.h"
#include "text/widestr.h"
#include "truetype/truetype.h"

namespace {

constexpr float kBoldValue = 0.01f;
constexpr float kItalicShear = 0.1583f;
constexpr uint16_t kSymbolSet = 1;
constexpr WCHAR kSpace = 0x20;
constexpr WCHAR kNoCharacter = 0xFFFF; // beyond the character table
// A code the cmap does not map still goes out with glyph 32, the glyph its
// table entry has always been read as; the page never sets it.
constexpr uint32_t kUnmappedCodeGlyph = 0x20;

bool IsDownloaded(const FontEntry *pEntry, uint16_t nCode)
{
    return (pEntry->pbDownloaded[nCode / 8] >> (nCode % 8)) & 1;
}

void MarkDownloaded(FontEntry *pEntry, uint16_t nCode)
{
    pEntry->pbDownloaded[nCode / 8] |= static_cast<uint8_t>(1u << (nCode % 8));
}

// The glyph of nCode: kept in the entry since an earlier request, else
// looked up in the face's cmap and kept. False when memory ran out.
bool GlyphOfCode(CharGlyphLookup &lookup, FontEntry *pEntry, uint16_t nCode, uint32_t *pnGlyph)
{
    uint32_t *&pPage = pEntry->apCharPages[nCode / kCharPageCodes];
    if (pPage == nullptr) {
        pPage = static_cast<uint32_t *>(GlobalAlloc(GPTR, kCharPageCodes * sizeof(uint32_t)));
        if (pPage == nullptr)
            return false;
    }
    uint32_t &nKept = pPage[nCode % kCharPageCodes];
    if (nKept == 0) {
        const uint32_t nGlyph = LookUpCharGlyph(lookup, nCode);
        if (lookup.bFailed)
            return false;
        nKept = nGlyph + 1;
    }
    *pnGlyph = nKept - 1;
    return true;
}

const uint8_t *FontNameBytes(const FontEntry *pEntry, SoftFontCoding coding)
{
    return reinterpret_cast<const uint8_t *>(SoftFontName(pEntry, coding));
}

} // namespace

CharacterGlyph DownloadCharacter(FontFace *pFace, XLStream *pStream, FontEntry *pEntry,
                                 uint16_t nCharCode, uint32_t nGlyphIndex, bool bMapped,
                                 bool *pbBlockOpen, SoftFontCoding coding)
{
    // The length stays negative when the glyph cannot be located.
    int32_t nLength = -1;
    uint8_t *pbyGlyph = nullptr;
    uint8_t *pbyStorage = nullptr;
    if (pEntry->bConvertOutlines)
        GetConvertedGlyph(pFace, &nLength, nGlyphIndex, &pbyGlyph, &pbyStorage);
    else
        pbyGlyph = const_cast<uint8_t *>(FaceGlyphBytes(*pFace, nGlyphIndex, &nLength));
    // A mapped empty glyph (a no-break space, an en space) is an advance
    // only, as the space is: nothing goes to the printer. A glyph-coded soft
    // font holds no space the printer knows by its code, so there an empty
    // glyph goes out as an empty character, and every code a Text uses is
    // defined.
    const bool bEmpty = nLength == 0;
    if (bEmpty && bMapped && coding == SoftFontCoding::kUnicode) {
        ReleaseFontTable(pbyStorage);
        return CharacterGlyph::kEmpty;
    }
    const bool bFound = nLength > 0 && nLength <= kMaxCharacterGlyphLength && pbyGlyph != nullptr;

    if (!*pbBlockOpen) {
        XLBeginChar(pStream, FontNameBytes(pEntry, coding), SoftFontNameLength(pEntry, coding));
        *pbBlockOpen = true;
    }
    // A glyph that cannot be located goes out as an empty character.
    SendGlyphAsCharacter(pStream, nCharCode, static_cast<uint16_t>(nGlyphIndex),
                         bFound ? pbyGlyph : nullptr, bFound ? nLength : 0);
    if (bFound && CheckIfCompositeGlyph(pbyGlyph))
        HandleCompositeGlyphW(pFace, pbyGlyph, nLength, nGlyphIndex, pStream);
    ReleaseFontTable(pbyStorage);
    if (bFound)
        return CharacterGlyph::kSent;
    return bEmpty && coding == SoftFontCoding::kGlyph ? CharacterGlyph::kEmpty : CharacterGlyph::kMissing;
}

void WriteFontSelection(XLStream *pStream, const FontEntry *pEntry, const FNDL_TEXTINFOW *pTextInfo,
                        SoftFontCoding coding)
{
    XLSetFont(pStream, FontNameBytes(pEntry, coding), SoftFontNameLength(pEntry, coding),
              CharacterSize(pTextInfo->FontHeight, pEntry->nResolution), kSymbolSet);
    XLSetCharBoldValue(pStream, pTextInfo->bBold == 1 ? kBoldValue : 0.0f);
    XLSetCharShear(pStream, pTextInfo->bItalic == 1 ? kItalicShear : 0.0f, 0.0f);
    XLSetCharAngle(pStream, 0);
}

int AddCharsToFontW(FontFace *pFace, FontEntry *pEntry, XLStream *pStream,
                    const FNDL_TEXTINFOW *pTextInfo, PageInfo *pPageInfo)
{
    MakeXLFontName(pEntry);
    WriteFontSelection(pStream, pEntry, pTextInfo);

    const WCHAR *szText = pTextInfo->szText;
    const int nLength = WideLength(szText);
    bool bBlockOpen = false;
    CharGlyphLookup lookup(pFace, pEntry->nGlyphs);
    for (int i = 0; i < nLength; ++i) {
        const uint16_t nCode = static_cast<uint16_t>(szText[i]);
        if (nCode == kNoCharacter) {
            pPageInfo->anGlyphIndex[i] = static_cast<int>(kNoGlyph);
            continue;
        }
        uint32_t nMapped = kNoGlyph;
        if (!GlyphOfCode(lookup, pEntry, nCode, &nMapped))
            return 0;
        pPageInfo->anGlyphIndex[i] = static_cast<int>(nMapped);
        const uint32_t nGlyph = nMapped == kNoGlyph ? kUnmappedCodeGlyph : nMapped;
        if (nGlyph >= pEntry->nGlyphs || IsDownloaded(pEntry, nCode))
            continue;
        if (nCode == kSpace) {
            MarkDownloaded(pEntry, nCode); // a space is advance only
            continue;
        }
        const CharacterGlyph glyph =
            DownloadCharacter(pFace, pStream, pEntry, nCode, nGlyph, nMapped != kNoGlyph, &bBlockOpen);
        if (glyph == CharacterGlyph::kMissing)
            pPageInfo->anGlyphIndex[i] = static_cast<int>(kNoGlyph);
        // An unmapped code's character (empty when glyph 32 is) is in the
        // printer now and its page index is kNoGlyph whatever happens: it
        // goes once per font, not once per occurrence and call.
        if (glyph != CharacterGlyph::kMissing || nMapped == kNoGlyph)
            MarkDownloaded(pEntry, nCode);
    }
    if (bBlockOpen)
        XLEndChar(pStream);
    return 1;
}
