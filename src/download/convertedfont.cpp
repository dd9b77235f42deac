// SPDX-License-Identifier: MIT
// OpenType fonts with PostScript (CFF) outlines as TrueType soft fonts. A
// PCL XL printer takes TrueType glyphs only, so such a font goes out as
// one: the header's GT segment carries the font's head, hhea and hmtx with a
// maxp of version 1.0 built here, and every character's glyph is a TrueType
// simple glyph converted from the outline that GetGlyphOutline gives
// (GGO_NATIVE, unhinted, on a logical font one em high in font units).
#include <algorithm>
#include <cstring>
#include <span>

#include "download/download.h"
#include "download/madeheader.h"
#include "download/outlineconvert.h"
#include "memory/globalblock.h"
#include "truetype/bereader.h"
#include "truetype/glyphstore.h"
#include "truetype/hmetrics.h"
#include "truetype/sfnt.h"
#include "truetype/tables.h"
#include "truetype/truetype.h"

namespace {

constexpr uint32_t kMaxpSize = MaxpTable::kVersion10Size;
constexpr uint16_t kMinUnitsPerEm = 16;
constexpr uint16_t kMaxUnitsPerEm = 16384;
constexpr uint32_t kTableCount = kMadeTableCount;
constexpr uint32_t kDirectorySize = kMadeDirectorySize;
// GGO_NATIVE outlines: the smallest block made, and the largest taken (more
// than any outline of kMaxConvertedPoints; beyond it a glyph is refused).
constexpr DWORD kFirstOutlineBlock = 16384;
constexpr DWORD kMaxNativeOutline = 1u << 20;
const MAT2 kIdentity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};

// maxp 1.0 for glyphs converted from outlines: the converter's caps as the
// point and contour maxima, no composites, no instructions.
void BuildMaxp(uint8_t *pby, uint32_t nGlyphs)
{
    std::memset(pby, 0, kMaxpSize);
    PutBE32(pby + MaxpTable::kVersion, MaxpTable::kVersion10);
    PutBE16(pby + MaxpTable::kNumGlyphs, nGlyphs);
    PutBE16(pby + MaxpTable::kMaxPoints, kMaxConvertedPoints);
    PutBE16(pby + MaxpTable::kMaxContours, kMaxConvertedContours);
    PutBE16(pby + MaxpTable::kMaxZones, 2); // the glyph zone and an (empty) twilight zone
}

uint16_t UnitsPerEm(const uint8_t *pbyHead, uint32_t dwHeadSize)
{
    uint16_t nUnitsPerEm = 0;
    BEReader(pbyHead, dwHeadSize).U16(HeadTable::kUnitsPerEm, nUnitsPerEm);
    return nUnitsPerEm;
}

// The logical font one em high in font units that the face's outlines are
// read through, made on its first use: the request's logical font at that
// height, or the font file's own font.
bool PrepareEmFont(FontFace &face)
{
    FaceOutlineFont &em = face.outline;
    if (em.bTried)
        return em.font.hdc != nullptr;
    em.bTried = true;
    uint32_t dwHeadSize = 0;
    const uint8_t *pbyHead = FaceTable(face, "head", &dwHeadSize);
    const uint16_t nUnitsPerEm = UnitsPerEm(pbyHead, dwHeadSize);
    if (nUnitsPerEm < kMinUnitsPerEm || nUnitsPerEm > kMaxUnitsPerEm)
        return false;
    em.nUnitsPerEm = nUnitsPerEm;
    if (face.bFromFile) {
        const uint8_t *pImage = nullptr;
        uint32_t dwImageSize = 0;
        if (FaceFileImage(face, &pImage, &dwImageSize))
            OpenFontFileDC(pImage, dwImageSize, nUnitsPerEm, em.font);
        return em.font.hdc != nullptr;
    }
    LOGFONTA lf;
    const HGDIOBJ hCurrent = GetCurrentObject(face.pSession->hdc, OBJ_FONT);
    if (hCurrent == nullptr || GetObjectA(hCurrent, sizeof(lf), &lf) != static_cast<int>(sizeof(lf)))
        return false;
    lf.lfHeight = -static_cast<LONG>(nUnitsPerEm);
    lf.lfWidth = 0;
    lf.lfEscapement = 0;
    lf.lfOrientation = 0;
    em.font.hFont = CreateFontIndirectA(&lf);
    HDC hdc = em.font.hFont != nullptr ? CreateCompatibleDC(nullptr) : nullptr;
    if (hdc == nullptr)
        return false;
    SelectObject(hdc, em.font.hFont);
    em.font.hdc = hdc;
    return true;
}

// What a conversion works in, made on first use and kept for the process:
// the converter's blocks and a block for the GGO_NATIVE outline that grows
// to the largest asked for.
struct ConvertWork {
    ConvertScratch *pScratch;
    uint8_t *pbyOutline; // global heap
    uint32_t dwOutlineCapacity;
};
ConvertWork g_work{};

// Null when memory runs out.
ConvertWork *SharedConvertWork()
{
    if (!g_work.pScratch)
        g_work.pScratch = NewConvertScratch();
    return g_work.pScratch ? &g_work : nullptr;
}

// The glyph converted to TrueType (a global-heap block, or null with
// length 0 for an outline without contours); false when it has no outline
// that converts (out of memory is recorded in the face).
bool ConvertGlyph(FontFace &face, uint32_t nGlyphIndex, uint8_t **ppbyGlyph, uint32_t *pdwLength)
{
    const FaceOutlineFont &em = face.outline;
    constexpr UINT kFormat = GGO_NATIVE | GGO_GLYPH_INDEX | GGO_UNHINTED;
    ConvertWork *pWork = SharedConvertWork();
    if (pWork == nullptr) {
        FaceFail(face, Status::kNoMemory);
        return false;
    }
    // The outline goes into the kept block when it fits, so most glyphs are
    // loaded once; a larger one needs the size query and a larger block.
    GLYPHMETRICS gm;
    DWORD dwSize = pWork->pbyOutline == nullptr
                       ? GDI_ERROR
                       : GetGlyphOutlineA(em.font.hdc, nGlyphIndex, kFormat, &gm, pWork->dwOutlineCapacity,
                                          pWork->pbyOutline, &kIdentity);
    if (dwSize == GDI_ERROR) {
        dwSize = GetGlyphOutlineA(em.font.hdc, nGlyphIndex, kFormat, &gm, 0, nullptr, &kIdentity);
        if (dwSize == GDI_ERROR || dwSize > kMaxNativeOutline)
            return false;
        if (dwSize > pWork->dwOutlineCapacity) {
            const DWORD dwCapacity = std::max(dwSize, kFirstOutlineBlock);
            auto *pbyOutline = static_cast<uint8_t *>(GlobalAlloc(GMEM_FIXED, dwCapacity));
            if (pbyOutline == nullptr) {
                FaceFail(face, Status::kNoMemory);
                return false;
            }
            if (pWork->pbyOutline)
                GlobalFree(pWork->pbyOutline);
            pWork->pbyOutline = pbyOutline;
            pWork->dwOutlineCapacity = dwCapacity;
        }
        dwSize = GetGlyphOutlineA(em.font.hdc, nGlyphIndex, kFormat, &gm, pWork->dwOutlineCapacity,
                                  pWork->pbyOutline, &kIdentity);
    }
    return dwSize != GDI_ERROR && dwSize <= pWork->dwOutlineCapacity &&
           ConvertNativeOutline(std::span<const uint8_t>(pWork->pbyOutline, dwSize), CubicTolerance(em.nUnitsPerEm),
                                *pWork->pScratch, ppbyGlyph, pdwLength) == 1;
}

// The rendered instance's horizontal metrics of a variable font: hmtx with
// a long metric for every glyph (advance and left side bearing as the em
// font gives them, the side bearing being the converted glyph's xMin), and
// copies of head and hhea with the bounding box and extremes those glyphs
// have. The default instance's tables would place the instance's glyphs
// by other side bearings.
struct InstanceMetrics {
    GlobalBlock<uint8_t> hmtx;
    uint32_t dwHmtxSize;
    uint8_t abyHead[HeadTable::kSize];
    uint8_t abyHhea[HheaTable::kSize];
};

bool MeasureInstance(FontFace &face, uint32_t nGlyphs, const uint8_t *pbyHead, const uint8_t *pbyHhea,
                     InstanceMetrics &metrics)
{
    if (!PrepareEmFont(face))
        return false;
    metrics.dwHmtxSize = nGlyphs * HmtxTable::kLongMetricSize;
    metrics.hmtx.reset(static_cast<uint8_t *>(GlobalAlloc(GMEM_FIXED, metrics.dwHmtxSize ? metrics.dwHmtxSize : 1)));
    if (!metrics.hmtx) {
        FaceFail(face, Status::kNoMemory);
        return false;
    }
    std::memcpy(metrics.abyHead, pbyHead, HeadTable::kSize);
    std::memcpy(metrics.abyHhea, pbyHhea, HheaTable::kSize);
    HorizontalExtremes extremes;
    constexpr UINT kFormat = GGO_METRICS | GGO_GLYPH_INDEX | GGO_UNHINTED;
    for (uint32_t g = 0; g < nGlyphs; ++g) {
        GLYPHMETRICS gm{};
        int nAdvance = 0;
        int nLsb = 0;
        if (GetGlyphOutlineA(face.outline.font.hdc, g, kFormat, &gm, 0, nullptr, &kIdentity) != GDI_ERROR) {
            nAdvance = std::clamp<int>(gm.gmCellIncX, 0, UINT16_MAX);
            nLsb = std::clamp<int>(gm.gmptGlyphOrigin.x, INT16_MIN, INT16_MAX);
            // GDI reports an empty glyph as a 1 x 1 box: it has no ink.
            const bool bInk = gm.gmBlackBoxX > 1 || gm.gmBlackBoxY > 1;
            const int nTop = gm.gmptGlyphOrigin.y;
            if (bInk)
                AddInk(extremes, nAdvance, nLsb, nLsb, nTop - static_cast<int>(gm.gmBlackBoxY),
                       nLsb + static_cast<int>(gm.gmBlackBoxX), nTop);
            else
                nLsb = 0;
        }
        AddHorizontalMetric(extremes, metrics.hmtx.get(), g, nAdvance, nLsb);
    }
    PutHorizontalExtremes(extremes, metrics.abyHead, metrics.abyHhea, nGlyphs);
    return true;
}

} // namespace

int HasConvertibleOutlines(FontFace *pFace, bool bInstance)
{
    const bool bOutlines = bInstance || FaceHasTable(*pFace, "CFF ");
    return bOutlines && FaceHasTable(*pFace, "head") && FaceHasTable(*pFace, "hhea") &&
           FaceHasTable(*pFace, "hmtx") && FaceHasTable(*pFace, "maxp") && PrepareEmFont(*pFace);
}

Status DownloadConvertedFontHeader(FontFace *pFace, FontEntry *pEntry, XLStream *pStream,
                                   SoftFontCoding coding)
{
    const auto &kTags = kMadeTableTags;
    uint8_t abyMaxp[kMaxpSize];
    BuildMaxp(abyMaxp, pEntry->nGlyphs);
    const uint8_t *apbyTable[kTableCount] = {};
    uint32_t adwSize[kTableCount] = {};
    for (uint32_t k = 0; k + 1 < kTableCount; ++k)
        apbyTable[k] = FaceTable(*pFace, kTags[k], &adwSize[k]);
    const uint16_t nUnitsPerEm = UnitsPerEm(apbyTable[0], adwSize[0]);
    const bool bUsable = adwSize[0] >= HeadTable::kSize && adwSize[1] >= HheaTable::kSize && adwSize[2] > 0 &&
                         nUnitsPerEm >= kMinUnitsPerEm && nUnitsPerEm <= kMaxUnitsPerEm;
    if (!bUsable)
        return Status::kRefused;
    InstanceMetrics instance{};
    const bool bInstance = FaceHasTable(*pFace, "fvar");
    if (bInstance) {
        if (!MeasureInstance(*pFace, pEntry->nGlyphs, apbyTable[0], apbyTable[1], instance))
            return Status::kRefused;
        apbyTable[0] = instance.abyHead;
        adwSize[0] = HeadTable::kSize;
        apbyTable[1] = instance.abyHhea;
        adwSize[1] = HheaTable::kSize;
        apbyTable[2] = instance.hmtx.get();
        adwSize[2] = instance.dwHmtxSize;
    }
    const uint8_t *apbySource[kTableCount] = {apbyTable[0], apbyTable[1], apbyTable[2], abyMaxp};
    adwSize[3] = kMaxpSize;

    // The checksums cover every byte of hmtx, which in a large font is most
    // of the header: a face whose glyphs are kept keeps them too.
    uint32_t adwSum[kTableCount];
    const uint32_t adwKeptSize[kKeptChecksums] = {adwSize[0], adwSize[1], adwSize[2]};
    uint32_t adwKeptSum[kKeptChecksums];
    const bool bSumsKept = !bInstance && FindKeptChecksums(*pFace, adwKeptSize, adwKeptSum);
    for (uint32_t k = 0; k < kTableCount; ++k)
        adwSum[k] = bSumsKept && k < kKeptChecksums ? adwKeptSum[k]
                                                    : MadeTableChecksum(apbySource[k], adwSize[k], k == 0);
    if (!bInstance && !bSumsKept) {
        std::memcpy(adwKeptSum, adwSum, sizeof adwKeptSum);
        KeepChecksums(*pFace, adwKeptSize, adwKeptSum);
    }
    uint32_t adwPadded[kTableCount];
    uint32_t adwOffset[kTableCount];
    uint32_t dwOffset = kDirectorySize;
    for (uint32_t k = 0; k < kTableCount; ++k) {
        adwPadded[k] = (adwSize[k] + 3) & ~3u;
        adwOffset[k] = dwOffset;
        dwOffset += adwPadded[k];
    }
    uint8_t abyDirectory[kDirectorySize];
    PutMadeDirectory(abyDirectory, adwSum, adwOffset, adwSize);

    SendFontHeaderStart(pStream, pEntry, dwOffset, abyDirectory, kDirectorySize, coding);
    for (uint32_t k = 0; k < kTableCount; ++k)
        SendTableBlocks(pStream, apbySource[k], adwSize[k], adwPadded[k]);
    SendFontHeaderEnd(pStream);
    return Status::kOk;
}

void GetConvertedGlyph(FontFace *pFace, int32_t *pnLength, uint32_t nGlyphIndex, uint8_t **ppGlyph,
                       uint8_t **ppStorage)
{
    const uint8_t *pbyKept = nullptr;
    uint32_t dwLength = 0;
    if (!PrepareEmFont(*pFace))
        return;
    if (FindKeptGlyph(*pFace, nGlyphIndex, &pbyKept, &dwLength)) {
        *pnLength = static_cast<int32_t>(dwLength);
        *ppGlyph = const_cast<uint8_t *>(pbyKept);
        return;
    }
    uint8_t *pbyGlyph = nullptr;
    if (!ConvertGlyph(*pFace, nGlyphIndex, &pbyGlyph, &dwLength))
        return;
    *pnLength = static_cast<int32_t>(dwLength);
    *ppGlyph = pbyGlyph;
    if (!KeepGlyph(*pFace, nGlyphIndex, pbyGlyph, dwLength))
        *ppStorage = pbyGlyph;
}

void ForgetConvertedGlyphs()
{
    ForgetKeptGlyphs();
    DeleteConvertScratch(g_work.pScratch);
    if (g_work.pbyOutline)
        GlobalFree(g_work.pbyOutline);
    g_work = {};
}
