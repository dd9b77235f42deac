// SPDX-License-Identifier: MIT
#include "support/fontbuilder.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>

#include "truetype/sfnt.h"

void AppendU8(Bytes &bytes, uint8_t value)
{
    bytes.push_back(value);
}

void AppendU16(Bytes &bytes, uint16_t value)
{
    bytes.push_back(static_cast<uint8_t>(value >> 8));
    bytes.push_back(static_cast<uint8_t>(value));
}

void AppendI16(Bytes &bytes, int16_t value)
{
    AppendU16(bytes, static_cast<uint16_t>(value));
}

void AppendU32(Bytes &bytes, uint32_t value)
{
    AppendU16(bytes, static_cast<uint16_t>(value >> 16));
    AppendU16(bytes, static_cast<uint16_t>(value));
}

void AppendBytes(Bytes &bytes, const Bytes &more)
{
    bytes.insert(bytes.end(), more.begin(), more.end());
}

void AppendTag(Bytes &bytes, std::string_view tag)
{
    if (tag.size() != 4)
        throw std::invalid_argument("table tags have 4 characters");
    for (char c : tag)
        bytes.push_back(static_cast<uint8_t>(c));
}

void PutU16(Bytes &bytes, size_t offset, uint16_t value)
{
    bytes.at(offset) = static_cast<uint8_t>(value >> 8);
    bytes.at(offset + 1) = static_cast<uint8_t>(value);
}

void PutU32(Bytes &bytes, size_t offset, uint32_t value)
{
    PutU16(bytes, offset, static_cast<uint16_t>(value >> 16));
    PutU16(bytes, offset + 2, static_cast<uint16_t>(value));
}

uint16_t GetU16(const Bytes &bytes, size_t offset)
{
    return static_cast<uint16_t>((bytes.at(offset) << 8) | bytes.at(offset + 1));
}

uint32_t GetU32(const Bytes &bytes, size_t offset)
{
    return (uint32_t{GetU16(bytes, offset)} << 16) | GetU16(bytes, offset + 2);
}

void AddTable(FontBuilder &font, std::string_view tag, Bytes data)
{
    font.tables.push_back(FontTable{std::string(tag), std::move(data)});
}

void SetTable(FontBuilder &font, std::string_view tag, Bytes data)
{
    if (Bytes *existing = FindTable(font, tag))
        *existing = std::move(data);
    else
        AddTable(font, tag, std::move(data));
}

void RemoveTable(FontBuilder &font, std::string_view tag)
{
    std::erase_if(font.tables, [&](const FontTable &table) { return table.tag == tag; });
}

Bytes *FindTable(FontBuilder &font, std::string_view tag)
{
    for (FontTable &table : font.tables)
        if (table.tag == tag)
            return &table.data;
    return nullptr;
}

uint32_t TableChecksum(const Bytes &data)
{
    return SfntChecksum(data);
}

namespace {

void PadToFour(Bytes &bytes)
{
    while (bytes.size() % 4 != 0)
        bytes.push_back(0);
}

// Offset table and directory for the font at `start` in the file, followed
// by its tables; offsets count from the start of the file.
Bytes BuildFontAt(const FontBuilder &font, size_t start)
{
    const uint16_t numTables = static_cast<uint16_t>(font.tables.size());
    uint16_t entrySelector = 0;
    while (numTables > 0 && (2u << entrySelector) <= numTables)
        ++entrySelector;
    const uint16_t searchRange = numTables > 0 ? static_cast<uint16_t>(16u << entrySelector) : 0;
    const uint16_t rangeShift = static_cast<uint16_t>(numTables * 16u - searchRange);

    Bytes out;
    AppendU32(out, font.sfntVersion);
    AppendU16(out, numTables);
    AppendU16(out, searchRange);
    AppendU16(out, entrySelector);
    AppendU16(out, rangeShift);
    // Data in layout order (directory order unless given), each table on a
    // four-byte boundary; records in directory order.
    std::vector<size_t> order = font.layout;
    if (order.empty())
        for (size_t k = 0; k < font.tables.size(); ++k)
            order.push_back(k);
    auto tableData = [&](size_t k) {
        Bytes data = font.tables[k].data;
        if (font.tables[k].tag == "head" && data.size() >= 12)
            PutU32(data, 8, 0); // checkSumAdjustment counts as 0 for the checksum
        return data;
    };
    std::vector<size_t> positions(font.tables.size());
    size_t tableOffset = SfntOffsetTable::kSize + SfntRecord::kSize * size_t{numTables};
    for (size_t k : order) {
        positions[k] = tableOffset;
        tableOffset += (font.tables[k].data.size() + 3) & ~size_t{3};
    }
    for (size_t k = 0; k < font.tables.size(); ++k) {
        AppendTag(out, font.tables[k].tag);
        AppendU32(out, TableChecksum(tableData(k)));
        AppendU32(out, static_cast<uint32_t>(start + positions[k]));
        AppendU32(out, static_cast<uint32_t>(font.tables[k].data.size()));
    }
    for (size_t k : order) {
        AppendBytes(out, tableData(k));
        PadToFour(out);
    }
    return out;
}

} // namespace

Bytes BuildFont(const FontBuilder &font)
{
    Bytes out = BuildFontAt(font, 0);
    for (size_t k = 0; k < font.tables.size(); ++k) {
        if (font.tables[k].tag != "head" || font.tables[k].data.size() < 12)
            continue;
        const uint32_t headOffset = GetU32(out, DirectoryRecordPosition(k) + 8);
        PutU32(out, headOffset + 8, kSfntChecksumMagic - TableChecksum(out));
        break;
    }
    return out;
}

Bytes BuildCollection(const std::vector<FontBuilder> &fonts)
{
    Bytes out;
    AppendTag(out, "ttcf");
    AppendU32(out, 0x00010000);
    AppendU32(out, static_cast<uint32_t>(fonts.size()));
    const size_t offsetsAt = out.size();
    for (size_t k = 0; k < fonts.size(); ++k)
        AppendU32(out, 0);
    PadToFour(out);
    for (size_t k = 0; k < fonts.size(); ++k) {
        PutU32(out, offsetsAt + 4 * k, static_cast<uint32_t>(out.size()));
        AppendBytes(out, BuildFontAt(fonts[k], out.size()));
    }
    return out;
}

uint32_t TableOffsetInFont(const Bytes &font, std::string_view tag)
{
    const uint16_t numTables = GetU16(font, 4);
    for (size_t k = 0; k < numTables; ++k) {
        const size_t record = DirectoryRecordPosition(k);
        if (std::string_view(reinterpret_cast<const char *>(font.data() + record), 4) == tag)
            return GetU32(font, record + 8);
    }
    return 0;
}

Bytes MakeHead(int16_t indexToLocFormat, uint16_t unitsPerEm)
{
    Bytes head;
    AppendU32(head, 0x00010000); // version
    AppendU32(head, 0x00010000); // fontRevision
    AppendU32(head, 0);          // checkSumAdjustment (set by BuildFont)
    AppendU32(head, 0x5F0F3CF5); // magicNumber
    AppendU16(head, 0x000B);     // flags
    AppendU16(head, unitsPerEm);
    for (int i = 0; i < 4; ++i)
        AppendU32(head, 0); // created, modified
    AppendI16(head, 0);     // xMin
    AppendI16(head, -410);  // yMin
    AppendI16(head, 2048);  // xMax
    AppendI16(head, 1638);  // yMax
    AppendU16(head, 0);     // macStyle
    AppendU16(head, 8);     // lowestRecPPEM
    AppendI16(head, 2);     // fontDirectionHint
    AppendI16(head, indexToLocFormat);
    AppendI16(head, 0); // glyphDataFormat
    return head;        // 54 bytes
}

Bytes MakeMaxp(uint16_t numGlyphs)
{
    Bytes maxp;
    AppendU32(maxp, 0x00010000);
    AppendU16(maxp, numGlyphs);
    const uint16_t limits[] = {64, 4, 128, 4, 2, 16, 16, 0, 64, 64, 256, 8, 2};
    for (uint16_t value : limits)
        AppendU16(maxp, value);
    return maxp; // 32 bytes
}

Bytes MakeHhea(uint16_t numberOfHMetrics, int16_t ascender, int16_t descender)
{
    Bytes hhea;
    AppendU32(hhea, 0x00010000);
    AppendI16(hhea, ascender);
    AppendI16(hhea, descender);
    AppendI16(hhea, 0);    // lineGap
    AppendU16(hhea, 2048); // advanceWidthMax
    AppendI16(hhea, 0);    // minLeftSideBearing
    AppendI16(hhea, 0);    // minRightSideBearing
    AppendI16(hhea, 2048); // xMaxExtent
    AppendI16(hhea, 1);    // caretSlopeRise
    AppendI16(hhea, 0);    // caretSlopeRun
    AppendI16(hhea, 0);    // caretOffset
    for (int i = 0; i < 4; ++i)
        AppendI16(hhea, 0);
    AppendI16(hhea, 0); // metricDataFormat
    AppendU16(hhea, numberOfHMetrics);
    return hhea; // 36 bytes
}

Bytes MakeHmtx(const std::vector<uint16_t> &advanceWidths)
{
    Bytes hmtx;
    for (uint16_t advance : advanceWidths) {
        AppendU16(hmtx, advance);
        AppendI16(hmtx, 0);
    }
    return hmtx;
}

Bytes MakeCvt(const std::vector<int16_t> &values)
{
    Bytes cvt;
    for (int16_t value : values)
        AppendI16(cvt, value);
    return cvt;
}

Bytes MakeFpgm()
{
    return Bytes{0xB0, 0x00, 0x2C, 0x2D}; // PUSHB[0] 0, FDEF, ENDF
}

Bytes MakePrep()
{
    return Bytes{0xB0, 0x01, 0x21}; // PUSHB[0] 1, POP
}

Bytes MakePost()
{
    Bytes post;
    AppendU32(post, 0x00030000); // version 3: no glyph names
    AppendU32(post, 0);          // italicAngle
    AppendI16(post, -200);       // underlinePosition
    AppendI16(post, 100);        // underlineThickness
    for (int i = 0; i < 5; ++i)
        AppendU32(post, 0); // isFixedPitch, memory usage
    return post;            // 32 bytes
}

Bytes MakeOS2(uint16_t weightClass)
{
    Bytes os2;
    AppendU16(os2, 4); // version
    AppendI16(os2, 1000);
    AppendU16(os2, weightClass);
    AppendU16(os2, 5); // usWidthClass
    AppendU16(os2, 0); // fsType
    for (int i = 0; i < 11; ++i)
        AppendI16(os2, 100); // sub/superscript, strikeout, family class
    for (int i = 0; i < 10; ++i)
        AppendU8(os2, 0); // panose
    for (int i = 0; i < 4; ++i)
        AppendU32(os2, 0); // unicode ranges
    AppendTag(os2, "TEST");
    AppendU16(os2, 0x0040); // fsSelection: regular
    AppendU16(os2, 0x0020); // usFirstCharIndex
    AppendU16(os2, 0x007E); // usLastCharIndex
    AppendI16(os2, 1638);
    AppendI16(os2, -410);
    AppendI16(os2, 0);
    AppendU16(os2, 1638);
    AppendU16(os2, 410);
    AppendU32(os2, 1); // code page ranges
    AppendU32(os2, 0);
    AppendI16(os2, 1024); // sxHeight
    AppendI16(os2, 1434); // sCapHeight
    AppendU16(os2, 0);    // usDefaultChar
    AppendU16(os2, 0x20); // usBreakChar
    AppendU16(os2, 1);    // usMaxContext
    return os2;           // 96 bytes
}

Bytes MakeName(std::string_view familyName)
{
    Bytes utf16;
    for (char c : familyName)
        AppendU16(utf16, static_cast<uint8_t>(c));
    const uint16_t nameIds[] = {1, 4};
    Bytes name;
    AppendU16(name, 0); // format
    AppendU16(name, 2); // count
    AppendU16(name, 6 + 12 * 2);
    for (uint16_t nameId : nameIds) {
        AppendU16(name, 3);      // platform
        AppendU16(name, 1);      // encoding
        AppendU16(name, 0x0409); // language
        AppendU16(name, nameId);
        AppendU16(name, static_cast<uint16_t>(utf16.size()));
        AppendU16(name, 0); // both records share the string
    }
    AppendBytes(name, utf16);
    return name;
}

Bytes MakeSimpleGlyph(const std::vector<GlyphPoint> &points)
{
    if (points.empty())
        throw std::invalid_argument("a simple glyph needs points");
    int16_t xMin = points[0].x, xMax = points[0].x, yMin = points[0].y, yMax = points[0].y;
    for (const GlyphPoint &p : points) {
        xMin = std::min(xMin, p.x);
        xMax = std::max(xMax, p.x);
        yMin = std::min(yMin, p.y);
        yMax = std::max(yMax, p.y);
    }
    Bytes glyph;
    AppendI16(glyph, 1);
    AppendI16(glyph, xMin);
    AppendI16(glyph, yMin);
    AppendI16(glyph, xMax);
    AppendI16(glyph, yMax);
    AppendU16(glyph, static_cast<uint16_t>(points.size() - 1)); // endPtsOfContours
    AppendU16(glyph, 0);                                        // instructionLength
    for (size_t i = 0; i < points.size(); ++i)
        AppendU8(glyph, 0x01); // on curve, 16-bit deltas
    int16_t previous = 0;
    for (const GlyphPoint &p : points) {
        AppendI16(glyph, static_cast<int16_t>(p.x - previous));
        previous = p.x;
    }
    previous = 0;
    for (const GlyphPoint &p : points) {
        AppendI16(glyph, static_cast<int16_t>(p.y - previous));
        previous = p.y;
    }
    return glyph;
}

Bytes MakeOpaqueGlyph(size_t length, uint8_t seed)
{
    if (length < 2)
        throw std::invalid_argument("a glyph starts with numberOfContours");
    Bytes glyph;
    AppendI16(glyph, 1);
    for (size_t i = 2; i < length; ++i)
        glyph.push_back(static_cast<uint8_t>(seed + i));
    return glyph;
}

size_t ComponentArgumentBytes(uint16_t flags)
{
    size_t size = (flags & kArgsAreWords) ? 4 : 2;
    if (flags & kHaveScale)
        size += 2;
    else if (flags & kHaveXYScale)
        size += 4;
    else if (flags & kHaveTwoByTwo)
        size += 8;
    return size;
}

Bytes MakeCompositeGlyph(const std::vector<Component> &components, const Bytes &tail)
{
    Bytes glyph;
    AppendI16(glyph, -1);
    for (int i = 0; i < 4; ++i)
        AppendI16(glyph, static_cast<int16_t>(i * 100));
    for (const Component &component : components) {
        AppendU16(glyph, component.flags);
        AppendU16(glyph, component.glyphIndex);
        if (!component.arguments.empty()) {
            AppendBytes(glyph, component.arguments);
            continue;
        }
        const size_t count = ComponentArgumentBytes(component.flags);
        for (size_t i = 0; i < count; ++i)
            glyph.push_back(static_cast<uint8_t>(0x10 + i));
    }
    AppendBytes(glyph, tail);
    return glyph;
}

Bytes MakeCompositeOf(const std::vector<uint16_t> &glyphIndices)
{
    std::vector<Component> components;
    for (size_t i = 0; i < glyphIndices.size(); ++i) {
        uint16_t flags = kArgsAreWords | kArgsAreXYValues;
        if (i + 1 < glyphIndices.size())
            flags |= kMoreComponents;
        components.push_back(Component{flags, glyphIndices[i], {}});
    }
    return MakeCompositeGlyph(components);
}

GlyfLoca MakeGlyfLoca(const std::vector<Bytes> &glyphs, bool longForm)
{
    GlyfLoca result;
    auto appendOffset = [&](size_t offset) {
        if (longForm)
            AppendU32(result.loca, static_cast<uint32_t>(offset));
        else
            AppendU16(result.loca, static_cast<uint16_t>(offset / 2));
    };
    for (const Bytes &glyph : glyphs) {
        appendOffset(result.glyf.size());
        AppendBytes(result.glyf, glyph);
        if (!longForm && result.glyf.size() % 2 != 0)
            result.glyf.push_back(0);
    }
    appendOffset(result.glyf.size());
    return result;
}

Bytes MakeCmapFormat4(const std::vector<CmapSegment> &segmentsIn, bool appendFinalSegment)
{
    std::vector<CmapSegment> segments = segmentsIn;
    if (appendFinalSegment)
        segments.push_back(CmapSegment{0xFFFF, 0xFFFF, 1, {}, std::nullopt});
    const uint16_t segCount = static_cast<uint16_t>(segments.size());
    uint16_t entrySelector = 0;
    while (segCount > 0 && (2u << entrySelector) <= segCount)
        ++entrySelector;
    const uint16_t searchRange = segCount > 0 ? static_cast<uint16_t>(2u << entrySelector) : 0;

    // glyphIdArray: each segment's ids in order.
    std::vector<size_t> arrayStart;
    Bytes glyphIdArray;
    for (const CmapSegment &segment : segments) {
        arrayStart.push_back(glyphIdArray.size());
        for (uint16_t id : segment.glyphIds)
            AppendU16(glyphIdArray, id);
    }

    Bytes sub;
    AppendU16(sub, 4);
    AppendU16(sub, 0); // length, set below
    AppendU16(sub, 0); // language
    AppendU16(sub, static_cast<uint16_t>(segCount * 2));
    AppendU16(sub, searchRange);
    AppendU16(sub, entrySelector);
    AppendU16(sub, static_cast<uint16_t>(segCount * 2 - searchRange));
    for (const CmapSegment &segment : segments)
        AppendU16(sub, segment.endCode);
    AppendU16(sub, 0); // reservedPad
    for (const CmapSegment &segment : segments)
        AppendU16(sub, segment.startCode);
    for (const CmapSegment &segment : segments)
        AppendI16(sub, segment.idDelta);
    for (size_t j = 0; j < segments.size(); ++j) {
        const CmapSegment &segment = segments[j];
        uint16_t idRangeOffset = 0;
        if (segment.rawIdRangeOffset)
            idRangeOffset = *segment.rawIdRangeOffset;
        else if (!segment.glyphIds.empty())
            idRangeOffset = static_cast<uint16_t>(2 * (segCount - j) + arrayStart[j]);
        AppendU16(sub, idRangeOffset);
    }
    AppendBytes(sub, glyphIdArray);
    PutU16(sub, 2, static_cast<uint16_t>(sub.size()));
    return sub;
}

Bytes MakeCmapFormat12(const std::vector<CmapGroup> &groups)
{
    Bytes sub;
    AppendU16(sub, 12);
    AppendU16(sub, 0);
    AppendU32(sub, static_cast<uint32_t>(16 + 12 * groups.size()));
    AppendU32(sub, 0); // language
    AppendU32(sub, static_cast<uint32_t>(groups.size()));
    for (const CmapGroup &group : groups) {
        AppendU32(sub, group.startCharCode);
        AppendU32(sub, group.endCharCode);
        AppendU32(sub, group.startGlyphId);
    }
    return sub;
}

Bytes MakeCmap(const std::vector<CmapSubtable> &subtables)
{
    Bytes header;
    AppendU16(header, 0);
    AppendU16(header, static_cast<uint16_t>(subtables.size()));
    Bytes body;
    std::map<Bytes, uint32_t> stored;
    const size_t bodyStart = 4 + 8 * subtables.size();
    for (const CmapSubtable &subtable : subtables) {
        auto found = stored.find(subtable.data);
        uint32_t offset;
        if (found != stored.end()) {
            offset = found->second;
        } else {
            offset = static_cast<uint32_t>(bodyStart + body.size());
            stored.emplace(subtable.data, offset);
            AppendBytes(body, subtable.data);
            while (body.size() % 4 != 0)
                body.push_back(0);
        }
        AppendU16(header, subtable.platformID);
        AppendU16(header, subtable.encodingID);
        AppendU32(header, offset);
    }
    AppendBytes(header, body);
    return header;
}

FontBuilder MakeSampleFont(const SampleFontOptions &options)
{
    const uint16_t numGlyphs = static_cast<uint16_t>(options.glyphs.size());
    const GlyfLoca glyfLoca = MakeGlyfLoca(options.glyphs, options.longLoca);
    FontBuilder font;
    AddTable(font, "OS/2", MakeOS2());
    if (!options.unicodeSegments.empty())
        AddTable(font, "cmap", MakeCmap({{3, 1, MakeCmapFormat4(options.unicodeSegments)}}));
    AddTable(font, "cvt ", MakeCvt({0, 100, 200, -50}));
    AddTable(font, "fpgm", MakeFpgm());
    AddTable(font, "glyf", glyfLoca.glyf);
    AddTable(font, "head", MakeHead(options.longLoca ? 1 : 0));
    AddTable(font, "hhea", MakeHhea(numGlyphs));
    AddTable(font, "hmtx", MakeHmtx(std::vector<uint16_t>(numGlyphs, 1000)));
    AddTable(font, "loca", glyfLoca.loca);
    AddTable(font, "maxp", MakeMaxp(numGlyphs));
    AddTable(font, "name", MakeName(options.familyName));
    AddTable(font, "post", MakePost());
    AddTable(font, "prep", MakePrep());
    return font;
}

TempFile::TempFile(const Bytes &bytes, std::string_view suffix)
{
    const char *dir = std::getenv("TMPDIR");
    std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/fndl-test-XXXXXX";
    pattern += suffix;
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemps(name.data(), static_cast<int>(suffix.size()));
    if (fd < 0)
        throw std::runtime_error("cannot create a temporary file");
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
        if (n <= 0) {
            close(fd);
            unlink(name.data());
            throw std::runtime_error("cannot write a temporary file");
        }
        written += static_cast<size_t>(n);
    }
    close(fd);
    path = name.data();
}

TempFile::~TempFile()
{
    unlink(path.c_str());
}

Bytes MakeLetterFont()
{
    const std::vector<Bytes> glyphs = {
        MakeSimpleGlyph({{0, 0}, {0, 700}, {500, 700}, {500, 0}}),             // .notdef
        Bytes{},                                                               // space
        MakeSimpleGlyph({{0, 0}, {250, 700}, {500, 0}}),                       // A
        MakeSimpleGlyph({{0, 0}, {0, 700}, {400, 600}, {400, 100}, {60, 20}}), // B
        MakeCompositeOf({2, 3}),                                               // C
        MakeCompositeOf({4, 2}),                                               // D
    };
    return BuildFont(MakeSampleFont({.glyphs = glyphs,
                                     .unicodeSegments = {{0x20, 0x20, 1 - 0x20}, {0x41, 0x44, 2 - 0x41}},
                                     .familyName = "Synthetic"}));
}
