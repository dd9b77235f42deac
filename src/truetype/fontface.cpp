// SPDX-License-Identifier: MIT
// The font face of one download call: tables fetched and the file mapped at
// most once, glyph tables found once.
#include "truetype/fontface.h"

#include <cstring>

#include "truetype/sfnt.h"
#include "truetype/truetype.h"

namespace {

// The face's copy of a table read through the device context, made on the
// first request (there is one table per tag).
const uint8_t *FaceCopyThroughDC(FontFace &face, const char (&szTag)[5], uint32_t *pdwSize)
{
    const uint32_t dwTag = FontTableTag(szTag);
    for (int k = 0; k < face.nCopies; ++k) {
        if (face.aCopies[k].dwTag == dwTag) {
            *pdwSize = face.aCopies[k].dwSize;
            return face.aCopies[k].pTable;
        }
    }
    if (face.nCopies == kFaceTableSlots)
        return nullptr;
    uint8_t *pTable = nullptr;
    Status status = Status::kOk;
    const uint32_t dwSize = ReadTableThroughDC(face.pSession, dwTag, &pTable, &status);
    if (pTable == nullptr) {
        FaceFail(face, status);
        return nullptr;
    }
    face.aCopies[face.nCopies++] = FaceTableCopy{dwTag, pTable, dwSize};
    *pdwSize = dwSize;
    return pTable;
}

// The table in the face's file image, searched for once per tag and record
// kind while there is room to remember it.
const uint8_t *FaceFindInImage(FontFace &face, const char (&szTag)[5], uint32_t *pdwSize, TableRecord record)
{
    const uint32_t dwTag = FontTableTag(szTag);
    for (int k = 0; k < face.nFound; ++k) {
        const FaceTableFound &found = face.aFound[k];
        if (found.dwTag == dwTag && found.record == record) {
            *pdwSize = found.dwSize;
            return found.pTable;
        }
    }
    const uint8_t *pImage = nullptr;
    uint32_t dwImageSize = 0;
    if (!FaceFileImage(face, &pImage, &dwImageSize))
        return nullptr;
    const uint8_t *pTable = FindTableInImage(pImage, dwImageSize, szTag, pdwSize, record);
    if (face.nFound < kFaceTableSlots)
        face.aFound[face.nFound++] = FaceTableFound{dwTag, record, pTable, pTable ? *pdwSize : 0};
    return pTable;
}

bool FindGlyphTables(FontFace &face, FaceGlyphTables &tables)
{
    uint32_t dwGlyf = 0, dwLoca = 0, dwHead = 0, dwMaxp = 0;
    const uint8_t *pLoca = FaceTable(face, "loca", &dwLoca);
    const uint8_t *pHead = FaceTable(face, "head", &dwHead);
    const uint8_t *pMaxp = FaceTable(face, "maxp", &dwMaxp, TableRecord::kFirst);
    // Through the device context only glyf's size is asked for: its bytes
    // are read glyph by glyph.
    const uint8_t *pGlyf = nullptr;
    bool bHasGlyf = false;
    if (face.bFromFile) {
        pGlyf = FaceTable(face, "glyf", &dwGlyf);
        bHasGlyf = pGlyf != nullptr;
    } else if (face.pSession != nullptr) {
        const DWORD dwSize = GetFontData(face.pSession->hdc, FontTableTag("glyf"), 0, nullptr, 0);
        bHasGlyf = dwSize != GDI_ERROR;
        dwGlyf = bHasGlyf ? dwSize : 0;
    }
    if (!bHasGlyf || !pLoca || !pHead || !pMaxp)
        return false;
    tables = FaceGlyphTables{BEReader(pGlyf, dwGlyf), BEReader(pLoca, dwLoca),
                             BEReader(pHead, dwHead), BEReader(pMaxp, dwMaxp), dwGlyf};
    return true;
}

} // namespace

FontFace::FontFace(FontSession *pSessionIn, bool bFromFileIn, const char *szPathIn)
    : pSession(pSessionIn), szPath(szPathIn), bFromFile(bFromFileIn), pView(nullptr), dwViewSize(0),
      bMapTried(false), aCopies{}, nCopies(0), aFound{}, nFound(0), nGlyphTables(0), glyphTables{}, outline{},
      pGlyphBuffer(nullptr), dwGlyphBufferSize(0), status(Status::kOk)
{
}

FontFace::~FontFace()
{
    for (int k = 0; k < nCopies; ++k)
        GlobalFree(aCopies[k].pTable);
    if (pGlyphBuffer != nullptr)
        GlobalFree(pGlyphBuffer);
    UnmapFontFile(pView);
}

void FaceFail(FontFace &face, Status status)
{
    if (face.status == Status::kOk)
        face.status = status;
}

bool FaceFileImage(FontFace &face, const uint8_t **ppImage, uint32_t *pdwSize)
{
    if (!face.bMapTried) {
        face.bMapTried = true;
        MapFontFile(&face.pView, face.szPath, &face.dwViewSize);
    }
    if (face.pView == nullptr) {
        FaceFail(face, Status::kFontFile);
        return false;
    }
    *ppImage = face.pView;
    *pdwSize = face.dwViewSize;
    return true;
}

bool FaceHasTable(FontFace &face, const char (&szTag)[5])
{
    if (face.bFromFile)
        return FaceTable(face, szTag, nullptr) != nullptr;
    return face.pSession != nullptr &&
           GetFontData(face.pSession->hdc, FontTableTag(szTag), 0, nullptr, 0) != GDI_ERROR;
}

const uint8_t *FaceTable(FontFace &face, const char (&szTag)[5], uint32_t *pdwSize, TableRecord record)
{
    uint32_t dwSize = 0;
    const uint8_t *pTable = face.bFromFile ? FaceFindInImage(face, szTag, &dwSize, record)
                                           : FaceCopyThroughDC(face, szTag, &dwSize);
    if (pdwSize)
        *pdwSize = pTable ? dwSize : 0;
    return pTable;
}

const FaceGlyphTables *FaceGlyphs(FontFace &face)
{
    if (face.nGlyphTables == 0)
        face.nGlyphTables = FindGlyphTables(face, face.glyphTables) ? 1 : -1;
    return face.nGlyphTables == 1 ? &face.glyphTables : nullptr;
}
