// SPDX-License-Identifier: MIT
// TrueType table writers and the font file around them.
#include "inspect/ttfwrite.h"

#include <algorithm>
#include <iterator>

#include "truetype/bereader.h"
#include "truetype/tables.h"

namespace {

constexpr uint16_t kLanguageEnglishUS = 0x409;
// version, numTables, one encoding record
constexpr size_t kCmapHeaderSize = CmapTable::kFirstRecord + CmapTable::kRecordSize;
constexpr uint16_t kLastCode = 0xFFFF;
constexpr size_t kMaxNameUnits = 1000; // keeps the name table's 16-bit offsets in range

size_t PaddedToFour(size_t size)
{
    return (size + 3) & ~size_t{3};
}

// searchRange, entrySelector and rangeShift of a binary-searchable array of
// count items of itemSize bytes, as the table directory and cmap format 4
// keep them.
struct SearchFields {
    uint16_t searchRange;
    uint16_t entrySelector;
    uint16_t rangeShift;
};

SearchFields BinarySearchFields(size_t count, size_t itemSize)
{
    uint16_t selector = 0;
    while ((size_t{2} << selector) <= count)
        ++selector;
    const size_t range = (size_t{1} << selector) * itemSize;
    return {static_cast<uint16_t>(range), selector,
            static_cast<uint16_t>(count * itemSize - range)};
}

// Big-endian values appended to a table being built, each written by PutBE16/32.
void AppendBE16(std::vector<uint8_t> &out, uint32_t value)
{
    out.resize(out.size() + 2);
    PutBE16(out.data() + out.size() - 2, static_cast<uint16_t>(value));
}

void AppendBE32(std::vector<uint8_t> &out, uint32_t value)
{
    out.resize(out.size() + 4);
    PutBE32(out.data() + out.size() - 4, value);
}

void AppendBytes(std::vector<uint8_t> &out, std::span<const uint8_t> bytes)
{
    out.insert(out.end(), bytes.begin(), bytes.end());
}

void Utf16BigEndian(std::vector<uint8_t> &out, std::u16string_view text)
{
    for (const char16_t unit : text)
        AppendBE16(out, unit);
}

// One segment of a format 4 subtable: codes start..end mapped by idDelta,
// or through glyphIdArray from arrayStart on.
struct CmapSegment {
    uint16_t start;
    uint16_t end;
    uint16_t delta;
    bool usesArray;
    size_t arrayStart;
};

} // namespace

bool BuildGlyfAndLoca(std::span<const std::span<const uint8_t>> glyphs, std::vector<uint8_t> &glyf,
                      std::vector<uint8_t> &loca)
{
    glyf.clear();
    loca.clear();
    for (const std::span<const uint8_t> glyph : glyphs) {
        if (glyf.size() + PaddedToFour(glyph.size()) > UINT32_MAX)
            return false;
        AppendBE32(loca, static_cast<uint32_t>(glyf.size()));
        glyf.insert(glyf.end(), glyph.begin(), glyph.end());
        glyf.resize(PaddedToFour(glyf.size()), 0);
    }
    AppendBE32(loca, static_cast<uint32_t>(glyf.size()));
    return true;
}

bool BuildCmapFormat4(const std::map<uint16_t, uint16_t> &codeToGlyph, std::vector<uint8_t> &cmap)
{
    // Runs of consecutive codes: one idDelta when the glyphs run along with
    // the codes, else the run's glyphs in glyphIdArray.
    std::vector<CmapSegment> segments;
    std::vector<uint16_t> glyphIds;
    for (auto it = codeToGlyph.begin(); it != codeToGlyph.end() && it->first != kLastCode;) {
        auto last = it;
        bool sameDelta = true;
        for (auto next = std::next(it); next != codeToGlyph.end() && next->first != kLastCode &&
                                        next->first == last->first + 1;
             ++next) {
            sameDelta = sameDelta && static_cast<uint16_t>(next->second - next->first) ==
                                         static_cast<uint16_t>(it->second - it->first);
            last = next;
        }
        CmapSegment segment{it->first, last->first, static_cast<uint16_t>(it->second - it->first),
                            !sameDelta, glyphIds.size()};
        for (auto in = it; segment.usesArray && in != std::next(last); ++in)
            glyphIds.push_back(in->second);
        if (segment.usesArray)
            segment.delta = 0;
        segments.push_back(segment);
        it = std::next(last);
    }
    segments.push_back({kLastCode, kLastCode, 1, false, 0}); // the required final segment

    const size_t segCount = segments.size();
    const size_t length =
        CmapFormat4::kHeaderSize + CmapFormat4::SegmentArraysSize(segCount) + 2 * glyphIds.size();
    if (length > UINT16_MAX)
        return false;
    cmap.clear();
    AppendBE16(cmap, 0); // version
    AppendBE16(cmap, 1); // numTables
    AppendBE16(cmap, kSfntPlatformWindows);
    AppendBE16(cmap, CmapTable::kEncodingUnicodeBmp);
    AppendBE32(cmap, kCmapHeaderSize);
    const SearchFields search = BinarySearchFields(segCount, 2);
    AppendBE16(cmap, CmapFormat4::kFormat);
    AppendBE16(cmap, static_cast<uint32_t>(length));
    AppendBE16(cmap, 0); // language
    AppendBE16(cmap, static_cast<uint32_t>(2 * segCount));
    AppendBE16(cmap, search.searchRange);
    AppendBE16(cmap, search.entrySelector);
    AppendBE16(cmap, search.rangeShift);
    for (const CmapSegment &segment : segments)
        AppendBE16(cmap, segment.end);
    AppendBE16(cmap, 0); // reservedPad
    for (const CmapSegment &segment : segments)
        AppendBE16(cmap, segment.start);
    for (const CmapSegment &segment : segments)
        AppendBE16(cmap, segment.delta);
    for (size_t i = 0; i < segCount; ++i) {
        // idRangeOffset counts from its own position to the segment's first
        // glyphIdArray entry.
        const CmapSegment &segment = segments[i];
        AppendBE16(cmap, segment.usesArray
                       ? static_cast<uint32_t>(2 * (segCount - i) + 2 * segment.arrayStart)
                       : 0);
    }
    for (const uint16_t glyph : glyphIds)
        AppendBE16(cmap, glyph);
    return true;
}

std::vector<uint8_t> BuildNameTable(std::u16string_view family, std::string_view postScriptName)
{
    const std::u16string postScript(postScriptName.begin(), postScriptName.end());
    const std::u16string_view familyName = family.substr(0, kMaxNameUnits);
    const std::pair<uint16_t, std::u16string_view> names[] = {
        {1, familyName},                                    // family
        {2, u"Regular"},                                    // subfamily
        {3, familyName},                                    // unique identifier
        {4, familyName},                                    // full name
        {6, std::u16string_view(postScript).substr(0, 63)}, // PostScript name
    };
    constexpr size_t kRecords = std::size(names);
    std::vector<uint8_t> table;
    AppendBE16(table, 0); // format
    AppendBE16(table, kRecords);
    AppendBE16(table, 6 + 12 * kRecords); // storage offset
    size_t storageOffset = 0;
    for (const auto &[nameId, text] : names) {
        AppendBE16(table, kSfntPlatformWindows);
        AppendBE16(table, CmapTable::kEncodingUnicodeBmp);
        AppendBE16(table, kLanguageEnglishUS);
        AppendBE16(table, nameId);
        AppendBE16(table, static_cast<uint32_t>(2 * text.size()));
        AppendBE16(table, static_cast<uint32_t>(storageOffset));
        storageOffset += 2 * text.size();
    }
    for (const auto &name : names)
        Utf16BigEndian(table, name.second);
    return table;
}

std::vector<uint8_t> BuildPostTable()
{
    std::vector<uint8_t> table;
    AppendBE32(table, 0x00030000); // version 3.0
    AppendBE32(table, 0);          // italicAngle
    AppendBE16(table, 0);          // underlinePosition
    AppendBE16(table, 0);          // underlineThickness
    for (int k = 0; k < 5; ++k)
        AppendBE32(table, 0); // isFixedPitch, then the four memory hints
    return table;
}

std::vector<uint8_t> BuildOs2Table(const Os2Values &values)
{
    constexpr uint16_t kWeightRegular = 400;
    constexpr uint16_t kWidthMedium = 5;
    constexpr uint16_t kSelectionRegular = 0x40;
    std::vector<uint8_t> table;
    AppendBE16(table, 4); // version
    AppendBE16(table, static_cast<uint16_t>(values.averageWidth));
    AppendBE16(table, kWeightRegular);
    AppendBE16(table, kWidthMedium);
    AppendBE16(table, 0); // fsType: installable
    for (int k = 0; k < 11; ++k)
        AppendBE16(table, 0); // sub- and superscript, strikeout, family class
    for (int k = 0; k < 10; ++k)
        table.push_back(0); // panose: any
    for (int k = 0; k < 4; ++k)
        AppendBE32(table, 0);                                      // ulUnicodeRange1-4
    AppendBytes(table, std::vector<uint8_t>{' ', ' ', ' ', ' '}); // achVendID
    AppendBE16(table, kSelectionRegular);
    AppendBE16(table, values.firstChar);
    AppendBE16(table, values.lastChar);
    AppendBE16(table, static_cast<uint16_t>(values.typoAscender));
    AppendBE16(table, static_cast<uint16_t>(values.typoDescender));
    AppendBE16(table, static_cast<uint16_t>(values.typoLineGap));
    AppendBE16(table, values.winAscent);
    AppendBE16(table, values.winDescent);
    AppendBE32(table, 0); // ulCodePageRange1
    AppendBE32(table, 0); // ulCodePageRange2
    AppendBE16(table, 0); // sxHeight
    AppendBE16(table, 0); // sCapHeight
    AppendBE16(table, 0); // usDefaultChar
    AppendBE16(table, ' ');
    AppendBE16(table, 0); // usMaxContext
    return table;
}

bool AssembleFont(std::vector<TtfTable> tables, std::vector<uint8_t> &font)
{
    std::sort(tables.begin(), tables.end(),
              [](const TtfTable &a, const TtfTable &b) { return a.tag < b.tag; });
    font.clear();
    const SearchFields search = BinarySearchFields(tables.size(), kSfntTableRecordSize);
    AppendBE32(font, SfntOffsetTable::kVersionTrueType);
    AppendBE16(font, static_cast<uint32_t>(tables.size()));
    AppendBE16(font, search.searchRange);
    AppendBE16(font, search.entrySelector);
    AppendBE16(font, search.rangeShift);

    uint64_t offset = kSfntOffsetTableSize + kSfntTableRecordSize * tables.size();
    size_t headOffset = 0;
    bool hasHead = false;
    for (TtfTable &table : tables) {
        if (offset + table.bytes.size() > UINT32_MAX)
            return false;
        if (table.tag == SfntTag("head") && table.bytes.size() >= HeadTable::kCheckSumAdjustment + 4) {
            // Summed with its adjustment zero, then set over the whole file.
            PutBE32(table.bytes.data() + HeadTable::kCheckSumAdjustment, 0);
            headOffset = static_cast<size_t>(offset);
            hasHead = true;
        }
        AppendBE32(font, table.tag);
        AppendBE32(font, SfntChecksum(table.bytes));
        AppendBE32(font, static_cast<uint32_t>(offset));
        AppendBE32(font, static_cast<uint32_t>(table.bytes.size()));
        offset += PaddedToFour(table.bytes.size());
    }
    for (const TtfTable &table : tables) {
        AppendBytes(font, table.bytes);
        font.resize(PaddedToFour(font.size()), 0);
    }
    if (hasHead)
        PutBE32(font.data() + headOffset + HeadTable::kCheckSumAdjustment, kSfntChecksumMagic - SfntChecksum(font));
    return true;
}
