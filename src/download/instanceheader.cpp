// SPDX-License-Identifier: MIT
// The font header of a variable font's instance made by the library: as a
// converted font's, the GT segment carries head, hhea, hmtx and maxp only
// (the glyphs go out without instructions, so cvt, fpgm and prep would
// serve nothing), each table the instance's.
#include <cstring>
#include <span>

#include "download/download.h"
#include "truetype/glyphstore.h"
#include "download/madeheader.h"
#include "memory/globalblock.h"
#include "truetype/bereader.h"
#include "truetype/sfnt.h"
#include "truetype/tables.h"
#include "truetype/truetype.h"

namespace {

constexpr uint32_t kTableCount = kMadeTableCount;
constexpr uint32_t kDirectorySize = kMadeDirectorySize;

// The four tables' sizes, padded sizes and offsets in the segment, which
// follow from the glyph count (hmtx has a long metric for each glyph).
struct SegmentLayout {
    uint32_t adwSize[kTableCount];
    uint32_t adwPadded[kTableCount];
    uint32_t adwOffset[kTableCount];
    uint32_t dwTotal;
};

SegmentLayout LayoutOf(uint32_t nGlyphs)
{
    SegmentLayout layout{{static_cast<uint32_t>(HeadTable::kSize), static_cast<uint32_t>(HheaTable::kSize),
                          static_cast<uint32_t>(nGlyphs * HmtxTable::kLongMetricSize),
                          static_cast<uint32_t>(MaxpTable::kVersion10Size)},
                         {},
                         {},
                         kDirectorySize};
    for (uint32_t k = 0; k < kTableCount; ++k) {
        layout.adwPadded[k] = (layout.adwSize[k] + 3) & ~3u;
        layout.adwOffset[k] = layout.dwTotal;
        layout.dwTotal += layout.adwPadded[k];
    }
    return layout;
}

// The GT segment of the instance (the directory, then the tables padded
// with zeros) in a global-heap block; null when it cannot be made.
uint8_t *MakeSegment(FontFace &face, uint32_t nGlyphs, const SegmentLayout &layout)
{
    InstanceTables instance{};
    if (!MakeInstanceTables(face, nGlyphs, instance))
        return nullptr;
    const GlobalBlock<uint8_t> hmtx(instance.pbyHmtx);
    auto *pbySegment = static_cast<uint8_t *>(GlobalAlloc(GPTR, layout.dwTotal));
    if (pbySegment == nullptr) {
        FaceFail(face, Status::kNoMemory);
        return nullptr;
    }
    const uint8_t *apbySource[kTableCount] = {instance.abyHead, instance.abyHhea, hmtx.get(), instance.abyMaxp};
    uint32_t adwSum[kTableCount];
    for (uint32_t k = 0; k < kTableCount; ++k) {
        adwSum[k] = MadeTableChecksum(apbySource[k], layout.adwSize[k], k == 0);
        if (layout.adwSize[k] > 0)
            std::memcpy(pbySegment + layout.adwOffset[k], apbySource[k], layout.adwSize[k]);
    }
    PutMadeDirectory(pbySegment, adwSum, layout.adwOffset, layout.adwSize);
    return pbySegment;
}

} // namespace

// The header goes out from the segment the process keeps for the instance:
// its hmtx needs every glyph's varied box, which a later request or job on
// the same instance need not make again.
Status DownloadInstanceFontHeader(FontFace *pFace, FontEntry *pEntry, XLStream *pStream, SoftFontCoding coding)
{
    const SegmentLayout layout = LayoutOf(pEntry->nGlyphs);
    const uint8_t *pbySegment = nullptr;
    uint32_t dwKeptSize = 0;
    GlobalBlock<uint8_t> made(nullptr);
    if (!FindKeptHeader(*pFace, pEntry->nGlyphs, &pbySegment, &dwKeptSize) || dwKeptSize != layout.dwTotal) {
        made.reset(MakeSegment(*pFace, pEntry->nGlyphs, layout));
        if (!made)
            return Status::kRefused;
        pbySegment = made.get();
        if (KeepHeader(*pFace, pEntry->nGlyphs, made.get(), layout.dwTotal))
            static_cast<void>(made.release());
    }
    SendFontHeaderStart(pStream, pEntry, layout.dwTotal, pbySegment, kDirectorySize, coding);
    for (uint32_t k = 0; k < kTableCount; ++k)
        SendTableBlocks(pStream, pbySegment + layout.adwOffset[k], layout.adwSize[k], layout.adwPadded[k]);
    SendFontHeaderEnd(pStream);
    return Status::kOk;
}
