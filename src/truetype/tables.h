// SPDX-License-Identifier: MIT
// Layouts of the TrueType structures this code reads or writes, each
// declared once: byte offsets of the fields within the structure (big-endian
// values), and the size of the part that is read. Reads go through BEReader
// at these offsets; writes through PutBE16/32.
#pragma once

#include <cstddef>
#include <cstdint>

// The Windows platform of cmap encoding records and name records.
inline constexpr uint16_t kSfntPlatformWindows = 3;

// A collection's header ("ttcf"): one offset table per face follows.
namespace CollectionHeader {
inline constexpr size_t kTag = 0;
inline constexpr size_t kVersion = 4;
inline constexpr size_t kNumFonts = 8;
inline constexpr size_t kFirstFontOffset = 12; // then one uint32 per face
} // namespace CollectionHeader

// The offset table at the start of a font (or of one face of a collection).
namespace SfntOffsetTable {
inline constexpr size_t kSfntVersion = 0;
inline constexpr size_t kNumTables = 4;
inline constexpr size_t kSearchRange = 6;
inline constexpr size_t kEntrySelector = 8;
inline constexpr size_t kRangeShift = 10;
inline constexpr size_t kSize = 12; // the table records follow
inline constexpr uint32_t kVersionTrueType = 0x00010000;
} // namespace SfntOffsetTable

// One record of the table directory.
namespace SfntRecord {
inline constexpr size_t kTag = 0;
inline constexpr size_t kCheckSum = 4;
inline constexpr size_t kOffset = 8;
inline constexpr size_t kLength = 12;
inline constexpr size_t kSize = 16;
} // namespace SfntRecord

// head: font-wide values and the form of loca.
namespace HeadTable {
inline constexpr size_t kVersion = 0;
inline constexpr size_t kFontRevision = 4;
inline constexpr size_t kCheckSumAdjustment = 8;
inline constexpr size_t kMagicNumber = 12;
inline constexpr size_t kFlags = 16;
inline constexpr size_t kUnitsPerEm = 18;
inline constexpr size_t kCreated = 20;
inline constexpr size_t kModified = 28;
inline constexpr size_t kXMin = 36;
inline constexpr size_t kYMin = 38;
inline constexpr size_t kXMax = 40;
inline constexpr size_t kYMax = 42;
inline constexpr size_t kMacStyle = 44;
inline constexpr size_t kLowestRecPPEM = 46;
inline constexpr size_t kFontDirectionHint = 48;
inline constexpr size_t kIndexToLocFormat = 50; // 0: 16-bit loca, 1: 32-bit
inline constexpr size_t kGlyphDataFormat = 52;
inline constexpr size_t kSize = 54;
} // namespace HeadTable

// maxp: the glyph count (version 0.5 ends after it) and, in version 1.0,
// the maxima a rasterizer sizes its buffers by.
namespace MaxpTable {
inline constexpr size_t kVersion = 0;
inline constexpr size_t kNumGlyphs = 4;
inline constexpr size_t kMaxPoints = 6;
inline constexpr size_t kMaxContours = 8;
inline constexpr size_t kMaxCompositePoints = 10;
inline constexpr size_t kMaxCompositeContours = 12;
inline constexpr size_t kMaxZones = 14;
inline constexpr size_t kVersion05Size = 6;
inline constexpr size_t kVersion10Size = 32;
inline constexpr uint32_t kVersion10 = 0x00010000;
} // namespace MaxpTable

// hhea: horizontal header.
namespace HheaTable {
inline constexpr size_t kVersion = 0;
inline constexpr size_t kAscender = 4;
inline constexpr size_t kDescender = 6;
inline constexpr size_t kLineGap = 8;
inline constexpr size_t kAdvanceWidthMax = 10;
inline constexpr size_t kMinLeftSideBearing = 12;
inline constexpr size_t kMinRightSideBearing = 14;
inline constexpr size_t kXMaxExtent = 16;
inline constexpr size_t kNumberOfHMetrics = 34;
inline constexpr size_t kSize = 36;
} // namespace HheaTable

// hmtx: numberOfHMetrics long metrics, then a left side bearing for each
// further glyph (which takes the last advance).
namespace HmtxTable {
inline constexpr size_t kAdvanceWidth = 0; // within a long metric
inline constexpr size_t kLeftSideBearing = 2;
inline constexpr size_t kLongMetricSize = 4;
inline constexpr size_t kShortMetricSize = 2; // a left side bearing alone
} // namespace HmtxTable

// fvar: the axes (tag, min, default, max as 16.16, flags, name ID), then
// the named instances (subfamily name ID, flags, one 16.16 coordinate an
// axis, perhaps a PostScript name ID).
namespace FvarTable {
inline constexpr size_t kAxesArrayOffset = 4;
inline constexpr size_t kAxisCount = 8;
inline constexpr size_t kAxisSize = 10;
inline constexpr size_t kInstanceCount = 12;
inline constexpr size_t kInstanceSize = 14;
inline constexpr size_t kAxisDefault = 8; // within an axis record
inline constexpr size_t kAxisRecordSize = 20;
inline constexpr size_t kInstanceSubfamilyNameId = 0; // within an instance record
inline constexpr size_t kInstanceCoordinates = 4;
} // namespace FvarTable

// OS/2: the fields read from it.
namespace Os2Table {
inline constexpr size_t kVersion = 0;
inline constexpr size_t kXAvgCharWidth = 2;
inline constexpr size_t kUsWeightClass = 4;
inline constexpr size_t kUsWidthClass = 6;
inline constexpr size_t kFsType = 8;
inline constexpr size_t kFsSelection = 62;
inline constexpr uint16_t kSelectionItalic = 0x0001;
} // namespace Os2Table

// name: header and name records; strings from stringOffset on.
namespace NameTable {
inline constexpr size_t kFormat = 0;
inline constexpr size_t kCount = 2;
inline constexpr size_t kStringOffset = 4;
inline constexpr size_t kFirstRecord = 6;
inline constexpr size_t kRecordSize = 12;
// Within a name record.
inline constexpr size_t kPlatformId = 0;
inline constexpr size_t kEncodingId = 2;
inline constexpr size_t kLanguageId = 4;
inline constexpr size_t kNameId = 6;
inline constexpr size_t kLength = 8;
inline constexpr size_t kOffset = 10;
} // namespace NameTable

// cmap: header and encoding records.
namespace CmapTable {
inline constexpr size_t kVersion = 0;
inline constexpr size_t kNumTables = 2;
inline constexpr size_t kFirstRecord = 4;
inline constexpr size_t kRecordSize = 8;
// Within an encoding record.
inline constexpr size_t kPlatformId = 0;
inline constexpr size_t kEncodingId = 2;
inline constexpr size_t kSubtableOffset = 4;
// Every subtable starts with its format.
inline constexpr size_t kSubtableFormat = 0;
inline constexpr uint16_t kEncodingSymbol = 0;
inline constexpr uint16_t kEncodingUnicodeBmp = 1;
} // namespace CmapTable

// cmap subtable format 4 (segment mapping to delta values): four arrays of
// segCount uint16 each, endCode, a reserved pad, then startCode, idDelta and
// idRangeOffset, then glyphIdArray.
namespace CmapFormat4 {
inline constexpr uint16_t kFormat = 4;
inline constexpr size_t kLength = 2;
inline constexpr size_t kLanguage = 4;
inline constexpr size_t kSegCountX2 = 6;
inline constexpr size_t kSearchRange = 8;
inline constexpr size_t kEntrySelector = 10;
inline constexpr size_t kRangeShift = 12;
inline constexpr size_t kEndCodes = 14;
inline constexpr size_t kHeaderSize = 14;
// Where array k (0 endCode, 1 startCode, 2 idDelta, 3 idRangeOffset) holds
// segment j, for nSegments segments.
constexpr size_t SegmentField(size_t nSegments, size_t k, size_t j)
{
    return kEndCodes + (k > 0 ? 2 : 0) + 2 * nSegments * k + 2 * j;
}
inline constexpr size_t kEndCodeArray = 0;
inline constexpr size_t kStartCodeArray = 1;
inline constexpr size_t kIdDeltaArray = 2;
inline constexpr size_t kIdRangeOffsetArray = 3;
// The four arrays and the pad, for nSegments segments.
constexpr size_t SegmentArraysSize(size_t nSegments) { return 2 + 8 * nSegments; }
} // namespace CmapFormat4

// A glyph in glyf: its header, then a simple glyph's contours or a
// composite's component records.
namespace GlyphHeader {
inline constexpr size_t kNumberOfContours = 0; // negative: composite
inline constexpr size_t kXMin = 2;
inline constexpr size_t kYMin = 4;
inline constexpr size_t kXMax = 6;
inline constexpr size_t kYMax = 8;
inline constexpr size_t kSize = 10;
} // namespace GlyphHeader

// A simple glyph's point flags, one a point (a flag with kRepeat is followed
// by how many times more it stands).
namespace SimpleGlyph {
inline constexpr uint8_t kOnCurve = 0x01;
inline constexpr uint8_t kXShort = 0x02;
inline constexpr uint8_t kYShort = 0x04;
inline constexpr uint8_t kRepeat = 0x08;
inline constexpr uint8_t kXSameOrPositive = 0x10;
inline constexpr uint8_t kYSameOrPositive = 0x20;
} // namespace SimpleGlyph

// A component record of a composite glyph; its size follows from its flags.
namespace GlyphComponent {
inline constexpr size_t kFlags = 0;
inline constexpr size_t kGlyphIndex = 2;
inline constexpr size_t kArguments = 4;
inline constexpr uint16_t kArg1And2AreWords = 0x0001;
inline constexpr uint16_t kWeHaveAScale = 0x0008;
inline constexpr uint16_t kMoreComponents = 0x0020;
inline constexpr uint16_t kWeHaveAnXAndYScale = 0x0040;
inline constexpr uint16_t kWeHaveATwoByTwo = 0x0080;
} // namespace GlyphComponent
