// SPDX-License-Identifier: MIT
// TrueType font access: table fetch from both sources, directory search,
// glyph location, composite walks, glyph count, cmap, read scopes, and the
// behaviour on damaged fonts.
#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "session/session.h"
#include "platform/platform_hooks.h"
#include "support/fontbuilder.h"
#include "support/xlrecorder.h"
#include "truetype/bereader.h"
#include "truetype/truetype.h"

namespace {

enum class Source { DeviceContext, FontFile };
constexpr Source kBothSources[] = {Source::DeviceContext, Source::FontFile};

const char *SourceName(Source source)
{
    return source == Source::FontFile ? "font file" : "device context";
}

struct TempFace {
    FontFace face;
    operator FontFace *() { return &face; }
};

// A font made available through one source: served to the device context of
// a session, or written to a temporary file. Face() reads it as one download
// call does, until the end of the expression.
struct LoadedFont {
    Source source;
    std::unique_ptr<TempFile> file;
    HDC hdc = nullptr;
    HFONT hFont = nullptr;
    FontSession session{};

    LoadedFont(const Bytes &bytes, Source sourceIn) : source(sourceIn)
    {
        if (source == Source::FontFile) {
            file = std::make_unique<TempFile>(bytes);
            return;
        }
        PlatformServeFontData(bytes.data(), bytes.size());
        hdc = CreateCompatibleDC(nullptr);
        LOGFONTA logFont{};
        logFont.lfHeight = -100;
        std::strcpy(logFont.lfFaceName, "Synthetic");
        hFont = CreateFontIndirectA(&logFont);
        SelectObject(hdc, hFont);
        session.hdc = hdc;
    }
    ~LoadedFont()
    {
        if (hdc)
            DeleteDC(hdc);
        if (hFont)
            DeleteObject(hFont);
        PlatformServeFontData(nullptr, 0);
    }
    LoadedFont(const LoadedFont &) = delete;
    LoadedFont &operator=(const LoadedFont &) = delete;

    const char *Path() const { return file ? file->path.c_str() : "/nonexistent/unused.ttf"; }
    TempFace Face() { return TempFace{FontFace(&session, source == Source::FontFile, Path())}; }
};

struct GlyphLookup {
    int32_t length = 0;
    bool hasPointer = false;
    bool hasStorage = false;
    Bytes bytes; // the glyph's bytes when found with a positive length
};

GlyphLookup Lookup(LoadedFont &font, uint32_t glyphIndex)
{
    GlyphLookup result;
    uint8_t *pGlyph = nullptr;
    uint8_t *pStorage = nullptr;
    TempFace face = font.Face();
    GetTTEFilePointer(face, &result.length, glyphIndex, &pGlyph, &pStorage);
    result.hasPointer = pGlyph != nullptr;
    result.hasStorage = pStorage != nullptr;
    if (pGlyph && result.length > 0)
        result.bytes.assign(pGlyph, pGlyph + result.length);
    ReleaseFontTable(pStorage);
    return result;
}

// One ReadChar with its embedded character record, as the printer gets it.
struct SentChar {
    uint16_t code = 0;
    Bytes record;
    uint16_t GlyphIndex() const { return GetU16(record, 4); }
};

// Splits a run of bytes into ReadChar operations of the exact form
// C1 code F8 A2 C2 size F8 A3 53 FA length data; false on anything else.
bool ParseReadChars(const Bytes &bytes, std::vector<SentChar> &chars)
{
    auto le16 = [&](size_t at) { return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8)); };
    auto le32 = [&](size_t at) { return uint32_t{le16(at)} | (uint32_t{le16(at + 2)} << 16); };
    size_t at = 0;
    while (at < bytes.size()) {
        if (bytes.size() - at < 18)
            return false;
        const uint8_t expectedAt[][2] = {{0, 0xC1}, {3, 0xF8}, {4, 0xA2}, {5, 0xC2},
                                         {10, 0xF8}, {11, 0xA3}, {12, 0x53}, {13, 0xFA}};
        for (const auto &[offset, value] : expectedAt)
            if (bytes[at + offset] != value)
                return false;
        const uint32_t size = le32(at + 6);
        const uint32_t length = le32(at + 14);
        if (size != length || bytes.size() - at - 18 < length)
            return false;
        SentChar sent;
        sent.code = le16(at + 1);
        sent.record.assign(bytes.begin() + at + 18, bytes.begin() + at + 18 + length);
        chars.push_back(std::move(sent));
        at += 18 + length;
    }
    return true;
}

struct WalkResult {
    int result = -1;
    std::vector<SentChar> chars;
    std::vector<uint16_t> GlyphIndices() const
    {
        std::vector<uint16_t> indices;
        for (const SentChar &sent : chars)
            indices.push_back(sent.GlyphIndex());
        return indices;
    }
};

// Walks the components of a composite glyph of the font (passing its own
// glyph index when asked) and collects what went into the stream.
WalkResult Walk(LoadedFont &font, uint16_t compositeIndex)
{
    const GlyphLookup composite = Lookup(font, compositeIndex);
    EXPECT_GT(composite.length, 0);
    XLStream *pStream = NewRecordedStream();
    EXPECT_NE(pStream, nullptr);
    WalkResult walk;
    const long liveBefore = PlatformLiveAllocations();
    walk.result = HandleCompositeGlyphW(font.Face(), composite.bytes.data(), composite.length,
                                        compositeIndex, pStream);
    EXPECT_EQ(PlatformLiveAllocations(), liveBefore);
    XLStreamClose(pStream);
    EXPECT_TRUE(ParseReadChars(g_xlRecorder.all, walk.chars));
    return walk;
}

// A font with the given glyphs and no cmap.
Bytes FontOf(const std::vector<Bytes> &glyphs, bool longLoca = false)
{
    return BuildFont(MakeSampleFont({.glyphs = glyphs, .longLoca = longLoca}));
}

// A fresh character table for an entry with nGlyphs glyphs, every entry
// marked so that unwritten entries show.
struct TestEntry {
    FontEntry entry{};
    std::vector<uint32_t> table = std::vector<uint32_t>(kCharTableEntries, 0xDEADBEEF);
    explicit TestEntry(uint32_t nGlyphs)
    {
        entry.nGlyphs = nGlyphs;
        entry.pnCharToGlyph = table.data();
    }
    uint32_t operator[](uint32_t code) const { return table.at(code); }
};

// The cmap example of a Unicode subtable: 0x20-0x7E with idDelta -29.
const CmapSegment kAsciiSegment{0x20, 0x7E, -29, {}, std::nullopt};

} // namespace

TEST(TrueTypeByteOrder, ReversesBytesAndFormsTags)
{
    EXPECT_EQ(MakeWhackLong(0x12345678u), 0x78563412u);
    EXPECT_EQ(MakeWhackShort(0x1234), 0x3412);
    EXPECT_EQ(FontTableTag("glyf"), 0x66796C67u);
    EXPECT_EQ(FontTableTag("cvt "), 0x20747663u);

    const uint8_t bytes[] = {0x12, 0x34, 0x56, 0x78, 0xFF};
    const BEReader reader(bytes, sizeof bytes);
    uint16_t u16 = 0;
    uint32_t u32 = 0;
    int16_t i16 = 0;
    EXPECT_TRUE(reader.U16(0, u16));
    EXPECT_EQ(u16, 0x1234);
    EXPECT_TRUE(reader.U32(1, u32));
    EXPECT_EQ(u32, 0x345678FFu);
    EXPECT_TRUE(reader.I16(3, i16));
    EXPECT_EQ(i16, 0x78FF);
    EXPECT_FALSE(reader.U32(2, u32));
    EXPECT_FALSE(reader.U16(4, u16));
    EXPECT_FALSE(reader.U16(SIZE_MAX, u16)); // offset + 2 would wrap
    BEReader sub;
    EXPECT_TRUE(reader.Sub(1, 4, sub));
    EXPECT_EQ(sub.Size(), 4u);
    EXPECT_FALSE(reader.Sub(2, 4, sub));
    EXPECT_FALSE(reader.Sub(1, SIZE_MAX, sub));
    EXPECT_FALSE(BEReader(nullptr, 10).U16(0, u16)); // no bytes behind a null pointer
}

TEST(TrueTypeDirectory, FindsTagsByCaseAndRecordOrder)
{
    FontBuilder font;
    AddTable(font, "GLYF", Bytes{1, 2, 3, 4});
    AddTable(font, "Loca", Bytes{5, 6});
    AddTable(font, "maxp", Bytes{7, 7, 7, 7, 7, 7});
    AddTable(font, "maxp", Bytes{8, 8, 8, 8, 8, 8, 8, 8});
    const Bytes bytes = BuildFont(font);
    const auto size = static_cast<uint32_t>(bytes.size());

    uint32_t length = 99;
    const uint8_t *pGlyf = FindTableInImage(bytes.data(), size, "glyf", &length);
    ASSERT_NE(pGlyf, nullptr);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(pGlyf[3], 4);
    EXPECT_EQ(FindTableInImage(bytes.data(), size, "loca", &length), nullptr);
    EXPECT_EQ(length, 0u);
    const uint8_t *pLast = FindTableInImage(bytes.data(), size, "maxp", &length);
    ASSERT_NE(pLast, nullptr);
    EXPECT_EQ(pLast[0], 8);
    EXPECT_EQ(length, 8u);
    const uint8_t *pFirst = FindTableInImage(bytes.data(), size, "maxp", &length, TableRecord::kFirst);
    ASSERT_NE(pFirst, nullptr);
    EXPECT_EQ(pFirst[0], 7);

    const Bytes empty = BuildFont(FontBuilder{});
    EXPECT_EQ(GetU16(empty, 4), 0);
    EXPECT_EQ(FindTableInImage(empty.data(), static_cast<uint32_t>(empty.size()), "glyf", nullptr),
              nullptr);
    EXPECT_EQ(FindTableInImage(nullptr, 0, "glyf", nullptr), nullptr);
    EXPECT_EQ(FontDirectoryOffset(bytes.data(), 11), -1);
    EXPECT_EQ(FontDirectoryOffset(bytes.data(), size), 0);
}

TEST(TrueTypeDirectory, RejectsTablesAndRecordsOutsideTheFile)
{
    FontBuilder font;
    AddTable(font, "head", MakeHead(0));
    AddTable(font, "maxp", MakeMaxp(3));
    const Bytes good = BuildFont(font);
    const size_t headRecord = DirectoryRecordPosition(0);
    const size_t maxpRecord = DirectoryRecordPosition(1);
    auto find = [](const Bytes &bytes, const char (&tag)[5]) {
        return FindTableInImage(bytes.data(), static_cast<uint32_t>(bytes.size()), tag, nullptr);
    };

    Bytes offsetPast = good;
    PutU32(offsetPast, headRecord + 8, static_cast<uint32_t>(good.size()) + 4);
    EXPECT_EQ(find(offsetPast, "head"), nullptr);
    Bytes lengthPast = good;
    PutU32(lengthPast, maxpRecord + 12, GetU32(good, maxpRecord + 12) + 64);
    EXPECT_EQ(find(lengthPast, "maxp"), nullptr);
    Bytes wrapping = good;
    PutU32(wrapping, maxpRecord + 8, 0xFFFFFFF0u);
    PutU32(wrapping, maxpRecord + 12, 0x20);
    EXPECT_EQ(find(wrapping, "maxp"), nullptr);

    // numTables claims more records than the file holds: the records that
    // are there are still found, the rest are not read.
    Bytes tooMany = good;
    PutU16(tooMany, 4, 0xFFFF);
    EXPECT_NE(find(tooMany, "maxp"), nullptr);
    EXPECT_EQ(find(tooMany, "glyf"), nullptr);

    // The directory cut inside the second record.
    const Bytes cut(good.begin(), good.begin() + static_cast<long>(maxpRecord + 10));
    EXPECT_EQ(find(cut, "maxp"), nullptr);
    EXPECT_EQ(find(cut, "head"), nullptr); // its table is not in the cut file
}

TEST(TrueTypeDirectory, ReadsCollectionsThroughTheirFirstFont)
{
    FontBuilder first;
    AddTable(first, "maxp", MakeMaxp(7));
    FontBuilder second;
    AddTable(second, "maxp", MakeMaxp(9));
    AddTable(second, "cmap", MakeCmap({}));
    const Bytes collection = BuildCollection({first, second});
    const auto size = static_cast<uint32_t>(collection.size());

    EXPECT_EQ(FontDirectoryOffset(collection.data(), size), GetU32(collection, 12));
    uint32_t length = 0;
    const uint8_t *pMaxp = FindTableInImage(collection.data(), size, "maxp", &length);
    ASSERT_NE(pMaxp, nullptr);
    EXPECT_EQ(length, 32u);
    EXPECT_EQ(GetU16(Bytes(pMaxp, pMaxp + 6), 4), 7);
    EXPECT_EQ(FindTableInImage(collection.data(), size, "cmap", nullptr), nullptr);

    Bytes noFonts = collection;
    PutU32(noFonts, 8, 0);
    EXPECT_EQ(FontDirectoryOffset(noFonts.data(), size), -1);
    Bytes offsetPast = collection;
    PutU32(offsetPast, 12, size - 4);
    EXPECT_EQ(FontDirectoryOffset(offsetPast.data(), size), -1);
    EXPECT_EQ(FindTableInImage(offsetPast.data(), size, "maxp", nullptr), nullptr);
    EXPECT_EQ(FontDirectoryOffset(collection.data(), 14), -1);
}

TEST(TrueTypeSource, ReadsTablesThroughTheDeviceContext)
{
    const Bytes bytes = FontOf({MakeOpaqueGlyph(32), MakeOpaqueGlyph(16)});
    LoadedFont font(bytes, Source::DeviceContext);
    const long liveBefore = PlatformLiveAllocations();

    uint8_t *pHead = nullptr;
    EXPECT_EQ(ReadTableThroughDC(&font.session, FontTableTag("head"), &pHead), 54u);
    ASSERT_NE(pHead, nullptr);
    const uint32_t headOffset = TableOffsetInFont(bytes, "head");
    EXPECT_EQ(0, std::memcmp(pHead, bytes.data() + headOffset, 54));
    ReleaseFontTable(pHead);

    uint8_t *pWhole = nullptr;
    EXPECT_EQ(ReadTableThroughDC(&font.session, 0, &pWhole), bytes.size());
    ASSERT_NE(pWhole, nullptr);
    EXPECT_EQ(0, std::memcmp(pWhole, bytes.data(), bytes.size()));
    ReleaseFontTable(pWhole);

    uint8_t *pMissing = reinterpret_cast<uint8_t *>(1);
    EXPECT_EQ(ReadTableThroughDC(&font.session, FontTableTag("kern"), &pMissing), 0u);
    EXPECT_EQ(pMissing, nullptr);

    PlatformFailNthAllocation(1);
    uint8_t *pNoMemory = nullptr;
    EXPECT_EQ(ReadTableThroughDC(&font.session, FontTableTag("head"), &pNoMemory), 0u);
    EXPECT_EQ(pNoMemory, nullptr);
    PlatformFailNthAllocation(0);
    EXPECT_EQ(PlatformLiveAllocations(), liveBefore);
}

TEST(TrueTypeSource, MapsFontFilesAndFlagsFilesThatCannotBeMapped)
{
    const Bytes bytes = FontOf({MakeOpaqueGlyph(32)});
    {
        TempFile file(bytes);
        uint8_t *pView = nullptr;
        uint32_t size = 0;
        ASSERT_EQ(MapFontFile(&pView, file.path.c_str(), &size), 1);
        ASSERT_NE(pView, nullptr);
        EXPECT_EQ(size, bytes.size());
        EXPECT_EQ(0, std::memcmp(pView, bytes.data(), bytes.size()));
        UnmapFontFile(pView);
    }

    uint8_t *pView = reinterpret_cast<uint8_t *>(1);
    uint32_t size = 5;
    EXPECT_EQ(MapFontFile(&pView, "/nonexistent/dir/font.ttf", &size), 0);
    EXPECT_EQ(pView, nullptr);
    EXPECT_EQ(size, 0u);
    TempFile emptyFile(Bytes{});
    EXPECT_EQ(MapFontFile(&pView, emptyFile.path.c_str(), &size), 0);
    EXPECT_EQ(MapFontFile(&pView, nullptr, &size), 0);

    // Every operation that cannot map its file says so in its face, and
    // the process's flag is left to the call.
    FontSession session{};
    bFontFileError = 0;
    {
        FontFace face(&session, true, "/nonexistent/font.ttf");
        EXPECT_EQ(GetNumberOfGlyphsInFont(&face), 0);
        EXPECT_EQ(face.status, Status::kFontFile);
    }
    {
        FontFace face(&session, true, emptyFile.path.c_str());
        TestEntry entry(10);
        EXPECT_EQ(BuildCharToGlyphTable(&face, &entry.entry), 0);
        EXPECT_EQ(face.status, Status::kFontFile);
        EXPECT_EQ(entry[5], 5u); // the filling is done all the same
        EXPECT_EQ(entry[10], kNoGlyph);
    }
    {
        FontFace face(&session, true, "/nonexistent/font.ttf");
        int32_t length = 0;
        uint8_t *pGlyph = nullptr;
        uint8_t *pStorage = nullptr;
        GetTTEFilePointer(&face, &length, 0, &pGlyph, &pStorage);
        EXPECT_EQ(face.status, Status::kFontFile);
        EXPECT_EQ(length, 0);
        EXPECT_EQ(pGlyph, nullptr);
        EXPECT_EQ(pStorage, nullptr);
    }
    EXPECT_EQ(bFontFileError, 0);
}

TEST(TrueTypeGlyphs, LocatesGlyphsThroughShortAndLongLoca)
{
    const std::vector<Bytes> glyphs = {MakeOpaqueGlyph(32, 1), MakeOpaqueGlyph(16, 2),
                                       MakeOpaqueGlyph(10, 3), Bytes{},
                                       MakeOpaqueGlyph(6, 4),  MakeOpaqueGlyph(20, 5)};
    for (Source source : kBothSources) {
        SCOPED_TRACE(SourceName(source));
        for (int16_t format : {0, 1, 256}) {
            SCOPED_TRACE(format);
            FontBuilder builder = MakeSampleFont({.glyphs = glyphs, .longLoca = format != 0});
            SetTable(builder, "head", MakeHead(format));
            const Bytes bytes = BuildFont(builder);
            if (format == 0) { // the short entries hold half the offsets
                const Bytes &loca = *FindTable(builder, "loca");
                EXPECT_EQ(GetU16(loca, 2), 0x0010);
                EXPECT_EQ(GetU16(loca, 4), 0x0018);
            }
            LoadedFont font(bytes, source);
            const long liveBefore = PlatformLiveAllocations();

            const GlyphLookup first = Lookup(font, 1);
            EXPECT_EQ(first.length, 16);
            EXPECT_EQ(first.bytes, glyphs[1]);
            EXPECT_EQ(Lookup(font, 0).bytes, glyphs[0]);
            EXPECT_EQ(Lookup(font, 0x10005).bytes, glyphs[5]); // low 16 bits
            // Glyph 3 is empty: equal nonzero entries give length 0 and a pointer.
            const GlyphLookup empty = Lookup(font, 3);
            EXPECT_EQ(empty.length, 0);
            EXPECT_TRUE(empty.hasPointer);
            // Past numGlyphs: not located even though loca has an entry.
            const GlyphLookup past = Lookup(font, 6);
            EXPECT_EQ(past.length, 0);
            EXPECT_FALSE(past.hasPointer);
            EXPECT_FALSE(past.hasStorage);
            EXPECT_EQ(PlatformLiveAllocations(), liveBefore);
        }
    }
}

TEST(TrueTypeGlyphs, MissingTablesAndBrokenLocaGiveNoGlyph)
{
    const std::vector<Bytes> glyphs = {Bytes{}, MakeOpaqueGlyph(16), MakeOpaqueGlyph(8)};
    for (Source source : kBothSources) {
        SCOPED_TRACE(SourceName(source));
        for (const char *missing : {"maxp", "head", "loca", "glyf"}) {
            SCOPED_TRACE(missing);
            FontBuilder builder = MakeSampleFont({.glyphs = glyphs});
            RemoveTable(builder, missing);
            LoadedFont font(BuildFont(builder), source);
            const GlyphLookup lookup = Lookup(font, 1);
            EXPECT_EQ(lookup.length, 0);
            EXPECT_FALSE(lookup.hasPointer);
        }

        // Glyph 0 with zero entries: length 0 and no pointer.
        {
            LoadedFont font(FontOf(glyphs), source);
            const GlyphLookup zero = Lookup(font, 0);
            EXPECT_EQ(zero.length, 0);
            EXPECT_FALSE(zero.hasPointer);
        }
        auto withLoca = [&](std::initializer_list<uint16_t> entries, uint16_t numGlyphs) {
            FontBuilder builder = MakeSampleFont({.glyphs = glyphs});
            Bytes loca;
            for (uint16_t entry : entries)
                AppendU16(loca, entry);
            SetTable(builder, "loca", loca);
            SetTable(builder, "maxp", MakeMaxp(numGlyphs));
            return BuildFont(builder);
        };
        { // end before start: negative length, no pointer
            LoadedFont font(withLoca({0, 8, 4, 12}, 3), source);
            const GlyphLookup backwards = Lookup(font, 1);
            EXPECT_EQ(backwards.length, -8);
            EXPECT_FALSE(backwards.hasPointer);
        }
        { // entries past the end of glyf (24 bytes)
            LoadedFont font(withLoca({0, 8, 11, 0x4000}, 3), source);
            EXPECT_EQ(Lookup(font, 1).length, 6);
            const GlyphLookup outside = Lookup(font, 2);
            EXPECT_EQ(outside.length, 0);
            EXPECT_FALSE(outside.hasPointer);
        }
        { // maxp promises more glyphs than loca has entries
            LoadedFont font(withLoca({0, 8, 12}, 40), source);
            EXPECT_EQ(Lookup(font, 1).length, 8);
            EXPECT_FALSE(Lookup(font, 2).hasPointer);
            EXPECT_FALSE(Lookup(font, 30).hasPointer);
        }
        { // loca has the entries, but the glyph index is not below numGlyphs
            LoadedFont font(withLoca({0, 8, 12}, 1), source);
            EXPECT_FALSE(Lookup(font, 1).hasPointer);
            EXPECT_EQ(Lookup(font, 1).length, 0);
        }
        { // head too short to hold indexToLocFormat
            FontBuilder builder = MakeSampleFont({.glyphs = glyphs});
            Bytes head = MakeHead(0);
            head.resize(50);
            SetTable(builder, "head", head);
            LoadedFont font(BuildFont(builder), source);
            EXPECT_FALSE(Lookup(font, 1).hasPointer);
        }
    }
}

TEST(TrueTypeGlyphs, RefusesGlyphsTooLongForACharacterRecord)
{
    const std::vector<Bytes> glyphs = {MakeOpaqueGlyph(65529), MakeOpaqueGlyph(65530)};
    for (Source source : kBothSources) {
        SCOPED_TRACE(SourceName(source));
        LoadedFont font(FontOf(glyphs, true), source);
        EXPECT_EQ(Lookup(font, 0).length, 65529);
        const GlyphLookup tooLong = Lookup(font, 1);
        EXPECT_EQ(tooLong.length, 0);
        EXPECT_FALSE(tooLong.hasPointer);
    }
}

TEST(TrueTypeGlyphs, DamagedAndTruncatedFilesNeverReadOutside)
{
    const Bytes bytes = FontOf({MakeOpaqueGlyph(40), MakeOpaqueGlyph(40)});
    const uint32_t glyfOffset = TableOffsetInFont(bytes, "glyf");
    // Cut inside glyf: the glyf record now runs past the file.
    const Bytes cutInGlyf(bytes.begin(), bytes.begin() + glyfOffset + 50);
    // Cut inside the directory.
    const Bytes cutInDirectory(bytes.begin(), bytes.begin() + 30);
    for (const Bytes *damaged : {&cutInGlyf, &cutInDirectory}) {
        for (Source source : kBothSources) {
            SCOPED_TRACE(SourceName(source));
            LoadedFont font(*damaged, source);
            EXPECT_FALSE(Lookup(font, 0).hasPointer);
            TempFace face = font.Face();
            EXPECT_EQ(GetNumberOfGlyphsInFont(face), 0); // maxp is cut off
            TestEntry entry(2);
            BuildCharToGlyphTable(face, &entry.entry);
            EXPECT_EQ(entry[1], 1u);
            EXPECT_EQ(face.face.status, Status::kOk); // mapped fine, just damaged
        }
    }
}

TEST(TrueTypeComposite, TellsCompositeGlyphsBySign)
{
    const uint8_t composite[] = {0xFF, 0xFF};
    const uint8_t none[] = {0x00, 0x00};
    const uint8_t positive[] = {0x7F, 0xFF};
    EXPECT_EQ(CheckIfCompositeGlyph(composite), 1);
    EXPECT_EQ(CheckIfCompositeGlyph(none), 0);
    EXPECT_EQ(CheckIfCompositeGlyph(positive), 0);
    EXPECT_EQ(CheckIfCompositeGlyph(nullptr), 0);
}

TEST(TrueTypeComposite, SendsComponentsAsCharacterRecords)
{
    for (Source source : kBothSources) {
        SCOPED_TRACE(SourceName(source));
        const Bytes component100 = MakeOpaqueGlyph(100, 7);
        const Bytes component12 = MakeOpaqueGlyph(12, 9);
        LoadedFont font(FontOf({Bytes{}, component100, component12, MakeCompositeOf({1, 2})}),
                        source);
        const WalkResult walk = Walk(font, 3);
        EXPECT_EQ(walk.result, 1);
        ASSERT_EQ(walk.chars.size(), 2u);
        EXPECT_EQ(walk.chars[0].code, 0xFFFF);
        EXPECT_EQ(walk.chars[1].code, 0xFFFF);
        Bytes expected = {0x01, 0x00, 0x00, 0x68, 0x00, 0x01};
        AppendBytes(expected, component100);
        EXPECT_EQ(walk.chars[0].record, expected); // 106 bytes
        expected = {0x01, 0x00, 0x00, 0x10, 0x00, 0x02};
        AppendBytes(expected, component12);
        EXPECT_EQ(walk.chars[1].record, expected);

        // The exact bytes of the first ReadChar.
        const Bytes &all = g_xlRecorder.all;
        const Bytes head = {0xC1, 0xFF, 0xFF, 0xF8, 0xA2, 0xC2, 106, 0, 0, 0,
                            0xF8, 0xA3, 0x53, 0xFA, 106,  0,    0, 0};
        ASSERT_GE(all.size(), head.size());
        EXPECT_EQ(Bytes(all.begin(), all.begin() + 18), head);
    }
}

TEST(TrueTypeComposite, RecordSizesFollowTheFlags)
{
    const Bytes simple = MakeOpaqueGlyph(8);
    // flags value -> record size
    const std::pair<uint16_t, size_t> cases[] = {{0x0021, 8},  {0x0020, 6},  {0x0029, 10},
                                                 {0x0061, 12}, {0x00A1, 16}, {0x00E8, 8}};
    for (const auto &[flags, size] : cases) {
        SCOPED_TRACE(flags);
        EXPECT_EQ(4 + ComponentArgumentBytes(flags), size);
        // A second record right after the first: found only when the first
        // one's size was taken from the flags correctly.
        const Bytes composite = MakeCompositeGlyph({{flags, 1, {}}, {0x0000, 2, {}}});
        ASSERT_EQ(composite.size(), 10 + size + 6);
        LoadedFont font(FontOf({Bytes{}, simple, simple, composite}), Source::FontFile);
        const WalkResult walk = Walk(font, 3);
        EXPECT_EQ(walk.result, 1);
        EXPECT_EQ(walk.GlyphIndices(), (std::vector<uint16_t>{1, 2}));
    }

    // 0x00C8 (scale, x-and-y scale, two-by-two, no MORE_COMPONENTS): 8 bytes.
    const Bytes last = MakeCompositeGlyph({{0x00C8, 1, {}}});
    ASSERT_EQ(last.size(), 18u);
    LoadedFont font(FontOf({Bytes{}, simple, last, Bytes(last.begin(), last.end() - 1)}, true),
                    Source::FontFile);
    const WalkResult whole = Walk(font, 2);
    EXPECT_EQ(whole.result, 1);
    EXPECT_EQ(whole.GlyphIndices(), (std::vector<uint16_t>{1}));
    const WalkResult cut = Walk(font, 3); // the record runs past the glyph
    EXPECT_EQ(cut.result, 0);
    EXPECT_TRUE(cut.chars.empty());
}

TEST(TrueTypeComposite, WalksNestedCompositesDepthFirstOnce)
{
    const Bytes simple = MakeOpaqueGlyph(8);
    for (Source source : kBothSources) {
        SCOPED_TRACE(SourceName(source));
        // 5 = (3, 4, 1); 3 = (1, 2); 6 = (1, 1, 2); 7 = (7, 1); 8 = (9); 9 = (8, 2)
        LoadedFont font(FontOf({Bytes{}, simple, simple, MakeCompositeOf({1, 2}), simple,
                                MakeCompositeOf({3, 4, 1}), MakeCompositeOf({1, 1, 2}),
                                MakeCompositeOf({7, 1}), MakeCompositeOf({9}),
                                MakeCompositeOf({8, 2})}),
                        source);
        WalkResult walk = Walk(font, 5);
        EXPECT_EQ(walk.result, 1);
        EXPECT_EQ(walk.GlyphIndices(), (std::vector<uint16_t>{3, 1, 2, 4}));
        walk = Walk(font, 6);
        EXPECT_EQ(walk.GlyphIndices(), (std::vector<uint16_t>{1, 2}));
        // A composite naming itself: with its own index it is not sent again.
        walk = Walk(font, 7);
        EXPECT_EQ(walk.result, 1);
        EXPECT_EQ(walk.GlyphIndices(), (std::vector<uint16_t>{1}));
        // Composites naming each other end.
        walk = Walk(font, 8);
        EXPECT_EQ(walk.result, 1);
        EXPECT_EQ(walk.GlyphIndices(), (std::vector<uint16_t>{9, 2}));
    }
}

TEST(TrueTypeComposite, StopsAtTheDepthBound)
{
    // Glyph k is a composite of glyph k + 1, for k = 1 to 20; 21 is simple.
    std::vector<Bytes> glyphs = {Bytes{}};
    for (uint16_t k = 1; k <= 20; ++k)
        glyphs.push_back(MakeCompositeOf({static_cast<uint16_t>(k + 1)}));
    glyphs.push_back(MakeOpaqueGlyph(8));
    LoadedFont font(FontOf(glyphs), Source::FontFile);
    const WalkResult walk = Walk(font, 1);
    EXPECT_EQ(walk.result, 1);
    std::vector<uint16_t> expected;
    for (uint16_t k = 2; k < 2 + kMaxCompositeDepth; ++k)
        expected.push_back(k);
    EXPECT_EQ(walk.GlyphIndices(), expected);
}

TEST(TrueTypeComposite, DamagedCompositesEndTheWalk)
{
    const Bytes simple = MakeOpaqueGlyph(8);
    // Every record claims MORE_COMPONENTS; the data ends after the second.
    const Bytes runaway = MakeCompositeGlyph({{0x0021, 1, {}}, {0x0021, 2, {}}});
    // The second component lies past numGlyphs, the third would be fine.
    const Bytes unknownComponent = MakeCompositeOf({1, 0x7FFF, 2});
    // The second component is the empty glyph 0.
    const Bytes emptyComponent = MakeCompositeOf({1, 0, 2});
    // The walk stays inside the composite's own bytes, even when the glyph
    // that follows it in glyf holds more records.
    const Bytes truncated = Bytes(runaway.begin(), runaway.end() - 3);
    for (Source source : kBothSources) {
        SCOPED_TRACE(SourceName(source));
        LoadedFont font(FontOf({Bytes{}, simple, simple, runaway, unknownComponent, emptyComponent,
                                truncated, MakeCompositeOf({1})}),
                        source);
        WalkResult walk = Walk(font, 3);
        EXPECT_EQ(walk.result, 0);
        EXPECT_EQ(walk.GlyphIndices(), (std::vector<uint16_t>{1, 2}));
        walk = Walk(font, 4);
        EXPECT_EQ(walk.result, 0);
        EXPECT_EQ(walk.GlyphIndices(), (std::vector<uint16_t>{1}));
        walk = Walk(font, 5);
        EXPECT_EQ(walk.result, 0);
        EXPECT_EQ(walk.GlyphIndices(), (std::vector<uint16_t>{1}));
        walk = Walk(font, 6);
        EXPECT_EQ(walk.result, 0);
        EXPECT_EQ(walk.GlyphIndices(), (std::vector<uint16_t>{1}));

        // A composite too short to hold a record sends nothing.
        XLStream *pStream = NewRecordedStream();
        const uint8_t header[] = {0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00};
        EXPECT_EQ(HandleCompositeGlyphW(font.Face(), header, sizeof header, 6, pStream),
                  0);
        EXPECT_EQ(HandleCompositeGlyphW(font.Face(), nullptr, 0, 6, pStream), 0);
        XLStreamClose(pStream);
        EXPECT_TRUE(g_xlRecorder.all.empty());
    }
}

TEST(TrueTypeComposite, SendsEmptyAndRefusesOversizedRecords)
{
    XLStream *pStream = NewRecordedStream();
    EXPECT_EQ(SendGlyphAsCharacter(pStream, 0x0041, 0x0102, nullptr, 0), 1);
    const uint8_t glyph[65530] = {};
    EXPECT_EQ(SendGlyphAsCharacter(pStream, 0x0041, 1, glyph, 65530), 0);
    EXPECT_EQ(SendGlyphAsCharacter(pStream, 0x0041, 1, glyph, -1), 0);
    // The record goes out from the glyph where it lies: it needs no memory.
    PlatformFailNthAllocation(1);
    EXPECT_EQ(SendGlyphAsCharacter(pStream, 0x0042, 1, glyph, 4), 1);
    PlatformFailNthAllocation(0);
    XLStreamClose(pStream);
    std::vector<SentChar> chars;
    ASSERT_TRUE(ParseReadChars(g_xlRecorder.all, chars));
    ASSERT_EQ(chars.size(), 2u);
    EXPECT_EQ(chars[0].code, 0x0041);
    EXPECT_EQ(chars[0].record, (Bytes{0x01, 0x00, 0x00, 0x04, 0x01, 0x02}));
    EXPECT_EQ(chars[1].code, 0x0042);
    EXPECT_EQ(chars[1].record, (Bytes{0x01, 0x00, 0x00, 0x08, 0x00, 0x01, 0, 0, 0, 0}));
}

TEST(TrueTypeGlyphCount, ReadsMaxpFromBothSources)
{
    for (Source source : kBothSources) {
        SCOPED_TRACE(SourceName(source));
        {
            LoadedFont font(FontOf({Bytes{}, MakeOpaqueGlyph(8), MakeOpaqueGlyph(8)}), source);
            EXPECT_EQ(GetNumberOfGlyphsInFont(font.Face()), 3);
        }
        FontBuilder builder = MakeSampleFont({.glyphs = {Bytes{}}});
        RemoveTable(builder, "maxp");
        {
            LoadedFont font(BuildFont(builder), source);
            EXPECT_EQ(GetNumberOfGlyphsInFont(font.Face()), 0);
        }
        AddTable(builder, "maxp", Bytes{0, 1, 0, 0, 0}); // too short for numGlyphs
        {
            LoadedFont font(BuildFont(builder), source);
            EXPECT_EQ(GetNumberOfGlyphsInFont(font.Face()), 0);
        }
    }
    // In a file, upper-case tags count and the first record wins.
    FontBuilder builder;
    AddTable(builder, "MAXP", MakeMaxp(11));
    AddTable(builder, "maxp", MakeMaxp(12));
    LoadedFont font(BuildFont(builder), Source::FontFile);
    EXPECT_EQ(GetNumberOfGlyphsInFont(font.Face()), 11);
}

TEST(TrueTypeCmap, MapsUnicodeSegments)
{
    const Bytes subtable = MakeCmapFormat4(
        {kAsciiSegment,
         {0x100, 0x103, 5, {40, 0, 0xFFFF, 7}, std::nullopt}, // glyphIdArray, 0 stays 0
         {0x3FF, 0x401, 1000, {}, std::nullopt},
         {0x400, 0x410, 2000, {}, std::nullopt}, // overlaps: the earlier segment wins
         {0x500, 0x4FF, 0, {}, std::nullopt},    // start above end: covers nothing
         {0xFFF0, 0xFFFE, 0x20, {}, std::nullopt}});
    TestEntry entry(300);
    MapSegmentsUnicode(&entry.entry, subtable.data(), static_cast<uint32_t>(subtable.size()));
    EXPECT_EQ(entry[0x41], 36u);
    EXPECT_EQ(entry[0x20], 3u);
    EXPECT_EQ(entry[0x7E], 97u);
    EXPECT_EQ(entry[0x7F], kNoGlyph);
    for (uint32_t c = 0; c < 0x20; ++c)
        EXPECT_EQ(entry[c], kNoGlyph) << c;
    EXPECT_EQ(entry[0x100], 45u);
    EXPECT_EQ(entry[0x101], 0u);
    EXPECT_EQ(entry[0x102], 4u); // (0xFFFF + 5) mod 65536
    EXPECT_EQ(entry[0x103], 12u);
    EXPECT_EQ(entry[0x3FF], 0x3FFu + 1000);
    EXPECT_EQ(entry[0x401], 0x401u + 1000);
    EXPECT_EQ(entry[0x402], 0x402u + 2000);
    EXPECT_EQ(entry[0x4FF], kNoGlyph);
    EXPECT_EQ(entry[0xFFF0], 0x10u); // (0xFFF0 + 0x20) mod 65536
    EXPECT_EQ(entry[0xFFFE], 0x1Eu);
    size_t unwritten = 0;
    for (uint32_t value : entry.table)
        unwritten += value == 0xDEADBEEF;
    EXPECT_EQ(unwritten, 0u);
}

TEST(TrueTypeCmap, MapsSymbolSegments)
{
    // Symbol fonts: 0xF020-0xF0FF with idDelta 0x0FE3.
    const Bytes subtable = MakeCmapFormat4(
        {{0xF020, 0xF0FF, 0x0FE3, {}, std::nullopt}}, true);
    TestEntry entry(300);
    for (uint32_t c = 0; c < kCharTableEntries; ++c)
        entry.table[c] = c < 300 ? c : kNoGlyph;
    MapSegmentsSymbol(&entry.entry, subtable.data(), static_cast<uint32_t>(subtable.size()));
    EXPECT_EQ(entry[0x20], 3u);
    EXPECT_EQ(entry[0x41], 36u);
    EXPECT_EQ(entry[0xFE], 0xE1u); // (0x0FE3 + 0xF0FE) mod 65536
    for (uint32_t c = 0; c < 0x20; ++c)
        EXPECT_EQ(entry[c], kNoGlyph) << c;
    EXPECT_EQ(entry[0xFF], 0xFFu); // not looked up: keeps the filling
    EXPECT_EQ(entry[0x100], 0x100u);
    EXPECT_EQ(entry[0x200], kNoGlyph);

    // A segment through glyphIdArray below 0x100: idDelta is added to every
    // code's glyph, the segment's first code included.
    const Bytes low = MakeCmapFormat4({{0x41, 0x43, 10, {20, 21, 0}, std::nullopt}});
    MapSegmentsSymbol(&entry.entry, low.data(), static_cast<uint32_t>(low.size()));
    EXPECT_EQ(entry[0x41], 30u);
    EXPECT_EQ(entry[0x42], 31u);
    EXPECT_EQ(entry[0x43], 0u);
    EXPECT_EQ(entry[0x20], kNoGlyph);
}

TEST(TrueTypeCmap, ChoosesTheFirstPlatform3Format4Subtable)
{
    const Bytes unicode = MakeCmapFormat4({kAsciiSegment});
    const Bytes symbol = MakeCmapFormat4({{0xF020, 0xF0FF, 0x0FE3, {}, std::nullopt}});
    const Bytes format12 = MakeCmapFormat12({{0x20, 0x7E, 3}});
    // Glyphs of the codes 0x41, 0x7F, 5 and 0xFF in a font of 300 glyphs.
    struct Case {
        const char *name;
        std::vector<CmapSubtable> subtables;
        uint32_t glyphs[4];
    };
    const Case cases[] = {
        {"unicode", {{3, 1, unicode}}, {36, kNoGlyph, kNoGlyph, kNoGlyph}},
        {"symbol first", {{3, 0, symbol}, {3, 1, unicode}}, {36, 98, kNoGlyph, 0xFF}},
        {"other platforms skipped",
         {{0, 3, symbol}, {1, 0, symbol}, {3, 1, unicode}},
         {36, kNoGlyph, kNoGlyph, kNoGlyph}},
        {"format 12 skipped",
         {{3, 10, format12}, {3, 1, unicode}},
         {36, kNoGlyph, kNoGlyph, kNoGlyph}},
        {"format 12 only", {{3, 10, format12}}, {0x41, 0x7F, 5, 0xFF}},
        {"no subtable", {}, {0x41, 0x7F, 5, 0xFF}},
    };
    for (Source source : kBothSources) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(SourceName(source)) + ": " + c.name);
            FontBuilder builder = MakeSampleFont({.glyphs = {Bytes{}}});
            SetTable(builder, "cmap", MakeCmap(c.subtables));
            LoadedFont font(BuildFont(builder), source);
            TestEntry entry(300);
            EXPECT_EQ(BuildCharToGlyphTable(font.Face(), &entry.entry), 1);
            EXPECT_EQ(entry[0x41], c.glyphs[0]);
            EXPECT_EQ(entry[0x7F], c.glyphs[1]);
            EXPECT_EQ(entry[5], c.glyphs[2]);
            EXPECT_EQ(entry[0xFF], c.glyphs[3]);
            EXPECT_EQ(entry[300], kNoGlyph);
            EXPECT_EQ(entry[0xFFFE], kNoGlyph);
        }
        // No cmap: 0 after the filling.
        SCOPED_TRACE(SourceName(source));
        FontBuilder builder = MakeSampleFont({.glyphs = {Bytes{}}});
        RemoveTable(builder, "cmap");
        LoadedFont font(BuildFont(builder), source);
        TestEntry entry(10);
        EXPECT_EQ(BuildCharToGlyphTable(font.Face(), &entry.entry), 0);
        EXPECT_EQ(entry[9], 9u);
        EXPECT_EQ(entry[10], kNoGlyph);
    }
    // Upper-case CMAP in a file.
    FontBuilder builder = MakeSampleFont({.glyphs = {Bytes{}}});
    RemoveTable(builder, "cmap");
    AddTable(builder, "CMAP", MakeCmap({{3, 1, unicode}}));
    LoadedFont font(BuildFont(builder), Source::FontFile);
    TestEntry entry(10);
    EXPECT_EQ(BuildCharToGlyphTable(font.Face(), &entry.entry), 1);
    EXPECT_EQ(entry[0x41], 36u);
}

TEST(TrueTypeCmap, DamagedSubtablesMapToNoGlyph)
{
    TestEntry entry(50);
    const Bytes good = MakeCmapFormat4({kAsciiSegment, {0x100, 0x102, 0, {7, 8, 9}, std::nullopt}});
    auto map = [&](const Bytes &subtable) {
        MapSegmentsUnicode(&entry.entry, subtable.data(), static_cast<uint32_t>(subtable.size()));
    };

    // segCount far past the subtable: no segment can be read.
    Bytes hugeSegCount = good;
    PutU16(hugeSegCount, 6, 0xFFFE);
    map(hugeSegCount);
    EXPECT_EQ(entry[0x41], kNoGlyph);
    EXPECT_EQ(entry[0x100], kNoGlyph);

    // Cut inside the idRangeOffset array: the segments read before the cut still map.
    const size_t segCount = GetU16(good, 6) / 2;
    const Bytes cut(good.begin(), good.begin() + static_cast<long>(16 + 6 * segCount + 2));
    map(cut);
    EXPECT_EQ(entry[0x41], 36u);
    EXPECT_EQ(entry[0x100], kNoGlyph);

    // idRangeOffset pointing past the subtable, and the glyphIdArray cut short.
    Bytes farOffset = MakeCmapFormat4({{0x100, 0x102, 0, {}, uint16_t{0xFFF0}}});
    map(farOffset);
    EXPECT_EQ(entry[0x100], kNoGlyph);
    const Bytes shortArray(good.begin(), good.end() - 2);
    map(shortArray);
    EXPECT_EQ(entry[0x100], 7u);
    EXPECT_EQ(entry[0x101], 8u);
    EXPECT_EQ(entry[0x102], kNoGlyph);

    // Too short for segCountX2, and no subtable at all.
    map(Bytes{0, 4, 0, 0});
    EXPECT_EQ(entry[0x41], kNoGlyph);
    MapSegmentsUnicode(&entry.entry, nullptr, 0);
    EXPECT_EQ(entry[0x41], kNoGlyph);

    // cmap records and subtable offsets outside the table.
    for (Source source : kBothSources) {
        SCOPED_TRACE(SourceName(source));
        Bytes cmap = MakeCmap({{3, 1, good}});
        Bytes badOffset = cmap;
        PutU32(badOffset, 8, static_cast<uint32_t>(cmap.size()) - 1);
        Bytes manyRecords = cmap;
        PutU16(manyRecords, 2, 0x4000);
        for (const Bytes *table : {&badOffset, &manyRecords}) {
            FontBuilder builder = MakeSampleFont({.glyphs = {Bytes{}}});
            SetTable(builder, "cmap", *table);
            LoadedFont font(BuildFont(builder), source);
            TestEntry result(10);
            EXPECT_EQ(BuildCharToGlyphTable(font.Face(), &result.entry), 1);
            EXPECT_EQ(result[0x41], table == &manyRecords ? 36u : kNoGlyph);
            EXPECT_EQ(result[5], table == &manyRecords ? kNoGlyph : 5u);
        }
    }
}

// The lookup a download call makes code by code gives what the whole table
// holds, for every code: sorted, overlapping, empty and damaged segments,
// symbol and identity mappings, through both sources.
TEST(TrueTypeCmap, LooksCodesUpAsTheWholeTableMapsThem)
{
    const Bytes good = MakeCmapFormat4({kAsciiSegment, {0x100, 0x102, 0, {7, 8, 9}, std::nullopt}});
    Bytes cut(good.begin(), good.begin() + static_cast<long>(16 + 6 * (GetU16(good, 6) / 2) + 2));
    Bytes shortArray(good.begin(), good.end() - 2);
    Bytes hugeSegCount = good;
    PutU16(hugeSegCount, 6, 0xFFFE);
    // A length that ends inside the glyphIdArray, as a large subtable's
    // 16-bit length does: the rest of the array is still read.
    Bytes shortLength = good;
    PutU16(shortLength, 2, static_cast<uint16_t>(16 + 8 * (GetU16(good, 6) / 2) + 2));
    const Bytes overlapping = MakeCmapFormat4(
        {{0x30, 0x60, 5, {}, std::nullopt}, {0x40, 0x50, 0, {1, 2, 3}, std::nullopt}, {0x20, 0x35, 9, {}, std::nullopt}});
    const Bytes emptySegment = MakeCmapFormat4(
        {{0x30, 0x40, 5, {}, std::nullopt}, {0x90, 0x10, 0, {}, std::nullopt}, {0x50, 0x60, 0, {4, 5}, std::nullopt}});
    const Bytes symbol = MakeCmapFormat4({{0xF020, 0xF0FF, 0x0FE3, {}, std::nullopt}, {0xF010, 0xF030, 2, {}, std::nullopt}});
    // The same segments, two of them swapped: looked up after the sorted
    // one, the unsorted one never takes its verdict (a binary search over
    // its endCodes would miss 0x40 to 0x50).
    const Bytes sorted = MakeCmapFormat4(
        {{0x20, 0x35, 9, {}, std::nullopt}, {0x40, 0x50, 3, {}, std::nullopt}, {0x58, 0x60, 5, {}, std::nullopt}});
    const Bytes unsorted = MakeCmapFormat4(
        {{0x20, 0x35, 9, {}, std::nullopt}, {0x58, 0x60, 5, {}, std::nullopt}, {0x40, 0x50, 3, {}, std::nullopt}});
    const std::vector<std::vector<CmapSubtable>> cmaps = {
        {{3, 1, good}},         {{3, 1, cut}},          {{3, 1, shortArray}},
        {{3, 1, hugeSegCount}}, {{3, 1, overlapping}},  {{3, 1, emptySegment}},
        {{3, 0, symbol}},       {{3, 10, MakeCmapFormat12({{0x20, 0x7E, 3}})}}, {},
        {{3, 1, shortLength}},  {{3, 1, sorted}},       {{3, 1, unsorted}},
        {{3, 1, sorted}},       {{3, 1, sorted}},
    };
    for (Source source : kBothSources) {
        for (size_t k = 0; k < cmaps.size(); ++k) {
            SCOPED_TRACE(std::string(SourceName(source)) + ", cmap " + std::to_string(k));
            FontBuilder builder = MakeSampleFont({.glyphs = {Bytes{}}});
            SetTable(builder, "cmap", MakeCmap(cmaps[k]));
            LoadedFont font(BuildFont(builder), source);
            TestEntry entry(300);
            BuildCharToGlyphTable(font.Face(), &entry.entry);
            TempFace face = font.Face();
            CharGlyphLookup lookup(face, 300);
            size_t mismatches = 0;
            for (uint32_t c = 0; c < kCharTableEntries; ++c)
                mismatches += LookUpCharGlyph(lookup, static_cast<uint16_t>(c)) != entry[c];
            EXPECT_EQ(mismatches, 0u);
            EXPECT_FALSE(lookup.bFailed);
        }
    }
}

TEST(TrueTypeFace, ReadsEachTableOnceAndGivesEverythingBack)
{
    const std::vector<Bytes> glyphs = {Bytes{}, MakeOpaqueGlyph(20), MakeCompositeOf({1})};
    const Bytes bytes = FontOf(glyphs);
    {
        LoadedFont font(bytes, Source::DeviceContext);
        const long liveBefore = PlatformLiveAllocations();
        {
            TempFace face = font.Face();
            uint32_t size = 0;
            const uint8_t *pFirst = FaceTable(face.face, "loca", &size);
            const long countAfterFirst = PlatformAllocationCount();
            EXPECT_EQ(FaceTable(face.face, "loca", &size), pFirst);
            EXPECT_EQ(PlatformAllocationCount(), countAfterFirst);
            EXPECT_EQ(FaceTable(face.face, "kern", &size), nullptr);
            EXPECT_EQ(size, 0u);
            // glyf is never copied whole: each glyph is read on its own.
            int32_t length = 0;
            uint8_t *pGlyph = nullptr;
            uint8_t *pStorage = nullptr;
            GetTTEFilePointer(face, &length, 1, &pGlyph, &pStorage);
            EXPECT_EQ(Bytes(pGlyph, pGlyph + length), glyphs[1]);
            EXPECT_EQ(pStorage, pGlyph);
            ReleaseFontTable(pStorage);
            EXPECT_EQ(PlatformLiveAllocations(), liveBefore + 3); // loca, head, maxp
        }
        EXPECT_EQ(PlatformLiveAllocations(), liveBefore);
    }
    {
        LoadedFont font(bytes, Source::FontFile);
        TempFace face = font.Face();
        EXPECT_EQ(GetNumberOfGlyphsInFont(face), 3);
        // Mapped once: with the file gone the face still serves its glyphs.
        ASSERT_EQ(std::remove(font.Path()), 0);
        XLStream *pStream = NewRecordedStream();
        const GlyphLookup composite = Lookup(font, 2);
        EXPECT_FALSE(composite.hasPointer); // a new face cannot map the file
        int32_t length = 0;
        uint8_t *pGlyph = nullptr;
        uint8_t *pStorage = nullptr;
        GetTTEFilePointer(face, &length, 2, &pGlyph, &pStorage);
        EXPECT_EQ(pStorage, nullptr) << "the face keeps the file";
        EXPECT_EQ(HandleCompositeGlyphW(face, pGlyph, length, 2, pStream), 1);
        XLStreamClose(pStream);
        bFontFileError = 0;
    }
}

TEST(TrueTypeSource, AllocationFailuresLoseNothing)
{
    const std::vector<Bytes> glyphs = {Bytes{}, MakeOpaqueGlyph(20), MakeCompositeOf({1})};
    LoadedFont font(FontOf(glyphs), Source::DeviceContext);
    const long liveBefore = PlatformLiveAllocations();
    for (long n = 1; n <= 4; ++n) {
        SCOPED_TRACE(n);
        PlatformFailNthAllocation(n);
        const GlyphLookup lookup = Lookup(font, 1);
        PlatformFailNthAllocation(0);
        EXPECT_FALSE(lookup.hasPointer);
        EXPECT_EQ(PlatformLiveAllocations(), liveBefore);
    }
    // The block of a component's bytes cannot be allocated: the walk fails
    // cleanly.
    const GlyphLookup composite = Lookup(font, 2);
    XLStream *pStream = NewRecordedStream();
    PlatformFailNthAllocation(4); // after the component's three table copies
    EXPECT_EQ(HandleCompositeGlyphW(font.Face(), composite.bytes.data(), composite.length, 2, pStream), 0);
    PlatformFailNthAllocation(0);
    XLStreamClose(pStream);
    EXPECT_TRUE(g_xlRecorder.all.empty());
    EXPECT_EQ(PlatformLiveAllocations(), liveBefore);
}

// A real font, checked against FreeType's reading of it: the glyph count,
// the character-to-glyph table for every code, and which glyphs are composite.
TEST(TrueTypeRealFont, AgreesWithFreeTypeOnDejaVuSans)
{
    const char *path = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    std::ifstream in(path, std::ios::binary);
    if (!in)
        GTEST_SKIP() << "DejaVuSans.ttf is not installed";
    const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

    FT_Library library = nullptr;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    FT_Face face = nullptr;
    ASSERT_EQ(FT_New_Face(library, path, 0, &face), 0);
    ASSERT_EQ(FT_Select_Charmap(face, FT_ENCODING_UNICODE), 0);

    for (Source source : kBothSources) {
        SCOPED_TRACE(SourceName(source));
        LoadedFont font(bytes, source);
        const uint16_t nGlyphs = GetNumberOfGlyphsInFont(font.Face());
        EXPECT_EQ(nGlyphs, face->num_glyphs);
        TestEntry entry(nGlyphs);
        ASSERT_EQ(BuildCharToGlyphTable(font.Face(), &entry.entry), 1);
        TempFace lookupFace = font.Face();
        CharGlyphLookup lookup(lookupFace, nGlyphs);
        size_t mismatches = 0, lookupMismatches = 0;
        for (uint32_t c = 0; c < kCharTableEntries; ++c) {
            const FT_UInt expected = FT_Get_Char_Index(face, c);
            const bool agrees = expected != 0 ? entry[c] == expected
                                              : (entry[c] == kNoGlyph || entry[c] == 0);
            mismatches += !agrees;
            lookupMismatches += LookUpCharGlyph(lookup, static_cast<uint16_t>(c)) != entry[c];
        }
        EXPECT_EQ(mismatches, 0u);
        EXPECT_EQ(lookupMismatches, 0u);
        EXPECT_TRUE(lookup.bSorted); // DejaVu's segments: looked up by binary search

        size_t compositeMismatches = 0;
        for (uint16_t g = 0; g < nGlyphs; ++g) {
            const GlyphLookup glyph = Lookup(font, g);
            ASSERT_GE(glyph.length, 0);
            ASSERT_EQ(FT_Load_Glyph(face, g, FT_LOAD_NO_SCALE | FT_LOAD_NO_RECURSE), 0);
            const bool ftComposite = face->glyph->format == FT_GLYPH_FORMAT_COMPOSITE;
            const bool composite = !glyph.bytes.empty() && CheckIfCompositeGlyph(glyph.bytes.data());
            compositeMismatches += ftComposite != composite;
        }
        EXPECT_EQ(compositeMismatches, 0u);
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
}

// The synthetic fonts are real TrueType: FreeType reads their tables, maps
// their characters and loads their simple and composite glyphs, and the file
// checksum comes out as TrueType requires.
TEST(TrueTypeFontBuilder, BuildsFontsThatFreeTypeReads)
{
    std::vector<Bytes> glyphs(40, Bytes{});
    glyphs[36] = MakeSimpleGlyph({{0, 0}, {500, 1400}, {1000, 0}});
    glyphs[37] = MakeCompositeOf({36, 36});
    for (bool longLoca : {false, true}) {
        const Bytes bytes =
            BuildFont(MakeSampleFont({.glyphs = glyphs, .longLoca = longLoca,
                                      .unicodeSegments = {kAsciiSegment}}));
        EXPECT_EQ(TableChecksum(bytes), 0xB1B0AFBAu);
        EXPECT_EQ(GetU16(bytes, 4), 13);         // numTables
        EXPECT_EQ(GetU16(bytes, 6), 128);        // searchRange
        EXPECT_EQ(GetU16(bytes, 8), 3);          // entrySelector
        EXPECT_EQ(GetU16(bytes, 10), 13 * 16 - 128); // rangeShift

        FT_Library library = nullptr;
        ASSERT_EQ(FT_Init_FreeType(&library), 0);
        FT_Face face = nullptr;
        ASSERT_EQ(FT_New_Memory_Face(library, bytes.data(), static_cast<FT_Long>(bytes.size()), 0,
                                     &face),
                  0);
        EXPECT_EQ(face->num_glyphs, 40);
        EXPECT_EQ(FT_Get_Char_Index(face, 'A'), 36u);
        ASSERT_EQ(FT_Load_Glyph(face, 36, FT_LOAD_NO_SCALE), 0);
        EXPECT_EQ(face->glyph->outline.n_points, 3);
        ASSERT_EQ(FT_Load_Glyph(face, 37, FT_LOAD_NO_SCALE | FT_LOAD_NO_RECURSE), 0);
        EXPECT_EQ(face->glyph->format, FT_GLYPH_FORMAT_COMPOSITE);
        EXPECT_EQ(face->glyph->num_subglyphs, 2u);
        FT_Done_Face(face);
        FT_Done_FreeType(library);
    }
}
