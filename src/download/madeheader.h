// SPDX-License-Identifier: MIT
// The GT segment of a font header the library makes itself (converted
// outlines, a variable font's instance): head, hhea, hmtx and maxp, in tag
// order, behind a directory that also names gdir.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>

#include "truetype/bereader.h"
#include "truetype/sfnt.h"
#include "truetype/tables.h"

constexpr uint32_t kMadeTableCount = 4;
constexpr char kMadeTableTags[kMadeTableCount][5] = {"head", "hhea", "hmtx", "maxp"};
constexpr uint32_t kMadeDirectorySize = SfntOffsetTable::kSize + SfntRecord::kSize * (kMadeTableCount + 1);

// Writes the directory (kMadeDirectorySize bytes): a TrueType offset table
// whose binary-search fields follow from its five records, gdir's record
// (all zero but its tag), then each table's checksum, offset and length.
inline void PutMadeDirectory(uint8_t *pby, const uint32_t (&adwSum)[kMadeTableCount],
                             const uint32_t (&adwOffset)[kMadeTableCount], const uint32_t (&adwSize)[kMadeTableCount])
{
    std::memset(pby, 0, kMadeDirectorySize);
    PutBE32(pby + SfntOffsetTable::kSfntVersion, SfntOffsetTable::kVersionTrueType);
    PutBE16(pby + SfntOffsetTable::kNumTables, kMadeTableCount + 1);
    PutBE16(pby + SfntOffsetTable::kSearchRange, 64);
    PutBE16(pby + SfntOffsetTable::kEntrySelector, 2);
    PutBE16(pby + SfntOffsetTable::kRangeShift, 16);
    std::memcpy(pby + SfntOffsetTable::kSize + SfntRecord::kTag, "gdir", 4);
    for (uint32_t k = 0; k < kMadeTableCount; ++k) {
        uint8_t *pbyRecord = pby + SfntOffsetTable::kSize + SfntRecord::kSize * (k + 1);
        std::memcpy(pbyRecord + SfntRecord::kTag, kMadeTableTags[k], 4);
        PutBE32(pbyRecord + SfntRecord::kCheckSum, adwSum[k]);
        PutBE32(pbyRecord + SfntRecord::kOffset, adwOffset[k]);
        PutBE32(pbyRecord + SfntRecord::kLength, adwSize[k]);
    }
}

// TrueType table checksum over the table padded with zeros to four bytes;
// head counts with its checkSumAdjustment as zero.
inline uint32_t MadeTableChecksum(const uint8_t *pby, uint32_t dwSize, bool bHead)
{
    uint32_t dwSum = SfntChecksum(std::span<const uint8_t>(pby, dwSize));
    constexpr uint32_t kAdjustment = HeadTable::kCheckSumAdjustment;
    if (bHead && dwSize > kAdjustment) {
        const uint32_t dwWordSize = std::min<uint32_t>(4, dwSize - kAdjustment);
        dwSum -= SfntChecksum(std::span<const uint8_t>(pby + kAdjustment, dwWordSize));
    }
    return dwSum;
}
