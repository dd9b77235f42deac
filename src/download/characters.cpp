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

const uint8_t *FontNameBytes(const FontEntry *pEntry, SoftFontCoding coding)
{
    return reinterpret_cast<const uint8_t *>(SoftFontName(pEntry, coding));
}

// One glyph's bytes as the soft font gets them; the length stays negative
// when the glyph cannot be located. TrueType outlines are read where they
// lie (valid until the next read of the face), converted ones in a block
// of their own.
struct LocatedGlyph {
    int32_t nLength = -1;
    uint8_t *pbyGlyph = nullptr;
    uint8_t *pbyStorage = nullptr;

    LocatedGlyph() = default;
    LocatedGlyph(const LocatedGlyph &) = delete;
    LocatedGlyph &operator=(const LocatedGlyph &) = delete;
    ~LocatedGlyph() { ReleaseFontTable(pbyStorage); }

    bool Empty() const { return nLength == 0; }
    bool Found() const
    {
        return nLength > 0 && nLength <= kMaxCharacterGlyphLength && pbyGlyph != nullptr;
    }
};

void LocateGlyph(FontFace *pFace, const FontEntry *pEntry, uint32_t nGlyphIndex,
                 LocatedGlyph &glyph)
{
    if (pEntry->bConvertOutlines)
        GetConvertedGlyph(pFace, &glyph.nLength, nGlyphIndex, &glyph.pbyGlyph, &glyph.pbyStorage);
    else
        glyph.pbyGlyph = const_cast<uint8_t *>(FaceGlyphBytes(*pFace, nGlyphIndex, &glyph.nLength));
}

// A mapped empty glyph (a no-break space, an en space) is an advance only,
// as the space is: nothing goes to the printer. A glyph-coded soft font
// holds no space the printer knows by its code, so there an empty glyph
// goes out as an empty character, and every code a Text uses is defined.
CharacterGlyph OutcomeOf(const LocatedGlyph &glyph, bool bMapped, SoftFontCoding coding)
{
    if (glyph.Found())
        return CharacterGlyph::kSent;
    if (glyph.Empty() && (coding == SoftFontCoding::kGlyph || bMapped))
        return CharacterGlyph::kEmpty;
    return CharacterGlyph::kMissing;
}

// A code of the text, as the Unicode-coded soft font takes it: the glyph the
// page sets for it (kNoGlyph: none), the glyph sent for it, and whether that
// glyph still has to go to the printer.
struct CodeGlyph {
    uint32_t nMapped;
    uint32_t nGlyph;
    bool bToSend;
};

// The glyph of nCode: kept in the entry since an earlier request, else
// looked up in the face's cmap and kept. False when memory ran out.
bool KeptGlyphOfCode(CharGlyphLookup &lookup, FontEntry *pEntry, uint16_t nCode, uint32_t *pnGlyph)
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

// False when memory ran out looking the code up.
bool GlyphOfCode(CharGlyphLookup &lookup, FontEntry *pEntry, uint16_t nCode, CodeGlyph *pCode)
{
    if (nCode == kNoCharacter) {
        *pCode = {kNoGlyph, kNoGlyph, false};
        return true;
    }
    uint32_t nMapped = kNoGlyph;
    if (!KeptGlyphOfCode(lookup, pEntry, nCode, &nMapped))
        return false;
    const uint32_t nGlyph = nMapped == kNoGlyph ? kUnmappedCodeGlyph : nMapped;
    // A space is an advance only: nothing is sent for it.
    const bool bToSend = nGlyph < pEntry->nGlyphs && !IsDownloaded(pEntry, nCode) && nCode != kSpace;
    *pCode = {nMapped, nGlyph, bToSend};
    return true;
}

} // namespace

CharacterGlyph DownloadCharacter(FontFace *pFace, XLStream *pStream, FontEntry *pEntry,
                                 uint16_t nCharCode, uint32_t nGlyphIndex, bool bMapped,
                                 bool *pbBlockOpen, SoftFontCoding coding)
{
    LocatedGlyph located;
    LocateGlyph(pFace, pEntry, nGlyphIndex, located);
    const CharacterGlyph outcome = OutcomeOf(located, bMapped, coding);
    if (outcome == CharacterGlyph::kEmpty && coding == SoftFontCoding::kUnicode)
        return CharacterGlyph::kEmpty;
    const bool bFound = outcome == CharacterGlyph::kSent;

    if (!*pbBlockOpen) {
        XLBeginChar(pStream, FontNameBytes(pEntry, coding), SoftFontNameLength(pEntry, coding));
        *pbBlockOpen = true;
    }
    // A glyph that cannot be located goes out as an empty character.
    SendGlyphAsCharacter(pStream, nCharCode, static_cast<uint16_t>(nGlyphIndex),
                         bFound ? located.pbyGlyph : nullptr, bFound ? located.nLength : 0);
    if (bFound && CheckIfCompositeGlyph(located.pbyGlyph))
        HandleCompositeGlyphW(pFace, located.pbyGlyph, located.nLength, nGlyphIndex, pStream);
    return outcome;
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

Status AddCharsToFontW(FontFace *pFace, FontEntry *pEntry, XLStream *pStream,
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
        CodeGlyph code{};
        if (!GlyphOfCode(lookup, pEntry, nCode, &code))
            return Status::kNoMemory;
        pPageInfo->anGlyphIndex[i] = static_cast<int>(code.nMapped);
        if (!code.bToSend) {
            if (nCode == kSpace && code.nGlyph < pEntry->nGlyphs)
                MarkDownloaded(pEntry, nCode);
            continue;
        }
        const CharacterGlyph glyph = DownloadCharacter(pFace, pStream, pEntry, nCode, code.nGlyph,
                                                       code.nMapped != kNoGlyph, &bBlockOpen);
        if (glyph == CharacterGlyph::kMissing)
            pPageInfo->anGlyphIndex[i] = static_cast<int>(kNoGlyph);
        // An unmapped code's character (empty when glyph 32 is) is in the
        // printer now and its page index is kNoGlyph whatever happens: it
        // goes once per font, not once per occurrence and call.
        if (glyph != CharacterGlyph::kMissing || code.nMapped == kNoGlyph)
            MarkDownloaded(pEntry, nCode);
    }
    if (bBlockOpen)
        XLEndChar(pStream);
    return Status::kOk;
}

Status FindCharacterGlyphsW(FontFace *pFace, FontEntry *pEntry, const FNDL_TEXTINFOW *pTextInfo,
                            PageInfo *pPageInfo)
{
    const WCHAR *szText = pTextInfo->szText;
    const int nLength = WideLength(szText);
    CharGlyphLookup lookup(pFace, pEntry->nGlyphs);
    for (int i = 0; i < nLength; ++i) {
        CodeGlyph code{};
        if (!GlyphOfCode(lookup, pEntry, static_cast<uint16_t>(szText[i]), &code))
            return Status::kNoMemory;
        pPageInfo->anGlyphIndex[i] = static_cast<int>(code.nMapped);
        if (!code.bToSend || code.nMapped == kNoGlyph)
            continue;
        LocatedGlyph located;
        LocateGlyph(pFace, pEntry, code.nGlyph, located);
        if (OutcomeOf(located, true, SoftFontCoding::kUnicode) == CharacterGlyph::kMissing)
            pPageInfo->anGlyphIndex[i] = static_cast<int>(kNoGlyph);
    }
    return Status::kOk;
}
