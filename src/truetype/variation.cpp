// SPDX-License-Identifier: MIT
// Variable fonts through the device context. GetFontData hands out a
// variable face's tables untransformed (glyf holds the default instance)
// while the font mapper renders the named instance the logical font asked
// for. The instance is found by the style name the device context reports:
// the fvar instance whose subfamily name it is. An instance away from the
// axis defaults has outlines and metrics only the renderer knows.
#include <algorithm>
#include <cstring>

#include "memory/globalblock.h"
#include "truetype/bereader.h"
#include "truetype/namestring.h"
#include "truetype/tables.h"
#include "truetype/truetype.h"

namespace {

constexpr int kMaxNameUnits = 64;

// The name IDs whose Windows-platform string, as ANSI, is szStyle (at most
// kMaxStyleIds of them): one pass over the name records, so that a font
// with many instances and names costs their sum, not their product.
constexpr int kMaxStyleIds = 16;
struct StyleNameIds {
    uint16_t anIds[kMaxStyleIds];
    int nIds;
};

StyleNameIds NameIdsOfString(const BEReader &name, const char *szStyle)
{
    StyleNameIds ids{};
    uint16_t nCount = 0;
    uint16_t nStringsOffset = 0;
    if (!name.U16(NameTable::kCount, nCount) || !name.U16(NameTable::kStringOffset, nStringsOffset))
        return ids;
    for (size_t k = 0; k < nCount && ids.nIds < kMaxStyleIds; ++k) {
        const size_t nRecord = NameTable::kFirstRecord + NameTable::kRecordSize * k;
        uint16_t nPlatform = 0, nId = 0, nBytes = 0, nOffset = 0;
        if (!name.U16(nRecord + NameTable::kPlatformId, nPlatform) ||
            !name.U16(nRecord + NameTable::kNameId, nId) || !name.U16(nRecord + NameTable::kLength, nBytes) ||
            !name.U16(nRecord + NameTable::kOffset, nOffset))
            break;
        BEReader string;
        if (nPlatform != kSfntPlatformWindows || !name.Sub(size_t{nStringsOffset} + nOffset, nBytes, string))
            continue;
        char szAnsi[4 * kMaxNameUnits + 1];
        if (NameStringToAnsi(string, szAnsi) == 0)
            continue;
        if (std::strcmp(szAnsi, szStyle) == 0)
            ids.anIds[ids.nIds++] = nId;
    }
    return ids;
}

bool HasNameId(const StyleNameIds &ids, uint16_t nId)
{
    for (int k = 0; k < ids.nIds; ++k)
        if (ids.anIds[k] == nId)
            return true;
    return false;
}

// The style name of the font selected into hdc (otmpStyleName), or false.
bool SelectedStyleName(HDC hdc, char (&szStyle)[4 * kMaxNameUnits + 1])
{
    const UINT nSize = GetOutlineTextMetricsA(hdc, 0, nullptr);
    if (nSize < sizeof(OUTLINETEXTMETRICA))
        return false;
    GlobalBlock<OUTLINETEXTMETRICA> metrics(static_cast<OUTLINETEXTMETRICA *>(GlobalAlloc(GMEM_FIXED, nSize)));
    if (!metrics || GetOutlineTextMetricsA(hdc, nSize, metrics.get()) == 0)
        return false;
    // The name fields hold offsets from the record's start.
    const auto nOffset = reinterpret_cast<uintptr_t>(metrics->otmpStyleName);
    if (nOffset < sizeof(OUTLINETEXTMETRICA) || nOffset >= nSize)
        return false;
    const char *pStyle = reinterpret_cast<const char *>(metrics.get()) + nOffset;
    const size_t nLength = strnlen(pStyle, nSize - nOffset);
    if (nLength == nSize - nOffset || nLength >= sizeof(szStyle))
        return false;
    std::memcpy(szStyle, pStyle, nLength + 1);
    return true;
}

} // namespace

bool IsVariableInstance(FontFace &face)
{
    if (face.bFromFile || !face.pSession || !face.pSession->hdc)
        return false;
    uint32_t dwFvarSize = 0;
    const uint8_t *pFvar = FaceTable(face, "fvar", &dwFvarSize);
    const BEReader fvar(pFvar, dwFvarSize);
    uint16_t nAxesOffset = 0, nAxes = 0, nAxisSize = 0, nInstances = 0, nInstanceSize = 0;
    if (!fvar.U16(FvarTable::kAxesArrayOffset, nAxesOffset) || !fvar.U16(FvarTable::kAxisCount, nAxes) ||
        !fvar.U16(FvarTable::kAxisSize, nAxisSize) || !fvar.U16(FvarTable::kInstanceCount, nInstances) ||
        !fvar.U16(FvarTable::kInstanceSize, nInstanceSize) || nAxes == 0 ||
        nAxisSize < FvarTable::kAxisRecordSize ||
        nInstanceSize < FvarTable::kInstanceCoordinates + 4 * size_t{nAxes})
        return false;
    char szStyle[4 * kMaxNameUnits + 1];
    if (!SelectedStyleName(face.pSession->hdc, szStyle))
        return false;
    uint32_t dwNameSize = 0;
    const uint8_t *pName = FaceTable(face, "name", &dwNameSize);
    const StyleNameIds styleIds = NameIdsOfString(BEReader(pName, dwNameSize), szStyle);
    const size_t nInstancesOffset = nAxesOffset + size_t{nAxes} * nAxisSize;
    for (size_t i = 0; i < nInstances && styleIds.nIds > 0; ++i) {
        const size_t nInstance = nInstancesOffset + i * nInstanceSize;
        uint16_t nSubfamilyId = 0;
        if (!fvar.U16(nInstance + FvarTable::kInstanceSubfamilyNameId, nSubfamilyId))
            return false;
        if (!HasNameId(styleIds, nSubfamilyId))
            continue;
        // The style names this instance: it is the renderer's unless every
        // coordinate is its axis's default.
        for (size_t a = 0; a < nAxes; ++a) {
            uint32_t dwDefault = 0, dwCoordinate = 0;
            if (!fvar.U32(nAxesOffset + a * nAxisSize + FvarTable::kAxisDefault, dwDefault) ||
                !fvar.U32(nInstance + FvarTable::kInstanceCoordinates + 4 * a, dwCoordinate))
                return false;
            if (dwDefault != dwCoordinate)
                return true;
        }
        return false;
    }
    return false;
}

void VariableFaceStyle(FontFace &face, char (&szStyle)[kInstanceStyleBytes])
{
    szStyle[0] = '\0';
    char szFull[4 * kMaxNameUnits + 1];
    if (face.bFromFile || !face.pSession || !face.pSession->hdc || !FaceHasTable(face, "fvar") ||
        !SelectedStyleName(face.pSession->hdc, szFull))
        return;
    const size_t nLength = std::min(std::strlen(szFull), sizeof(szStyle) - 1);
    std::memcpy(szStyle, szFull, nLength);
    szStyle[nLength] = '\0';
}
