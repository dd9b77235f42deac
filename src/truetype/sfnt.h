// SPDX-License-Identifier: MIT
// The sfnt container around TrueType tables: tags, the offset table, the
// table directory (of a plain font or a face of a collection) and table
// checksums. Header only, so that the library, the platform layer, the tool
// and the test font builder share one vocabulary; every read goes through
// the bounds-checked BEReader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "truetype/bereader.h"
#include "truetype/tables.h"

// The two sizes under the names the fndl tool reads them by.
inline constexpr size_t kSfntOffsetTableSize = SfntOffsetTable::kSize;
inline constexpr size_t kSfntTableRecordSize = SfntRecord::kSize;
// head.checkSumAdjustment makes the whole font sum to this.
inline constexpr uint32_t kSfntChecksumMagic = 0xB1B0AFBA;

// A tag as it stands in the font, read big-endian ("glyf" gives 0x676C7966).
constexpr uint32_t SfntTag(const char (&szTag)[5])
{
    return static_cast<uint32_t>(static_cast<uint8_t>(szTag[0])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(szTag[1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(szTag[2])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(szTag[3]));
}

// GetFontData's form of a tag: the first character in the low byte ("glyf"
// gives 0x66796C67).
constexpr uint32_t FontTableTag(const char (&szTag)[5])
{
    return static_cast<uint32_t>(static_cast<uint8_t>(szTag[0])) |
           (static_cast<uint32_t>(static_cast<uint8_t>(szTag[1])) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(szTag[2])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(szTag[3])) << 24);
}

inline constexpr uint32_t kSfntCollectionTag = SfntTag("ttcf");

// One record of a table directory.
struct SfntTableRecord {
    char szTag[5];
    uint32_t dwCheckSum;
    uint32_t dwOffset;
    uint32_t dwLength;
};

// True when the font begins with a collection header.
inline bool SfntIsCollection(const BEReader &font)
{
    uint32_t dwTag = 0;
    return font.U32(0, dwTag) && dwTag == kSfntCollectionTag;
}

// Where face nFace's offset table starts: 0 for a plain font (face 0 only),
// the face's entry in the collection header otherwise. False when there is
// no such face. Whether the offset table lies inside is the caller's check.
inline bool SfntFaceOffset(const BEReader &font, uint32_t nFace, uint32_t &dwOffset)
{
    dwOffset = 0;
    if (!SfntIsCollection(font))
        return nFace == 0;
    uint32_t nFonts = 0;
    return font.U32(CollectionHeader::kNumFonts, nFonts) && nFace < nFonts &&
           font.U32(CollectionHeader::kFirstFontOffset + 4 * size_t{nFace}, dwOffset);
}

// numTables of the directory whose offset table starts at nDirectory.
inline bool ReadSfntTableCount(const BEReader &font, size_t nDirectory, uint16_t &nTables)
{
    return font.U16(nDirectory + SfntOffsetTable::kNumTables, nTables);
}

// Record k of the directory whose offset table starts at nDirectory; false
// when it does not lie wholly inside the bytes.
inline bool ReadSfntTableRecord(const BEReader &font, size_t nDirectory, uint32_t k,
                                SfntTableRecord &record)
{
    const size_t nRecord = nDirectory + SfntOffsetTable::kSize + SfntRecord::kSize * size_t{k};
    return font.Tag(nRecord + SfntRecord::kTag, record.szTag) &&
           font.U32(nRecord + SfntRecord::kCheckSum, record.dwCheckSum) &&
           font.U32(nRecord + SfntRecord::kOffset, record.dwOffset) &&
           font.U32(nRecord + SfntRecord::kLength, record.dwLength);
}

// The table checksum: the sum of the bytes as big-endian 32-bit words, the
// last word padded with zeros.
inline uint32_t SfntChecksum(std::span<const uint8_t> bytes)
{
    uint32_t dwSum = 0;
    for (size_t at = 0; at < bytes.size(); at += 4) {
        uint32_t dwWord = 0;
        for (size_t k = 0; k < 4; ++k)
            dwWord = (dwWord << 8) | (at + k < bytes.size() ? bytes[at + k] : 0);
        dwSum += dwWord;
    }
    return dwSum;
}
