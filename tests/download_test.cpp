// SPDX-License-Identifier: MIT
// Font download: the font header with its rebuilt directory, the characters
// and the font selection, byte for byte.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "download/download.h"
#include "platform/platform_hooks.h"
#include "session/session.h"
#include "support/fontbuilder.h"
#include "support/requests.h"
#include "support/xlrecorder.h"
#include "truetype/truetype.h"
#include "xldecode/xldecode.h"

namespace {

constexpr uint8_t kBeginFontHeader = 0x4F, kReadFontHeader = 0x50, kEndFontHeader = 0x51,
                  kBeginChar = 0x52, kReadChar = 0x53, kEndChar = 0x54, kSetFont = 0x6F,
                  kSetCharBoldValue = 0x7D, kSetCharShear = 0x66, kSetCharAngle = 0x64;

std::vector<XLOperation> Decode(const Bytes &bytes)
{
    std::vector<XLOperation> ops;
    XLDecodeError error;
    EXPECT_TRUE(XLDecodeOperations(bytes, ops, error)) << error.message << " at " << error.offset;
    return ops;
}

std::vector<uint8_t> OpCodes(const std::vector<XLOperation> &ops)
{
    std::vector<uint8_t> codes;
    for (const auto &op : ops)
        codes.push_back(op.op);
    return codes;
}

std::vector<Bytes> HeaderBlocks(const std::vector<XLOperation> &ops)
{
    std::vector<Bytes> blocks;
    for (const auto &op : ops) {
        if (op.op == kReadFontHeader)
            blocks.push_back(op.data);
    }
    return blocks;
}

struct SentChar {
    uint16_t code;
    Bytes block;
};
std::vector<SentChar> Chars(const std::vector<XLOperation> &ops)
{
    std::vector<SentChar> chars;
    for (const auto &op : ops) {
        if (op.op == kReadChar)
            chars.push_back({static_cast<uint16_t>(op.Find(0xA2)->value.numbers.at(0)), op.data});
    }
    return chars;
}

uint32_t Real32Bits(const XLAttribute *attribute, size_t element = 0)
{
    const auto &raw = attribute->value.raw;
    uint32_t bits = 0;
    std::memcpy(&bits, raw.data() + 4 * element, 4);
    return bits;
}

// Glyphs of a small font: glyph 0 .notdef, 1 space (empty), 2.. letters.
std::vector<Bytes> SampleGlyphs(size_t count)
{
    std::vector<Bytes> glyphs{MakeSimpleGlyph({{0, 0}, {500, 0}, {500, 700}}), Bytes{}};
    for (size_t i = 2; i < count; ++i)
        glyphs.push_back(MakeOpaqueGlyph(20 + i, static_cast<uint8_t>(i)));
    return glyphs;
}

// A sample font whose cmap maps 0x20..0x7E to glyph (code - 0x1F), so that
// space is glyph 1 and 'A' glyph 34.
FontBuilder SampleFont(size_t glyphCount = 100)
{
    return MakeSampleFont({.glyphs = SampleGlyphs(glyphCount), .unicodeSegments = {{0x20, 0x7E, -0x1F}}});
}

// One download through the driver on a font file, with a fresh session.
struct DirectRun {
    FontSession *session = nullptr;
    XLStream *stream = nullptr;
    PageInfo info{};
    FNDL_TEXTINFOW text{};
    std::string path;

    DirectRun(const std::string &fontPath, int nFontId)
    {
        ResetLibraryState();
        path = fontPath;
        session = CreateFontSession("/dev/null");
        g_pSession = session;
        stream = NewRecordedStream();
        std::memset(&info, 0, sizeof(info));
        info.chFont = path.data();
        info.bTTE = 1;
        info.nFontId = nFontId;
        info.nResolution = 600;
        text.FontHeight = 120;
    }
    ~DirectRun()
    {
        XLStreamClose(stream);
        ResetLibraryState();
    }
    // Runs one request; returns the driver's status and the bytes it wrote.
    Status Request(const std::u16string &s, Bytes &written)
    {
        std::memset(text.szText, 0, sizeof(text.szText));
        std::memcpy(text.szText, s.data(), s.size() * 2);
        g_xlRecorder.all.clear();
        const Status result = DownloadFontW(session, stream, &text, &info);
        written = g_xlRecorder.all;
        return result;
    }
};

struct DownloadTest : ::testing::Test {
    void SetUp() override { ResetLibraryState(); }
    void TearDown() override
    {
        PlatformServeFontData(nullptr, 0);
        ResetLibraryState();
    }
};

} // namespace

TEST_F(DownloadTest, HeaderOfThirteenTableFontCarriesSevenTables)
{
    FontBuilder font = SampleFont(1000);
    const Bytes fontBytes = BuildFont(font);
    TempFile file(fontBytes);
    DirectRun run(file.path, 26);
    Bytes written;
    ASSERT_EQ(run.Request(u"", written), Status::kOk);
    auto ops = Decode(written);
    // BeginFontHeader, 8 + 6 + 140 byte blocks, 7 tables, null segment, end,
    // then the font selection and no characters.
    EXPECT_EQ(OpCodes(ops), (std::vector<uint8_t>{kBeginFontHeader, kReadFontHeader, kReadFontHeader,
                                                  kReadFontHeader, kReadFontHeader, kReadFontHeader,
                                                  kReadFontHeader, kReadFontHeader, kReadFontHeader,
                                                  kReadFontHeader, kReadFontHeader, kReadFontHeader,
                                                  kEndFontHeader, kSetFont, kSetCharBoldValue,
                                                  kSetCharShear, kSetCharAngle}));
    const std::string expectedName = "OT:1a:" + file.path + ":n";
    const XLAttribute *name = ops[0].Find(0xA8);
    EXPECT_EQ(std::string(name->value.raw.begin(), name->value.raw.end()), expectedName);
    EXPECT_EQ(ops[0].Find(0xA9)->value.numbers.at(0), 0.0);

    auto blocks = HeaderBlocks(ops);
    ASSERT_EQ(blocks.size(), 11u);
    EXPECT_EQ(blocks[0], (Bytes{0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x03, 0xE8}));
    ASSERT_EQ(blocks[1].size(), 6u);
    EXPECT_EQ(blocks[1][0], 'G');
    EXPECT_EQ(blocks[1][1], 'T');
    const Bytes &dir = blocks[2];
    ASSERT_EQ(dir.size(), 140u);
    EXPECT_EQ(GetU32(dir, 0), 0x00010000u);
    EXPECT_EQ(GetU16(dir, 4), 8u);
    EXPECT_EQ(GetU16(dir, 6), GetU16(fontBytes, 6)) << "the font's own searchRange";
    EXPECT_EQ(GetU16(dir, 8), GetU16(fontBytes, 8));
    EXPECT_EQ(GetU16(dir, 10), GetU16(fontBytes, 10));
    EXPECT_EQ(std::string(dir.begin() + 12, dir.begin() + 16), "gdir");
    for (size_t i = 16; i < 28; ++i)
        EXPECT_EQ(dir[i], 0);

    // Records in file order with their new offsets; the tables follow.
    const char *expectedTags[] = {"cvt ", "fpgm", "head", "hhea", "hmtx", "maxp", "prep"};
    uint32_t segmentSize = 140;
    uint32_t expectedOffset = 140;
    for (size_t k = 0; k < 7; ++k) {
        const size_t record = 28 + 16 * k;
        const std::string tag(dir.begin() + static_cast<std::ptrdiff_t>(record),
                              dir.begin() + static_cast<std::ptrdiff_t>(record + 4));
        EXPECT_EQ(tag, expectedTags[k]);
        const Bytes &table = *FindTable(font, tag);
        EXPECT_EQ(GetU32(dir, record + 4), TableChecksum(table)) << tag;
        EXPECT_EQ(GetU32(dir, record + 8), expectedOffset) << tag;
        EXPECT_EQ(GetU32(dir, record + 12), table.size()) << "length as in the font: " << tag;
        const Bytes &sent = blocks[3 + k];
        const uint32_t copyLength = (static_cast<uint32_t>(table.size()) + 3) & ~3u;
        ASSERT_EQ(sent.size(), copyLength) << tag;
        const uint32_t at = TableOffsetInFont(fontBytes, tag);
        EXPECT_TRUE(std::equal(sent.begin(), sent.end(), fontBytes.begin() + at)) << tag;
        expectedOffset += copyLength;
        segmentSize += copyLength;
    }
    EXPECT_EQ(GetU32(blocks[1], 2), segmentSize);
    EXPECT_EQ(blocks[10], (Bytes{0xFF, 0xFF, 0, 0, 0, 0}));
}

TEST_F(DownloadTest, CopyLengthsFollowTheNeighbourAndTheFileEnd)
{
    // head of 54 bytes followed at 56; a prep claiming 54 bytes whose
    // neighbour starts 20 bytes on; the last table stops at its padding.
    FontBuilder font = SampleFont(10);
    Bytes fontBytes = BuildFont(font);
    const size_t prepRecord = [&] {
        for (size_t k = 0; k < font.tables.size(); ++k)
            if (font.tables[k].tag == "prep")
                return DirectoryRecordPosition(k);
        return size_t{0};
    }();
    const size_t fpgmRecord = DirectoryRecordPosition(3);
    ASSERT_EQ(font.tables[3].tag, "fpgm");
    // fpgm claims 54 bytes, but cvt... the next table (glyf) starts only a
    // few bytes later.
    PutU32(fontBytes, fpgmRecord + 12, 54);
    // The last table in the file (prep) claims less than what is left.
    const uint32_t prepOffset = GetU32(fontBytes, prepRecord + 8);
    PutU32(fontBytes, prepRecord + 12, 1);
    fontBytes.resize(prepOffset + 11, 0xAB);
    TempFile file(fontBytes);
    DirectRun run(file.path, 1);
    Bytes written;
    ASSERT_EQ(run.Request(u"", written), Status::kOk);
    auto blocks = HeaderBlocks(Decode(written));
    ASSERT_EQ(blocks.size(), 11u);
    const uint32_t fpgmGap = TableOffsetInFont(fontBytes, "glyf") - TableOffsetInFont(fontBytes, "fpgm");
    EXPECT_EQ(blocks[4].size(), fpgmGap) << "fpgm: the smaller of the gap and the padded length";
    EXPECT_EQ(GetU32(blocks[2], 28 + 16 * 1 + 12), fpgmGap) << "the directory's length is what the segment carries";
    EXPECT_EQ(GetU32(blocks[2], 28 + 16 * 2 + 8), GetU32(blocks[2], 28 + 16 * 1 + 8) + fpgmGap)
        << "head's new offset follows fpgm's copy length, not its padded length";
    const uint32_t headLength = static_cast<uint32_t>(FindTable(font, "head")->size());
    EXPECT_EQ(headLength, 54u);
    EXPECT_EQ(blocks[5].size(), 56u) << "head: 54 rounded up to 56";
    EXPECT_EQ(GetU32(blocks[2], 28 + 16 * 2 + 12), 54u);
    EXPECT_EQ(blocks[9].size(), 4u) << "the last table ends with its padding, not the file";

    // A font that ends inside that padding keeps what it has.
    fontBytes.resize(prepOffset + 2);
    TempFile shortFile(fontBytes);
    DirectRun shortRun(shortFile.path, 1);
    ASSERT_EQ(shortRun.Request(u"", written), Status::kOk);
    blocks = HeaderBlocks(Decode(written));
    ASSERT_EQ(blocks.size(), 11u);
    EXPECT_EQ(blocks[9], Bytes(fontBytes.begin() + prepOffset, fontBytes.end()));
}

TEST_F(DownloadTest, LargeTablesAreSplitIntoBlocks)
{
    struct Case {
        size_t length;
        std::vector<size_t> blocks;
    };
    for (const Case &c : {Case{70000, {32768, 32768, 4464}}, Case{65536, {32768, 32768, 0}},
                          Case{0, {0}}, Case{65532, {65532}}}) {
        FontBuilder font = MakeSampleFont({.glyphs = SampleGlyphs(4), .unicodeSegments = {{0x20, 0x7E, -0x1F}}});
        RemoveTable(font, "cvt ");
        RemoveTable(font, "fpgm");
        RemoveTable(font, "hhea");
        RemoveTable(font, "hmtx");
        RemoveTable(font, "head");
        RemoveTable(font, "maxp");
        Bytes prep(c.length);
        for (size_t i = 0; i < prep.size(); ++i)
            prep[i] = static_cast<uint8_t>(i * 7);
        SetTable(font, "prep", prep);
        // head and maxp after prep so that prep's copy length is its own.
        AddTable(font, "zzz1", Bytes{});
        AddTable(font, "head", MakeHead(0));
        AddTable(font, "maxp", MakeMaxp(4));
        const Bytes fontBytes = BuildFont(font);
        TempFile file(fontBytes);
        DirectRun run(file.path, 1);
        Bytes written;
        ASSERT_EQ(run.Request(u"", written), Status::kOk);
        auto blocks = HeaderBlocks(Decode(written));
        // descriptor, GT header, directory, prep blocks, head, maxp, null
        ASSERT_EQ(blocks.size(), 3 + c.blocks.size() + 3) << c.length;
        Bytes joined;
        for (size_t i = 0; i < c.blocks.size(); ++i) {
            EXPECT_EQ(blocks[3 + i].size(), c.blocks[i]) << c.length << " block " << i;
            joined.insert(joined.end(), blocks[3 + i].begin(), blocks[3 + i].end());
        }
        EXPECT_EQ(joined, prep) << c.length;
    }
}

TEST_F(DownloadTest, HeaderTablesAreChosenByExactTag)
{
    // Upper-case forms are taken; a capital first letter alone is not.
    FontBuilder font = MakeSampleFont({.glyphs = SampleGlyphs(4)});
    for (const char *tag : {"cvt ", "fpgm", "hmtx", "prep"})
        RemoveTable(font, tag);
    for (auto &table : font.tables) {
        if (table.tag == "head")
            table.tag = "HEAD";
        if (table.tag == "hhea")
            table.tag = "Hhea";
    }
    AddTable(font, "CVT ", MakeCvt({1, 2}));
    TempFile file(BuildFont(font));
    DirectRun run(file.path, 1);
    FontEntry *entry = nullptr;
    ASSERT_EQ(AddFontEntry(run.session), 1);
    entry = run.session->pCurrent;
    std::memset(entry, 0, sizeof(*entry));
    std::strcpy(entry->szFaceName, "Sample");
    {
        FontFace face(run.session, true, run.path.c_str());
        ASSERT_EQ(DownloadFontHeader(&face, entry, run.stream), Status::kOk);
    }
    auto blocks = HeaderBlocks(Decode(g_xlRecorder.all));
    ASSERT_GE(blocks.size(), 3u);
    const Bytes &dir = blocks[2];
    ASSERT_EQ(dir.size(), 28u + 3 * 16);
    EXPECT_EQ(GetU16(dir, 4), 4u);
    std::vector<std::string> tags;
    for (size_t k = 0; k < 3; ++k)
        tags.emplace_back(dir.begin() + static_cast<std::ptrdiff_t>(28 + 16 * k),
                          dir.begin() + static_cast<std::ptrdiff_t>(32 + 16 * k));
    EXPECT_EQ(tags, (std::vector<std::string>{"HEAD", "maxp", "CVT "}));

    // No header table at all: a directory holding only gdir.
    FontBuilder bare;
    AddTable(bare, "glyf", Bytes(8, 0));
    AddTable(bare, "name", MakeName("Bare"));
    TempFile bareFile(BuildFont(bare));
    run.path = bareFile.path;
    g_xlRecorder.all.clear();
    FontFace bareFace(run.session, true, run.path.c_str());
    ASSERT_EQ(DownloadFontHeader(&bareFace, entry, run.stream), Status::kOk);
    blocks = HeaderBlocks(Decode(g_xlRecorder.all));
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(blocks[2].size(), 28u);
    EXPECT_EQ(GetU16(blocks[2], 4), 1u);
    EXPECT_EQ(GetU32(blocks[1], 2), 28u) << "segment size";
}

TEST_F(DownloadTest, CharactersGoOutOnceInOneBlock)
{
    std::vector<Bytes> glyphs = SampleGlyphs(100);
    glyphs[0x42 - 0x1F] = Bytes{}; // 'B' has an empty glyph
    glyphs[0x20] = Bytes{};        // and so has glyph 32, which unmapped codes take
    FontBuilder font = MakeSampleFont({.glyphs = glyphs, .unicodeSegments = {{0x20, 0x7E, -0x1F}}});
    const Bytes fontBytes = BuildFont(font);
    TempFile file(fontBytes);
    DirectRun run(file.path, 1);
    Bytes written;

    ASSERT_EQ(run.Request(u"", written), Status::kOk);
    ASSERT_EQ(run.Request(u"AAC", written), Status::kOk);
    auto ops = Decode(written);
    EXPECT_EQ(OpCodes(ops), (std::vector<uint8_t>{kSetFont, kSetCharBoldValue, kSetCharShear,
                                                  kSetCharAngle, kBeginChar, kReadChar, kReadChar,
                                                  kEndChar}));
    auto chars = Chars(ops);
    ASSERT_EQ(chars.size(), 2u);
    EXPECT_EQ(chars[0].code, 0x41);
    EXPECT_EQ(chars[1].code, 0x43);
    const Bytes &glyphA = glyphs[0x41 - 0x1F];
    // Short loca pads glyphs to even lengths; the block carries what loca says.
    Bytes expected(6 + ((glyphA.size() + 1) & ~size_t{1}), 0);
    const uint8_t head[] = {0x01, 0x00, static_cast<uint8_t>((glyphA.size() + 4) >> 8),
                            static_cast<uint8_t>(glyphA.size() + 4), 0x00, 0x22};
    std::copy(std::begin(head), std::end(head), expected.begin());
    std::copy(glyphA.begin(), glyphA.end(), expected.begin() + 6);
    expected[3] = static_cast<uint8_t>(expected.size() - 2);
    EXPECT_EQ(chars[0].block, expected);
    EXPECT_EQ(ops[5].Find(0xA3)->value.numbers.at(0), static_cast<double>(expected.size()));
    EXPECT_EQ(run.info.anGlyphIndex[0], 0x22);
    EXPECT_EQ(run.info.anGlyphIndex[1], 0x22);
    EXPECT_EQ(run.info.anGlyphIndex[2], 0x24);

    // Again: only the selection.
    ASSERT_EQ(run.Request(u"CA", written), Status::kOk);
    EXPECT_EQ(OpCodes(Decode(written)),
              (std::vector<uint8_t>{kSetFont, kSetCharBoldValue, kSetCharShear, kSetCharAngle}));

    // " A" after a fresh font: the block opens right before A; the space is
    // never sent but marked.
    ASSERT_EQ(run.Request(u" D", written), Status::kOk);
    ops = Decode(written);
    EXPECT_EQ(OpCodes(ops), (std::vector<uint8_t>{kSetFont, kSetCharBoldValue, kSetCharShear,
                                                  kSetCharAngle, kBeginChar, kReadChar, kEndChar}));
    EXPECT_EQ(run.info.anGlyphIndex[0], 1) << "the space's glyph";
    EXPECT_EQ(run.session->pHead->pbDownloaded[0x20 / 8] & 1, 1);

    // A mapped empty glyph is an advance, like the space: nothing is sent,
    // and the character keeps its glyph.
    ASSERT_EQ(run.Request(u"B", written), Status::kOk);
    EXPECT_EQ(OpCodes(Decode(written)),
              (std::vector<uint8_t>{kSetFont, kSetCharBoldValue, kSetCharShear, kSetCharAngle}));
    EXPECT_EQ(run.info.anGlyphIndex[0], 0x23);

    // A code the cmap does not map goes out with glyph 0x20 and reports no
    // glyph, once per font however often it comes; 0xFFFF has no entry and
    // sends nothing.
    ASSERT_EQ(run.Request(std::u16string(u"\u00e9\u00e9") + char16_t(0xFFFF), written), Status::kOk);
    chars = Chars(Decode(written));
    ASSERT_EQ(chars.size(), 1u);
    EXPECT_EQ(chars[0].code, 0xE9);
    EXPECT_EQ(chars[0].block, (Bytes{1, 0, 0, 4, 0, 0x20}));
    EXPECT_EQ(run.info.anGlyphIndex[0], static_cast<int>(kNoGlyph));
    EXPECT_EQ(run.info.anGlyphIndex[1], static_cast<int>(kNoGlyph));
    EXPECT_EQ(run.info.anGlyphIndex[2], static_cast<int>(kNoGlyph)) << "0xFFFF";
    ASSERT_EQ(run.Request(u"\u00e9", written), Status::kOk);
    EXPECT_TRUE(Chars(Decode(written)).empty());
    EXPECT_EQ(run.info.anGlyphIndex[0], static_cast<int>(kNoGlyph));
}

TEST_F(DownloadTest, CompositeSendsItsComponentsInTheSameBlock)
{
    std::vector<Bytes> glyphs = SampleGlyphs(100);
    const uint16_t e = 0x65 - 0x1F, acute = 90;
    glyphs[acute] = MakeOpaqueGlyph(100, 9);
    const Bytes composite = MakeCompositeOf({e, acute});
    FontBuilder font = MakeSampleFont({.glyphs = glyphs,
                                       .unicodeSegments = {{0x20, 0x7E, -0x1F}, {0xE9, 0xE9, static_cast<int16_t>(91 - 0xE9)}}});
    std::vector<Bytes> withComposite = glyphs;
    withComposite[91] = composite;
    font = MakeSampleFont({.glyphs = withComposite,
                           .unicodeSegments = {{0x20, 0x7E, -0x1F}, {0xE9, 0xE9, static_cast<int16_t>(91 - 0xE9)}}});
    TempFile file(BuildFont(font));
    DirectRun run(file.path, 1);
    Bytes written;
    ASSERT_EQ(run.Request(u"\u00e9", written), Status::kOk);
    auto ops = Decode(written);
    size_t begin = 0, end = 0;
    for (size_t i = 0; i < ops.size(); ++i) {
        begin = ops[i].op == kBeginChar ? i : begin;
        end = ops[i].op == kEndChar ? i : end;
    }
    auto chars = Chars(ops);
    ASSERT_EQ(chars.size(), 3u);
    EXPECT_EQ(chars[0].code, 0xE9);
    EXPECT_EQ(chars[1].code, 0xFFFF);
    EXPECT_EQ(chars[2].code, 0xFFFF);
    EXPECT_EQ(GetU16(chars[1].block, 4), e);
    EXPECT_EQ(GetU16(chars[2].block, 4), acute);
    EXPECT_EQ(chars[2].block.size(), 106u);
    EXPECT_EQ(GetU16(chars[2].block, 2), 0x68u);
    EXPECT_EQ(end - begin, 4u) << "all three inside one BeginChar ... EndChar";
}

TEST_F(DownloadTest, SelectionValuesFollowTheRequest)
{
    TempFile file(BuildFont(SampleFont()));
    struct Case {
        int height, resolution, bold, italic;
        float size;
        uint32_t boldBits, shearBits;
    };
    for (const Case &c : {Case{120, 600, 1, 1, 100.0f, 0x3C23D70A, 0x3E221965},
                          Case{125, 600, 2, 2, 100.0f, 0, 0}, Case{105, 300, 0, 0, 41.0f, 0, 0}}) {
        DirectRun run(file.path, 1);
        run.info.nResolution = c.resolution;
        run.text.FontHeight = c.height;
        run.text.bBold = c.bold;
        run.text.bItalic = c.italic;
        Bytes written;
        ASSERT_EQ(run.Request(u"A", written), Status::kOk);
        auto ops = Decode(written);
        const XLOperation *setFont = nullptr, *bold = nullptr, *shear = nullptr, *angle = nullptr;
        for (const auto &op : ops) {
            setFont = op.op == kSetFont ? &op : setFont;
            bold = op.op == kSetCharBoldValue ? &op : bold;
            shear = op.op == kSetCharShear ? &op : shear;
            angle = op.op == kSetCharAngle ? &op : angle;
        }
        ASSERT_TRUE(setFont && bold && shear && angle);
        EXPECT_EQ(setFont->Find(0xA6)->value.numbers.at(0), c.size);
        EXPECT_EQ(setFont->Find(0xAA)->value.numbers.at(0), 1.0);
        EXPECT_EQ(Real32Bits(bold->Find(0xB1)), c.boldBits);
        EXPECT_EQ(Real32Bits(shear->Find(0xA5), 0), c.shearBits);
        EXPECT_EQ(Real32Bits(shear->Find(0xA5), 1), 0u);
        EXPECT_EQ(angle->Find(0xA1)->value.numbers.at(0), 0.0);
    }
    EXPECT_EQ(CharacterSize(120, 600), 100.0f);
}

TEST_F(DownloadTest, HeaderOncePerIdAndAFailedCallLeavesNoPart)
{
    FontBuilder good = SampleFont();
    FontBuilder noCmap = good;
    RemoveTable(noCmap, "cmap");
    TempFile goodFile(BuildFont(good)), badFile(BuildFont(noCmap));
    TempPath out;
    auto headers = [&] {
        size_t n = 0;
        for (const auto &op : Decode(out.Read()))
            n += op.op == kBeginFontHeader;
        return n;
    };
    WideRequest a = MakeWideRequest(goodFile.path, out.path, "AB", 1, true);
    ASSERT_EQ(FNDLFontDownloadW(&a.text, &a.page), FNDL_OK);
    ASSERT_EQ(FNDLFontDownloadW(&a.text, &a.page), FNDL_OK);
    EXPECT_EQ(headers(), 1u);
    WideRequest sameFace = MakeWideRequest(goodFile.path, out.path, "AB", 2, true);
    ASSERT_EQ(FNDLFontDownloadW(&sameFace.text, &sameFace.page), FNDL_OK);
    EXPECT_EQ(headers(), 2u) << "another id, another soft font";

    // A font without cmap fails before its header: nothing is written and
    // the session goes on with what the printer holds.
    const Bytes before = out.Read();
    WideRequest bad = MakeWideRequest(badFile.path, out.path, "AB", 3, true);
    EXPECT_EQ(FNDLFontDownloadW(&bad.text, &bad.page), FNDL_DOWNLOAD_FAILURE);
    EXPECT_TRUE(out.Read() == before);
    ASSERT_NE(g_pSession, nullptr);
    EXPECT_EQ(g_pSession->nCount, 2u);
    ASSERT_EQ(FNDLFontDownloadW(&a.text, &a.page), FNDL_OK);
    EXPECT_EQ(headers(), 2u) << "id 1 is not downloaded again";
}

TEST_F(DownloadTest, UnusableFontsFailBeforeAnythingIsWritten)
{
    FontBuilder cff = SampleFont();
    RemoveTable(cff, "glyf");
    RemoveTable(cff, "loca");
    AddTable(cff, "CFF ", Bytes(40, 1));
    FontBuilder outside = SampleFont();
    Bytes outsideBytes = BuildFont(outside);
    PutU32(outsideBytes, DirectoryRecordPosition(6) + 8, 0x7FFFFFF0); // hhea far outside
    ASSERT_EQ(outside.tables[6].tag, "hhea");
    TempFile cffFile(BuildFont(cff)), outsideFile(outsideBytes), empty(Bytes{});
    for (const std::string &path : {cffFile.path, outsideFile.path, empty.path}) {
        ResetLibraryState();
        TempPath out;
        WideRequest r = MakeWideRequest(path, out.path, "AB", 1, true);
        EXPECT_EQ(FNDLFontDownloadW(&r.text, &r.page), FNDL_DOWNLOAD_FAILURE) << path;
        EXPECT_TRUE(out.Read().empty()) << path;
    }
}

TEST_F(DownloadTest, DeviceContextAndFileGiveTheSameHeader)
{
    TempPath fileOut, dcOut;
    WideRequest f = MakeWideRequest(kDejaVuSans, fileOut.path, "Ab", 1, true);
    ASSERT_EQ(FNDLFontDownloadW(&f.text, &f.page), FNDL_OK);
    ResetLibraryState();
    WideRequest d = MakeWideRequest("DejaVu Sans", dcOut.path, "Ab", 1, false);
    ASSERT_EQ(FNDLFontDownloadW(&d.text, &d.page), FNDL_OK);
    auto fileOps = Decode(fileOut.Read()), dcOps = Decode(dcOut.Read());
    EXPECT_EQ(HeaderBlocks(fileOps), HeaderBlocks(dcOps));
    auto fileChars = Chars(fileOps), dcChars = Chars(dcOps);
    ASSERT_EQ(fileChars.size(), dcChars.size());
    for (size_t i = 0; i < fileChars.size(); ++i)
        EXPECT_EQ(fileChars[i].block, dcChars[i].block);
}

TEST_F(DownloadTest, BothSourcesGiveOneAnswerOnEmptyAndRepeatedTables)
{
    // An empty table is a table: an empty prep goes into the header as an
    // empty block, an empty cmap leaves the identity mapping. Of two maxp
    // records the first gives the glyph count and the glyph-index limit.
    struct Variant {
        const char *what;
        void (*edit)(FontBuilder &);
        bool wholeJob; // two maxp records: the device context reads maxp by its tag
    };
    const Variant variants[] = {
        {"empty prep", [](FontBuilder &f) { SetTable(f, "prep", Bytes{}); }, true},
        {"empty cmap", [](FontBuilder &f) { SetTable(f, "cmap", Bytes{}); }, true},
        {"two maxp", [](FontBuilder &f) { AddTable(f, "maxp", MakeMaxp(3)); }, false},
    };
    for (const Variant &variant : variants) {
        SCOPED_TRACE(variant.what);
        FontBuilder font = SampleFont(40);
        variant.edit(font);
        const Bytes fontBytes = BuildFont(font);
        TempFile file(fontBytes);
        PlatformServeFontData(fontBytes.data(), fontBytes.size());
        int results[2];
        Bytes jobs[2];
        for (int bFromFile = 0; bFromFile < 2; ++bFromFile) {
            ResetLibraryState();
            TempPath out;
            // The path doubles as the face name, so that the font names agree.
            WideRequest r = MakeWideRequest(file.path, out.path, "AB\x05", 1, bFromFile != 0);
            results[bFromFile] = FNDLFontDownloadW(&r.text, &r.page);
            jobs[bFromFile] = out.Read();
        }
        EXPECT_NE(results[1], FNDL_DOWNLOAD_FAILURE);
        EXPECT_EQ(results[0], results[1]);
        const auto dcChars = Chars(Decode(jobs[0])), fileChars = Chars(Decode(jobs[1]));
        ASSERT_EQ(dcChars.size(), fileChars.size());
        ASSERT_FALSE(fileChars.empty());
        for (size_t i = 0; i < fileChars.size(); ++i)
            EXPECT_GT(fileChars[i].block.size(), 6u) << "character " << fileChars[i].code << " has its glyph";
        for (size_t i = 0; i < fileChars.size(); ++i)
            EXPECT_EQ(dcChars[i].block, fileChars[i].block);
        if (variant.wholeJob) {
            EXPECT_TRUE(jobs[0] == jobs[1]);
        }
    }
}

TEST_F(DownloadTest, HeaderTablesGoInFileOrderWhateverTheDirectoryOrder)
{
    // glyf laid out first, the rest in directory order; fpgm shares cvt's
    // bytes and hhea head's. The descriptors are kept in offset order by
    // exchanging each newcomer with every earlier one whose offset is
    // strictly larger: glyf, arriving after cvt and fpgm, swaps that pair;
    // head and hhea keep their directory order.
    FontBuilder font = SampleFont(10);
    ASSERT_EQ(font.tables[4].tag, "glyf");
    font.layout = {4, 0, 1, 2, 3, 5, 6, 7, 8, 9, 10, 11, 12};
    Bytes fontBytes = BuildFont(font);
    auto record = [&](const char *tag) {
        for (size_t k = 0; k < font.tables.size(); ++k)
            if (font.tables[k].tag == tag)
                return DirectoryRecordPosition(k);
        return size_t{0};
    };
    for (auto [from, to] : {std::pair{"cvt ", "fpgm"}, std::pair{"head", "hhea"}}) {
        PutU32(fontBytes, record(to) + 8, GetU32(fontBytes, record(from) + 8));
        PutU32(fontBytes, record(to) + 12, GetU32(fontBytes, record(from) + 12));
    }
    TempFile file(fontBytes);
    DirectRun run(file.path, 1);
    Bytes written;
    ASSERT_EQ(run.Request(u"", written), Status::kOk);
    const auto blocks = HeaderBlocks(Decode(written));
    ASSERT_EQ(blocks.size(), 11u);
    const Bytes &dir = blocks[2];
    const uint32_t cvtLength = GetU32(fontBytes, record("cvt ") + 12);
    const uint32_t headLength = GetU32(fontBytes, record("head") + 12);
    struct Expected {
        const char *tag;
        uint32_t copyLength; // 0 for the first of two tables at one offset
        uint32_t length;
    };
    auto padded = [](uint32_t n) { return (n + 3) & ~3u; };
    auto size = [&](const char *tag) { return static_cast<uint32_t>(FindTable(font, tag)->size()); };
    const Expected expected[] = {{"fpgm", 0, cvtLength},
                                 {"cvt ", padded(cvtLength), cvtLength},
                                 {"head", 0, headLength},
                                 {"hhea", padded(headLength), headLength},
                                 {"hmtx", padded(size("hmtx")), size("hmtx")},
                                 {"maxp", padded(size("maxp")), size("maxp")},
                                 {"prep", padded(size("prep")), size("prep")}};
    uint32_t newOffset = 28 + 16 * 7;
    for (size_t k = 0; k < 7; ++k) {
        SCOPED_TRACE(expected[k].tag);
        const size_t at = 28 + 16 * k;
        EXPECT_EQ(std::string(dir.begin() + static_cast<std::ptrdiff_t>(at),
                              dir.begin() + static_cast<std::ptrdiff_t>(at + 4)),
                  expected[k].tag);
        EXPECT_EQ(GetU32(dir, at + 8), newOffset);
        EXPECT_EQ(GetU32(dir, at + 12), expected[k].length);
        ASSERT_EQ(blocks[3 + k].size(), expected[k].copyLength);
        const uint32_t fontOffset = GetU32(fontBytes, record(expected[k].tag) + 8);
        EXPECT_TRUE(std::equal(blocks[3 + k].begin(), blocks[3 + k].end(), fontBytes.begin() + fontOffset));
        newOffset += expected[k].copyLength;
    }
}

TEST_F(DownloadTest, DirectoryOrderIsTheExchangesOrderForAnyOffsets)
{
    // The order is computed without doing the n*n/2 exchanges; it must be
    // theirs, ties included, for directories full of equal offsets.
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t bound) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % bound;
    };
    for (int round = 0; round < 300; ++round) {
        const uint32_t nTables = round == 0 ? 1024 : 1 + next(60);
        const uint32_t nDistinct = 1 + next(round % 3 == 0 ? 1000 : 6);
        Bytes directory(12 + 16 * size_t{nTables});
        PutU16(directory, 4, static_cast<uint16_t>(nTables));
        std::vector<std::pair<uint32_t, uint32_t>> expected; // offset, record
        for (uint32_t k = 0; k < nTables; ++k) {
            const uint32_t offset = 64 * next(nDistinct);
            PutU32(directory, 12 + 16 * k, 0x74000000u | k); // a tag naming the record
            PutU32(directory, 12 + 16 * k + 8, offset);
            expected.emplace_back(offset, k);
            for (uint32_t j = 0; j < k; ++j)
                if (expected[k].first < expected[j].first)
                    std::swap(expected[j], expected[k]);
        }
        TableDescriptor *descriptors = nullptr;
        uint32_t count = 0;
        ASSERT_EQ(ReadTableDirectory(directory.data(), static_cast<uint32_t>(directory.size()), 1u << 20,
                                     &descriptors, &count),
                  0);
        ASSERT_EQ(count, nTables);
        for (uint32_t k = 0; k < nTables; ++k) {
            uint32_t tag = 0;
            for (int b = 0; b < 4; ++b)
                tag = tag << 8 | static_cast<uint8_t>(descriptors[k].szTag[b]);
            ASSERT_EQ(tag & 0xFFFFFF, expected[k].second) << "round " << round << ", position " << k;
        }
        GlobalFree(descriptors);
    }
}

TEST_F(DownloadTest, DirectoriesLargerThanAFontHasAreRefused)
{
    // The directory is sorted once per new font; more records than any
    // font has tables fail the download before anything is written.
    for (size_t nTables : {1024, 1025}) {
        FontBuilder font = SampleFont(10);
        while (font.tables.size() < nTables)
            AddTable(font, "z" + std::to_string(100 + font.tables.size() % 900), Bytes{});
        TempFile file(BuildFont(font));
        DirectRun run(file.path, 1);
        Bytes written;
        EXPECT_EQ(run.Request(u"", written), nTables <= 1024 ? Status::kOk : Status::kRefused) << nTables;
        EXPECT_EQ(written.empty(), nTables > 1024);
    }
}

// Every embedded block has the length its operator announced, and every
// character carries exactly its glyph's bytes from the font.
TEST_F(DownloadTest, WholeJobOnDejaVuMatchesTheFont)
{
    TempPath out;
    WideRequest r = MakeWideRequest(kDejaVuSans, out.path, "Zoë café ǖ Ǻ ﬁ ½ Ωμέγα ё", 5, true);
    ASSERT_EQ(FNDLFontDownloadW(&r.text, &r.page), FNDL_OK);
    const Bytes job = out.Read();
    std::vector<XLToken> tokens;
    XLDecodeError error;
    ASSERT_TRUE(XLDecodeTokens(job, tokens, error)) << error.message;
    auto ops = Decode(job);
    for (const auto &op : ops) {
        if (op.op == kReadFontHeader) {
            EXPECT_EQ(op.data.size(), op.Find(0xA7)->value.numbers.at(0));
        }
        if (op.op == kReadChar) {
            EXPECT_EQ(op.data.size(), op.Find(0xA3)->value.numbers.at(0));
        }
    }

    // The font's own glyph bytes, through head, loca and glyf.
    TempPath fontCopy;
    std::ifstream in(kDejaVuSans, std::ios::binary);
    const Bytes font((std::istreambuf_iterator<char>(in)), {});
    auto tableAt = [&](const char *tag) {
        const uint16_t n = GetU16(font, 4);
        for (uint16_t k = 0; k < n; ++k)
            if (std::memcmp(font.data() + 12 + 16 * k, tag, 4) == 0)
                return GetU32(font, 12 + 16 * k + 8);
        return 0u;
    };
    const uint32_t head = tableAt("head"), loca = tableAt("loca"), glyf = tableAt("glyf");
    const bool longLoca = GetU16(font, head + 50) != 0;
    auto glyphBytes = [&](uint16_t g) {
        const uint32_t start = longLoca ? GetU32(font, loca + 4 * g) : 2u * GetU16(font, loca + 2 * g);
        const uint32_t end = longLoca ? GetU32(font, loca + 4 * g + 4) : 2u * GetU16(font, loca + 2 * g + 2);
        return Bytes(font.begin() + glyf + start, font.begin() + glyf + end);
    };
    size_t checked = 0, components = 0;
    for (const SentChar &c : Chars(ops)) {
        ASSERT_GE(c.block.size(), 6u);
        EXPECT_EQ(c.block[0], 1);
        EXPECT_EQ(c.block[1], 0);
        EXPECT_EQ(GetU16(c.block, 2), c.block.size() - 2);
        const Bytes data(c.block.begin() + 6, c.block.end());
        EXPECT_EQ(data, glyphBytes(GetU16(c.block, 4))) << "glyph " << GetU16(c.block, 4);
        ++checked;
        components += c.code == 0xFFFF;
    }
    EXPECT_GT(checked, 15u);
    EXPECT_GT(components, 5u);
}

TEST_F(DownloadTest, LongFaceNameIsCutTheSameEverywhere)
{
    const Bytes fontBytes = BuildFont(SampleFont());
    PlatformServeFontData(fontBytes.data(), fontBytes.size());
    const std::string face(300, 'F');
    TempPath out;
    WideRequest r = MakeWideRequest(face, out.path, "AB", 0x7fffffff, false);
    ASSERT_EQ(FNDLFontDownloadW(&r.text, &r.page), FNDL_OK);
    int id = 0x7fffffff;
    FNDLRemoveFontW(&id);
    std::vector<std::string> names;
    const Bytes job = out.Read();
    for (const auto &op : Decode(job)) {
        if (const XLAttribute *name = op.Find(0xA8))
            names.emplace_back(name->value.raw.begin(), name->value.raw.end());
    }
    ASSERT_EQ(names.size(), 4u); // BeginFontHeader, SetFont, BeginChar, RemoveFont
    EXPECT_EQ(names[0].size(), 255u);
    EXPECT_EQ(names[0].substr(0, 12), "OT:7fffffff:");
    EXPECT_EQ(names[0].substr(names[0].size() - 2), ":n");
    for (const auto &name : names)
        EXPECT_EQ(name, names[0]);

    FontEntry entry{};
    entry.nFontId = -1;
    std::strcpy(entry.szFaceName, "Sample");
    MakeXLFontName(&entry);
    EXPECT_STREQ(entry.szXLFontName, "OT:ffffffff:Sample:n");
}

TEST_F(DownloadTest, CollectionFileIsReadThroughItsFirstFont)
{
    FontBuilder first = SampleFont(50), second = SampleFont(70);
    TempFile plain(BuildFont(first)), collection(BuildCollection({first, second}));
    Bytes plainBytes, collectionBytes;
    {
        DirectRun run(plain.path, 1);
        ASSERT_EQ(run.Request(u"AB", plainBytes), Status::kOk);
    }
    {
        DirectRun run(collection.path, 1);
        ASSERT_EQ(run.Request(u"AB", collectionBytes), Status::kOk);
    }
    auto plainOps = Decode(plainBytes), collectionOps = Decode(collectionBytes);
    auto plainBlocks = HeaderBlocks(plainOps), collectionBlocks = HeaderBlocks(collectionOps);
    ASSERT_EQ(plainBlocks.size(), collectionBlocks.size());
    EXPECT_EQ(plainBlocks[0], collectionBlocks[0]) << "descriptor: the first font's glyph count";
    for (size_t i = 3; i < plainBlocks.size(); ++i) {
        if (i == 5) { // head: its checkSumAdjustment covers the whole file
            for (size_t b = 8; b < 12; ++b)
                plainBlocks[i][b] = collectionBlocks[i][b] = 0;
        }
        EXPECT_EQ(plainBlocks[i], collectionBlocks[i]) << "table block " << i;
    }
    auto plainChars = Chars(plainOps), collectionChars = Chars(collectionOps);
    ASSERT_EQ(plainChars.size(), 2u);
    ASSERT_EQ(collectionChars.size(), 2u);
    EXPECT_EQ(plainChars[0].block, collectionChars[0].block);
}
