// SPDX-License-Identifier: MIT
// The font header of a variable font's instance made by the library: as a
// converted font's, the GT segment carries head, hhea, hmtx and maxp only
// (the glyphs go out without instructions, so cvt, fpgm and prep would
// serve nothing), each table the instance's.
#include <cstring>
#include <span>

#include "download/download.h"
#include "download/glyphstore.h"
#include "memory/globalblock.h"
#include "truetype/bereader.h"
#include "truetype/sfnt.h"
#include "truetype/tables.h"
#include "truetype/truetype.h"

namespace {

constexpr uint32_t kTableCount = 4; // head, hhea, hmtx, maxp: in tag order
constexpr uint32_t kDirectorySize = SfntOffsetTable::kSize + SfntRecord::kSize * (kTableCount + 1);

// head counts with its checkSumAdjustment as zero.
uint32_t TableChecksum(const uint8_t *pby, uint32_t dwSize, bool bHead)
{
    uint32_t dwSum = SfntChecksum(std::span<const uint8_t>(pby, dwSize));
    if (bHead)
        dwSum -= SfntChecksum(std::span<const uint8_t>(pby + HeadTable::kCheckSumAdjustment, 4));
    return dwSum;
}

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
    static const char kTags[kTableCount][5] = {"head", "hhea", "hmtx", "maxp"};
    const uint8_t *apbySource[kTableCount] = {instance.abyHead, instance.abyHhea, hmtx.get(), instance.abyMaxp};
    // The GT directory: an offset table for the four tables and gdir.
    PutBE32(pbySegment + SfntOffsetTable::kSfntVersion, SfntOffsetTable::kVersionTrueType);
    PutBE16(pbySegment + SfntOffsetTable::kNumTables, kTableCount + 1);
    PutBE16(pbySegment + SfntOffsetTable::kSearchRange, 64);
    PutBE16(pbySegment + SfntOffsetTable::kEntrySelector, 2);
    PutBE16(pbySegment + SfntOffsetTable::kRangeShift, 16);
    std::memcpy(pbySegment + SfntOffsetTable::kSize + SfntRecord::kTag, "gdir", 4);
    for (uint32_t k = 0; k < kTableCount; ++k) {
        uint8_t *pbyRecord = pbySegment + SfntOffsetTable::kSize + SfntRecord::kSize * (k + 1);
        std::memcpy(pbyRecord + SfntRecord::kTag, kTags[k], 4);
        PutBE32(pbyRecord + SfntRecord::kCheckSum, TableChecksum(apbySource[k], layout.adwSize[k], k == 0));
        PutBE32(pbyRecord + SfntRecord::kOffset, layout.adwOffset[k]);
        PutBE32(pbyRecord + SfntRecord::kLength, layout.adwSize[k]);
        if (layout.adwSize[k] > 0)
            std::memcpy(pbySegment + layout.adwOffset[k], apbySource[k], layout.adwSize[k]);
    }
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
