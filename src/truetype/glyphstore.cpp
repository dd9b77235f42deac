// SPDX-License-Identifier: MIT
// The process's converted and varied glyphs, per face in pages of 256
// glyphs made as they are filled. Calls into the library are serialized,
// so the store needs no lock of its own.
#include "truetype/glyphstore.h"

#include <windows.h>

#include <cstring>
#include <new>

#include "truetype/bereader.h"
#include "truetype/fontface.h"
#include "truetype/instance.h"
#include "truetype/tables.h"
#include "truetype/truetype.h"

namespace {

constexpr uint32_t kPageGlyphs = 256;
constexpr uint32_t kMaxGlyphs = 65536;
constexpr uint32_t kKeyAxes = HeadTable::kSize + 4;
constexpr uint32_t kKeySize = kKeyAxes + 2 + 2 * kMaxVariationAxes;

struct KeptGlyph {
    uint8_t *pbyGlyph; // global heap; null for no contours
    uint32_t dwLength;
    bool bKept;
};

struct StoredFace {
    uint8_t abyKey[kKeySize]; // head, units per em, glyph count, axes and coordinates
    int nId;
    uint32_t nGlyphs;
    bool bChecksums;
    uint32_t adwTableSize[kKeptChecksums];
    uint32_t adwChecksum[kKeptChecksums];
    uint8_t *pbyHeader; // an instance's GT segment (global heap)
    uint32_t dwHeaderSize;
    uint32_t nHeaderGlyphs;
    KeptGlyph *apPages[kMaxGlyphs / kPageGlyphs];
    size_t cbBytes;
    unsigned long lastUse;
    StoredFace *next;
};

StoredFace *g_faces = nullptr;
size_t g_cbKept = 0;
int g_nLastId = 0;
unsigned long g_clock = 0;

void FreeFace(StoredFace *pFace)
{
    for (KeptGlyph *pPage : pFace->apPages) {
        if (!pPage)
            continue;
        for (uint32_t k = 0; k < kPageGlyphs; ++k)
            if (pPage[k].pbyGlyph)
                GlobalFree(pPage[k].pbyGlyph);
        delete[] pPage;
    }
    if (pFace->pbyHeader)
        GlobalFree(pFace->pbyHeader);
    g_cbKept -= pFace->cbBytes;
    delete pFace;
}

// The store's key of the face: its head table, units per em, glyph count
// and, for a variable font, the normalized coordinates of the instance the
// library makes (the head does not tell instances apart). False for a face
// whose glyphs are not kept: a variable font whose instance is converted
// from the renderer's outlines (those glyphs differ from the varied ones).
bool FaceKey(FontFace &face, uint8_t (&abyKey)[kKeySize])
{
    VariationCoordinates coordinates{};
    if (FaceHasTable(face, "fvar") && (!face.bInstanceGlyphs || !FaceInstanceCoordinates(face, coordinates)))
        return false;
    uint32_t dwHeadSize = 0, dwMaxpSize = 0;
    const uint8_t *pbyHead = FaceTable(face, "head", &dwHeadSize);
    const uint8_t *pbyMaxp = FaceTable(face, "maxp", &dwMaxpSize, TableRecord::kFirst);
    uint16_t nGlyphs = 0;
    if (!pbyHead || dwHeadSize < HeadTable::kSize || !pbyMaxp ||
        !BEReader(pbyMaxp, dwMaxpSize).U16(MaxpTable::kNumGlyphs, nGlyphs))
        return false;
    std::memset(abyKey, 0, kKeySize);
    std::memcpy(abyKey, pbyHead, HeadTable::kSize);
    PutBE16(abyKey + HeadTable::kSize, face.outline.nUnitsPerEm);
    PutBE16(abyKey + HeadTable::kSize + 2, nGlyphs);
    PutBE16(abyKey + kKeyAxes, coordinates.nAxes);
    for (uint16_t a = 0; a < coordinates.nAxes && a < kMaxVariationAxes; ++a)
        PutBE16(abyKey + kKeyAxes + 2 + 2 * a, static_cast<uint16_t>(coordinates.anNormalized[a]));
    return true;
}

StoredFace *FaceById(int nId)
{
    for (StoredFace *p = g_faces; p; p = p->next)
        if (p->nId == nId)
            return p;
    return nullptr;
}

// The face's record: found by the id the face remembers, else by its key;
// made when bMake. Null when the face is not kept.
StoredFace *FaceRecord(FontFace &face, bool bMake)
{
    int &nId = face.outline.nStoreId;
    if (nId < 0)
        return nullptr;
    if (nId > 0)
        if (StoredFace *p = FaceById(nId))
            return p;
    uint8_t abyKey[kKeySize];
    if (!FaceKey(face, abyKey)) {
        nId = -1;
        return nullptr;
    }
    for (StoredFace *p = g_faces; p; p = p->next)
        if (std::memcmp(p->abyKey, abyKey, kKeySize) == 0) {
            nId = p->nId;
            return p;
        }
    if (!bMake)
        return nullptr;
    auto *p = new (std::nothrow) StoredFace{};
    if (!p)
        return nullptr;
    std::memcpy(p->abyKey, abyKey, kKeySize);
    p->nId = ++g_nLastId;
    p->nGlyphs = static_cast<uint32_t>(abyKey[HeadTable::kSize + 2]) << 8 | abyKey[HeadTable::kSize + 3];
    p->next = g_faces;
    g_faces = p;
    nId = p->nId;
    return p;
}

// Drops the faces used longest ago, other than pKeep, until cbMore more
// bytes fit; false when they do not.
bool MakeRoom(const StoredFace *pKeep, size_t cbMore)
{
    while (g_cbKept + cbMore > kMaxKeptConvertedBytes) {
        StoredFace **ppOldest = nullptr;
        for (StoredFace **pp = &g_faces; *pp; pp = &(*pp)->next)
            if (*pp != pKeep && (!ppOldest || (*pp)->lastUse < (*ppOldest)->lastUse))
                ppOldest = pp;
        if (!ppOldest)
            return false;
        StoredFace *pOldest = *ppOldest;
        *ppOldest = pOldest->next;
        FreeFace(pOldest);
    }
    return true;
}

} // namespace

bool FindKeptGlyph(FontFace &face, uint32_t nGlyph, const uint8_t **ppbyGlyph, uint32_t *pdwLength)
{
    StoredFace *p = FaceRecord(face, false);
    if (!p || nGlyph >= p->nGlyphs)
        return false;
    const KeptGlyph *pPage = p->apPages[nGlyph / kPageGlyphs];
    if (!pPage || !pPage[nGlyph % kPageGlyphs].bKept)
        return false;
    p->lastUse = ++g_clock;
    *ppbyGlyph = pPage[nGlyph % kPageGlyphs].pbyGlyph;
    *pdwLength = pPage[nGlyph % kPageGlyphs].dwLength;
    return true;
}

bool KeepGlyph(FontFace &face, uint32_t nGlyph, uint8_t *pbyGlyph, uint32_t dwLength)
{
    StoredFace *p = FaceRecord(face, true);
    if (!p || nGlyph >= p->nGlyphs)
        return false;
    p->lastUse = ++g_clock;
    KeptGlyph *&pPage = p->apPages[nGlyph / kPageGlyphs];
    const size_t cbPage = pPage ? 0 : sizeof(KeptGlyph) * kPageGlyphs;
    if (!MakeRoom(p, cbPage + dwLength))
        return false;
    if (!pPage) {
        pPage = new (std::nothrow) KeptGlyph[kPageGlyphs]{};
        if (!pPage)
            return false;
    }
    KeptGlyph &kept = pPage[nGlyph % kPageGlyphs];
    if (kept.bKept)
        return false;
    kept = {pbyGlyph, dwLength, true};
    p->cbBytes += cbPage + dwLength;
    g_cbKept += cbPage + dwLength;
    return true;
}

bool FindKeptChecksums(FontFace &face, const uint32_t (&adwSize)[kKeptChecksums],
                       uint32_t (&adwChecksum)[kKeptChecksums])
{
    const StoredFace *p = FaceRecord(face, false);
    if (!p || !p->bChecksums || std::memcmp(p->adwTableSize, adwSize, sizeof adwSize) != 0)
        return false;
    std::memcpy(adwChecksum, p->adwChecksum, sizeof adwChecksum);
    return true;
}

void KeepChecksums(FontFace &face, const uint32_t (&adwSize)[kKeptChecksums],
                   const uint32_t (&adwChecksum)[kKeptChecksums])
{
    StoredFace *p = FaceRecord(face, true);
    if (!p)
        return;
    std::memcpy(p->adwTableSize, adwSize, sizeof adwSize);
    std::memcpy(p->adwChecksum, adwChecksum, sizeof adwChecksum);
    p->bChecksums = true;
}

bool FindKeptHeader(FontFace &face, uint32_t nGlyphs, const uint8_t **ppbySegment, uint32_t *pdwSize)
{
    StoredFace *p = FaceRecord(face, false);
    if (!p || !p->pbyHeader || p->nHeaderGlyphs != nGlyphs)
        return false;
    p->lastUse = ++g_clock;
    *ppbySegment = p->pbyHeader;
    *pdwSize = p->dwHeaderSize;
    return true;
}

bool KeepHeader(FontFace &face, uint32_t nGlyphs, uint8_t *pbySegment, uint32_t dwSize)
{
    StoredFace *p = FaceRecord(face, true);
    if (!p || p->pbyHeader || !MakeRoom(p, dwSize))
        return false;
    p->lastUse = ++g_clock;
    p->pbyHeader = pbySegment;
    p->dwHeaderSize = dwSize;
    p->nHeaderGlyphs = nGlyphs;
    p->cbBytes += dwSize;
    g_cbKept += dwSize;
    return true;
}

void ForgetKeptGlyphs()
{
    while (g_faces) {
        StoredFace *p = g_faces;
        g_faces = p->next;
        FreeFace(p);
    }
}
