// SPDX-License-Identifier: MIT
// The font header of a variable font's instance made by the library: as a
// converted font's, the GT segment carries head, hhea, hmtx and maxp only
// (the glyphs go out without instructions, so cvt, fpgm and prep would
// serve nothing), each table the instance's.
#include <cstring>
#include <span>

#include "download/download.h"
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

} // namespace

Status DownloadInstanceFontHeader(FontFace *pFace, FontEntry *pEntry, XLStream *pStream, SoftFontCoding coding)
{
    InstanceTables instance{};
    if (!MakeInstanceTables(*pFace, pEntry->nGlyphs, instance))
        return Status::kRefused;
    const GlobalBlock<uint8_t> hmtx(instance.pbyHmtx);
    static const char kTags[kTableCount][5] = {"head", "hhea", "hmtx", "maxp"};
    const uint8_t *apbySource[kTableCount] = {instance.abyHead, instance.abyHhea, hmtx.get(), instance.abyMaxp};
    const uint32_t adwSize[kTableCount] = {HeadTable::kSize, HheaTable::kSize, instance.dwHmtxSize,
                                           MaxpTable::kVersion10Size};

    // The GT directory: an offset table for the four tables and gdir.
    uint8_t abyDirectory[kDirectorySize] = {};
    PutBE32(abyDirectory + SfntOffsetTable::kSfntVersion, SfntOffsetTable::kVersionTrueType);
    PutBE16(abyDirectory + SfntOffsetTable::kNumTables, kTableCount + 1);
    PutBE16(abyDirectory + SfntOffsetTable::kSearchRange, 64);
    PutBE16(abyDirectory + SfntOffsetTable::kEntrySelector, 2);
    PutBE16(abyDirectory + SfntOffsetTable::kRangeShift, 16);
    std::memcpy(abyDirectory + SfntOffsetTable::kSize + SfntRecord::kTag, "gdir", 4);
    uint32_t adwPadded[kTableCount];
    uint32_t dwOffset = kDirectorySize;
    for (uint32_t k = 0; k < kTableCount; ++k) {
        uint8_t *pbyRecord = abyDirectory + SfntOffsetTable::kSize + SfntRecord::kSize * (k + 1);
        adwPadded[k] = (adwSize[k] + 3) & ~3u;
        std::memcpy(pbyRecord + SfntRecord::kTag, kTags[k], 4);
        PutBE32(pbyRecord + SfntRecord::kCheckSum, TableChecksum(apbySource[k], adwSize[k], k == 0));
        PutBE32(pbyRecord + SfntRecord::kOffset, dwOffset);
        PutBE32(pbyRecord + SfntRecord::kLength, adwSize[k]);
        dwOffset += adwPadded[k];
    }
    SendFontHeaderStart(pStream, pEntry, dwOffset, abyDirectory, kDirectorySize, coding);
    for (uint32_t k = 0; k < kTableCount; ++k)
        SendTableBlocks(pStream, apbySource[k], adwSize[k], adwPadded[k]);
    SendFontHeaderEnd(pStream);
    return Status::kOk;
}
