// SPDX-License-Identifier: MIT
// Glyph location through head, loca and glyf, and the components of
// composite glyphs, sent as characters of their own.
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "truetype/bereader.h"
#include "truetype/fontdata.h"
#include "truetype/tables.h"
#include "truetype/truetype.h"

namespace {

// Where glyph i lies in a glyf table of dwGlyfSize bytes: start and end
// from loca in the form head declares. False when it cannot be located: an
// index at or above maxp.numGlyphs, a loca entry outside loca, an offset
// outside glyf, or a glyph too long for a character record.
bool FindGlyphRange(const FaceGlyphTables &tables, uint32_t i, uint32_t &dwStart, uint32_t &dwEnd)
{
    int16_t nIndexToLocFormat = 0;
    uint16_t nGlyphs = 0;
    if (!tables.head.I16(HeadTable::kIndexToLocFormat, nIndexToLocFormat) ||
        !tables.maxp.U16(MaxpTable::kNumGlyphs, nGlyphs) ||
        i >= nGlyphs)
        return false;

    if (nIndexToLocFormat == 0) {
        uint16_t wStart = 0;
        uint16_t wEnd = 0;
        if (!tables.loca.U16(2 * size_t{i}, wStart) || !tables.loca.U16(2 * size_t{i} + 2, wEnd))
            return false;
        dwStart = 2u * wStart;
        dwEnd = 2u * wEnd;
    } else if (!tables.loca.U32(4 * size_t{i}, dwStart) || !tables.loca.U32(4 * size_t{i} + 4, dwEnd)) {
        return false;
    }
    if (dwStart > tables.dwGlyfSize || dwEnd > tables.dwGlyfSize)
        return false;
    return int64_t{dwEnd} - int64_t{dwStart} <= kMaxCharacterGlyphLength;
}

// A glyph's bytes read through the device context into a block of their
// own. An empty glyph still gets a block (never read), as a pointer into a
// font file it would have.
uint8_t *ReadGlyphThroughDC(FontFace &face, uint32_t dwStart, int32_t nLength)
{
    auto *pGlyph = static_cast<uint8_t *>(GlobalAlloc(GMEM_FIXED, nLength > 0 ? nLength : 1));
    if (!pGlyph) {
        FaceFail(face, Status::kNoMemory);
        return nullptr;
    }
    if (nLength > 0 && GetFontData(face.pSession->hdc, FontTableTag("glyf"), dwStart, pGlyph,
                                   static_cast<DWORD>(nLength)) != static_cast<DWORD>(nLength)) {
        GlobalFree(pGlyph);
        return nullptr;
    }
    return pGlyph;
}

// A component record's size follows from its flags.
size_t ComponentRecordSize(uint16_t wFlags)
{
    using namespace GlyphComponent;
    size_t nSize = kArguments + ((wFlags & kArg1And2AreWords) ? 4 : 2);
    if (wFlags & kWeHaveAScale)
        nSize += 2;
    else if (wFlags & kWeHaveAnXAndYScale)
        nSize += 4;
    else if (wFlags & kWeHaveATwoByTwo)
        nSize += 8;
    return nSize;
}

// Glyph indices sent within one composite walk.
struct SentGlyphSet {
    std::array<uint64_t, 0x10000 / 64> aBits{};
    bool Contains(uint16_t wGlyph) const { return (aBits[wGlyph >> 6] >> (wGlyph & 63)) & 1u; }
    void Add(uint16_t wGlyph) { aBits[wGlyph >> 6] |= uint64_t{1} << (wGlyph & 63); }
};

struct CompositeWalk {
    FontFace *pFace;
    XLStream *pStream;
    SentGlyphSet sent;
};

int SendComponents(CompositeWalk &walk, const BEReader &composite, int nDepth);

// Locates one component, sends it, and walks its own components when it is
// composite. 0 when it cannot be located or sent.
int SendComponent(CompositeWalk &walk, uint16_t wGlyphIndex, int nDepth)
{
    int32_t nLength = 0;
    uint8_t *pGlyph = nullptr;
    uint8_t *pStorage = nullptr;
    GetTTEFilePointer(walk.pFace, &nLength, wGlyphIndex, &pGlyph, &pStorage);
    int nResult = 0;
    if (nLength > 0 && pGlyph &&
        SendGlyphAsCharacter(walk.pStream, 0xFFFF, wGlyphIndex, pGlyph, nLength)) {
        walk.sent.Add(wGlyphIndex);
        nResult = 1;
        if (CheckIfCompositeGlyph(pGlyph) && nDepth < kMaxCompositeDepth)
            nResult = SendComponents(walk, BEReader(pGlyph, static_cast<size_t>(nLength)),
                                     nDepth + 1);
    }
    ReleaseFontTable(pStorage);
    return nResult;
}

// Walks the component records of a composite at depth nDepth (1 for the
// glyph the caller sent), bounded by the composite's own data.
int SendComponents(CompositeWalk &walk, const BEReader &composite, int nDepth)
{
    size_t nPosition = GlyphHeader::kSize;
    for (;;) {
        uint16_t wFlags = 0;
        uint16_t wGlyphIndex = 0;
        if (!composite.U16(nPosition + GlyphComponent::kFlags, wFlags) ||
            !composite.U16(nPosition + GlyphComponent::kGlyphIndex, wGlyphIndex))
            return 0;
        const size_t nRecordSize = ComponentRecordSize(wFlags);
        if (!composite.Contains(nPosition, nRecordSize))
            return 0;
        nPosition += nRecordSize;
        if (!walk.sent.Contains(wGlyphIndex) && !SendComponent(walk, wGlyphIndex, nDepth))
            return 0;
        if (!(wFlags & GlyphComponent::kMoreComponents))
            return 1;
    }
}

} // namespace

namespace {

enum class GlyphPlace { kNotLocated, kNoBytes, kBytes };

// Where glyph nGlyphIndex lies, as GetTTEFilePointer describes: *pnLength
// is written unless it cannot be located; only kBytes has bytes to read.
GlyphPlace LocateGlyph(FontFace *pFace, int32_t *pnLength, uint32_t nGlyphIndex, uint32_t &dwStart,
                       const FaceGlyphTables *&pTables)
{
    pTables = FaceGlyphs(*pFace);
    uint32_t dwEnd = 0;
    if (!pTables || !FindGlyphRange(*pTables, nGlyphIndex & 0xFFFF, dwStart, dwEnd))
        return GlyphPlace::kNotLocated;
    // A corrupt loca whose end precedes its start gives a negative length
    // and no pointer; so does an empty glyph at offset 0 of an empty glyf.
    *pnLength = static_cast<int32_t>(int64_t{dwEnd} - int64_t{dwStart});
    return dwEnd == 0 || dwEnd < dwStart ? GlyphPlace::kNoBytes : GlyphPlace::kBytes;
}

} // namespace

void GetTTEFilePointer(FontFace *pFace, int32_t *pnLength, uint32_t nGlyphIndex, uint8_t **ppGlyph,
                       uint8_t **ppStorage)
{
    if (!pFace || !pnLength || !ppGlyph || !ppStorage)
        return;
    if (pFace->bInstanceGlyphs) {
        // A block of its own, as a glyph read through the device context.
        int32_t nLength = -1;
        const uint8_t *pInstanceGlyph = FaceInstanceGlyph(*pFace, nGlyphIndex, &nLength);
        if (nLength == 0)
            *pnLength = 0;
        if (pInstanceGlyph == nullptr || nLength <= 0)
            return;
        auto *pCopy = static_cast<uint8_t *>(GlobalAlloc(GMEM_FIXED, static_cast<size_t>(nLength)));
        if (pCopy == nullptr) {
            FaceFail(*pFace, Status::kNoMemory);
            return;
        }
        std::memcpy(pCopy, pInstanceGlyph, static_cast<size_t>(nLength));
        *ppStorage = pCopy;
        *ppGlyph = pCopy;
        *pnLength = nLength;
        return;
    }
    int32_t nLength = 0;
    uint32_t dwStart = 0;
    const FaceGlyphTables *pTables = nullptr;
    const GlyphPlace place = LocateGlyph(pFace, &nLength, nGlyphIndex, dwStart, pTables);
    if (place != GlyphPlace::kBytes) {
        if (place == GlyphPlace::kNoBytes)
            *pnLength = nLength;
        return;
    }
    if (pFace->bFromFile) {
        *pnLength = nLength;
        *ppGlyph = const_cast<uint8_t *>(pTables->glyf.Data()) + dwStart;
        return;
    }
    uint8_t *pGlyph = ReadGlyphThroughDC(*pFace, dwStart, nLength);
    if (!pGlyph)
        return;
    *ppStorage = pGlyph;
    *pnLength = nLength;
    *ppGlyph = pGlyph;
}

const uint8_t *FaceGlyphBytes(FontFace &face, uint32_t nGlyphIndex, int32_t *pnLength)
{
    if (face.bInstanceGlyphs)
        return FaceInstanceGlyph(face, nGlyphIndex, pnLength);
    int32_t nLength = 0;
    uint32_t dwStart = 0;
    const FaceGlyphTables *pTables = nullptr;
    const GlyphPlace place = LocateGlyph(&face, &nLength, nGlyphIndex, dwStart, pTables);
    if (place != GlyphPlace::kBytes) {
        if (place == GlyphPlace::kNoBytes)
            *pnLength = nLength;
        return nullptr;
    }
    if (face.bFromFile) {
        *pnLength = nLength;
        return pTables->glyf.Data() + dwStart;
    }
    // Where the system lends glyf in place the glyph is read there, as
    // GetFontData would copy it: whole or not at all.
    DWORD dwGlyfSize = 0;
    const uint8_t *pGlyf = FontTableInPlace(face.pSession->hdc, FontTableTag("glyf"), &dwGlyfSize);
    if (pGlyf != nullptr) {
        if (nLength == 0) {
            *pnLength = 0;
            return pGlyf; // nothing to read, as GetFontData reads nothing
        }
        if (!BEReader(pGlyf, dwGlyfSize).Contains(dwStart, static_cast<uint32_t>(nLength)))
            return nullptr;
        *pnLength = nLength;
        return pGlyf + dwStart;
    }
    const uint32_t dwNeeded = nLength > 0 ? static_cast<uint32_t>(nLength) : 1;
    if (face.dwGlyphBufferSize < dwNeeded) {
        // Grown to the longest glyph so far, at least a few kilobytes.
        const uint32_t dwSize = std::max<uint32_t>(dwNeeded, 4096);
        auto *pBuffer = static_cast<uint8_t *>(GlobalAlloc(GMEM_FIXED, dwSize));
        if (!pBuffer) {
            FaceFail(face, Status::kNoMemory);
            return nullptr;
        }
        if (face.pGlyphBuffer != nullptr)
            GlobalFree(face.pGlyphBuffer);
        face.pGlyphBuffer = pBuffer;
        face.dwGlyphBufferSize = dwSize;
    }
    if (nLength > 0 && GetFontData(face.pSession->hdc, FontTableTag("glyf"), dwStart, face.pGlyphBuffer,
                                   static_cast<DWORD>(nLength)) != static_cast<DWORD>(nLength))
        return nullptr;
    *pnLength = nLength;
    return face.pGlyphBuffer;
}

int CheckIfCompositeGlyph(const uint8_t *pGlyph)
{
    return pGlyph && (pGlyph[0] & 0x80) ? 1 : 0;
}

int SendGlyphAsCharacter(XLStream *pStream, uint16_t nCharCode, uint16_t nGlyphIndex,
                         const uint8_t *pGlyph, int32_t nGlyphLength)
{
    if (nGlyphLength < 0 || nGlyphLength > kMaxCharacterGlyphLength ||
        (nGlyphLength > 0 && !pGlyph))
        return 0;
    // The record's header, then the glyph's bytes from where they lie.
    const uint32_t dwRecordLength = static_cast<uint32_t>(nGlyphLength) + 6;
    const uint32_t dwSizeField = static_cast<uint32_t>(nGlyphLength) + 4;
    uint8_t abyHeader[6];
    abyHeader[0] = 1; // format
    abyHeader[1] = 0; // class
    PutBE16(abyHeader + 2, static_cast<uint16_t>(dwSizeField));
    PutBE16(abyHeader + 4, nGlyphIndex);
    XLReadChar(pStream, nCharCode, dwRecordLength);
    XLWriteEmbeddedDataParts(pStream, abyHeader, sizeof abyHeader, pGlyph,
                             static_cast<uint32_t>(nGlyphLength));
    return 1;
}

int HandleCompositeGlyphW(FontFace *pFace, const uint8_t *pGlyph, int32_t nGlyphLength,
                          uint32_t nGlyphIndex, XLStream *pStream)
{
    if (!pGlyph || nGlyphLength <= 0)
        return 0;
    // One 8 KiB set per walk, shared by reference down the recursion.
    CompositeWalk walk{pFace, pStream, {}};
    walk.sent.Add(static_cast<uint16_t>(nGlyphIndex & 0xFFFF));
    return SendComponents(walk, BEReader(pGlyph, static_cast<size_t>(nGlyphLength)), 1);
}
