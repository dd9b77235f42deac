// SPDX-License-Identifier: MIT
// The fast paths against the straightforward ones, byte for byte: glyph
// lookups inside a call's read scope (tables found once, glyphs read on
// their own through the device context), the one-pass cmap fill for
// ascending segments, the stream's block copy, and FreeType realizations
// kept across logical fonts.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform_hooks.h"
#include "platform/platform_internal.h"
#include "qorvfndl.h"
#include "session/session.h"
#include "support/fontbuilder.h"
#include "support/requests.h"
#include "truetype/truetype.h"
#include "xldecode/xldecode.h"

namespace {

constexpr const char *kIpaGothic = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";
constexpr int kFontId = 7;

bool Readable(const char *szPath) { return access(szPath, R_OK) == 0; }

// How the font reaches the requests.
struct FontUnderTest {
    std::string name;      // face name (device context) or path (file)
    bool bFromFile;
    const Bytes *pServed;  // bytes served to every logical font, or null
};

struct RunResult {
    std::vector<int> results;
    std::vector<uint8_t> output;
};

// A first request, a second one with some new characters, the first text
// again, and the removal, on a fresh session with the cursor at the top.
RunResult RunRequests(const FontUnderTest &font, const std::vector<std::string> &texts)
{
    ResetLibraryState();
    if (font.pServed)
        PlatformServeFontData(font.pServed->data(), font.pServed->size());
    TempPath output;
    RunResult run;
    int nX = 100, nY = 100;
    FNDLSetCursor(&nX, &nY);
    for (const std::string &text : texts) {
        WideRequest request = MakeWideRequest(font.name, output.path, text, kFontId, font.bFromFile);
        run.results.push_back(FNDLFontDownloadW(&request.text, &request.page));
        run.results.push_back(request.text.nOffsetToText);
        run.results.push_back(request.page.nStopX);
    }
    int nFontId = kFontId;
    FNDLRemoveFontW(&nFontId);
    run.output = output.Read();
    if (font.pServed)
        PlatformServeFontData(nullptr, 0);
    ResetLibraryState();
    return run;
}

// Cold (FreeType from the font file) against the run with the realizations
// the first run left.
void ExpectFastPathsMatch(const FontUnderTest &font, const std::vector<std::string> &texts)
{
    PlatformForgetFontRealizations();
    const RunResult plain = RunRequests(font, texts);
    const RunResult fastWarm = RunRequests(font, texts);

    std::vector<XLOperation> ops;
    XLDecodeError error;
    ASSERT_TRUE(XLDecodeOperations(plain.output, ops, error)) << error.message << " at " << error.offset;
    size_t nChars = 0;
    for (const XLOperation &op : ops)
        nChars += op.op == 0x53; // ReadChar
    EXPECT_GT(nChars, 0u);
    EXPECT_EQ(fastWarm.results, plain.results);
    EXPECT_TRUE(fastWarm.output == plain.output);
}

// UTF-8 of a run of BMP code points.
std::string CodeRun(char16_t first, char16_t last)
{
    std::string utf8;
    for (char32_t c = first; c <= last; ++c) {
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8 += static_cast<char>(0xE0 | (c >> 12));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

struct FastPathTest : ::testing::Test {
    void TearDown() override
    {
        PlatformServeFontData(nullptr, 0);
        ResetLibraryState();
    }
};

} // namespace

TEST_F(FastPathTest, DejaVuSansBothSources)
{
    // Latin, accented letters (composite glyphs), Greek and Cyrillic.
    const std::vector<std::string> texts = {
        "The quick brown fox jumps over the lazy dog. " + CodeRun(0xC0, 0xFF),
        CodeRun(0x391, 0x3A9) + " " + CodeRun(0x410, 0x44F) + " caf\xC3\xA9 na\xC3\xAFve",
        "The quick brown fox jumps over the lazy dog. " + CodeRun(0xC0, 0xFF),
    };
    ExpectFastPathsMatch({"DejaVu Sans", false, nullptr}, texts);
    ExpectFastPathsMatch({kDejaVuSans, true, nullptr}, texts);
}

TEST_F(FastPathTest, SyntheticFontWithCompositesAndEveryCmapForm)
{
    // Glyphs: 0 .notdef, 1-4 simple, 5 empty, 6 composite of 1 and 2,
    // 7 composite of 6 and 3 (nested), 8 composite naming a glyph beyond
    // the font.
    std::vector<Bytes> glyphs = {Bytes{}, MakeOpaqueGlyph(40, 1), MakeOpaqueGlyph(2000, 2),
                                 MakeOpaqueGlyph(64, 3), MakeOpaqueGlyph(10, 4), Bytes{},
                                 MakeCompositeOf({1, 2}), MakeCompositeOf({6, 3}),
                                 MakeCompositeOf({1, 300})};
    // Ascending segments (one pass) in one font, an overlapping pair (first
    // segment wins) in the other; direct and glyphIdArray mappings.
    const std::vector<CmapSegment> ascending = {
        {0x41, 0x48, -0x41 + 1},
        {0x61, 0x64, 0, {5, 6, 7, 8}},
        {0x3041, 0x3044, 0, {1, 0, 3, 4}},
    };
    const std::vector<CmapSegment> overlapping = {
        {0x61, 0x64, 0, {5, 6, 7, 8}},
        {0x41, 0x70, -0x41 + 1},
        {0x3041, 0x3044, 0, {1, 0, 3, 4}},
    };
    for (bool bLongLoca : {false, true}) {
        for (const auto *pSegments : {&ascending, &overlapping}) {
            SCOPED_TRACE(bLongLoca ? "long loca" : "short loca");
            const Bytes bytes = BuildFont(MakeSampleFont(
                {.glyphs = glyphs, .longLoca = bLongLoca, .unicodeSegments = *pSegments}));
            const std::vector<std::string> texts = {"ABCDabcd", "HGFE dcba " + CodeRun(0x3041, 0x3044),
                                                    "ABCDabcd"};
            ExpectFastPathsMatch({"Sample", false, &bytes}, texts);
            TempFile file(bytes);
            ExpectFastPathsMatch({file.path, true, nullptr}, texts);
        }
    }
}

TEST_F(FastPathTest, IpaGothicBothSources)
{
    if (!Readable(kIpaGothic))
        GTEST_SKIP() << kIpaGothic << " is missing (Debian package fonts-ipafont-gothic)";
    // 一右雨円王音下火花貝学気九休
    const std::string kanji =
        "\xE4\xB8\x80\xE5\x8F\xB3\xE9\x9B\xA8\xE5\x86\x86\xE7\x8E\x8B\xE9\x9F\xB3\xE4\xB8\x8B"
        "\xE7\x81\xAB\xE8\x8A\xB1\xE8\xB2\x9D\xE5\xAD\xA6\xE6\xB0\x97\xE4\xB9\x9D\xE4\xBC\x91";
    const std::vector<std::string> texts = {
        CodeRun(0x3042, 0x3093) + kanji + CodeRun(0x30A2, 0x30F3),
        kanji + CodeRun(0x4E00, 0x4E3F) + "ABC " + CodeRun(0xFF10, 0xFF5A),
        CodeRun(0x3042, 0x3093),
    };
    ExpectFastPathsMatch({"IPAGothic", false, nullptr}, texts);
    ExpectFastPathsMatch({kIpaGothic, true, nullptr}, texts);
}

TEST_F(FastPathTest, RealizationsAreSharedPerFileFaceAndHeight)
{
    // Two logical fonts of the same face and height measure alike; after
    // the fonts are gone the kept realization gives the same widths, and a
    // realization of another height does not stand in for it.
    auto widths = [](LONG lfHeight) {
        LOGFONTA lf{};
        lf.lfHeight = lfHeight;
        std::strcpy(lf.lfFaceName, "DejaVu Sans");
        HDC hdc = CreateCompatibleDC(nullptr);
        HFONT hFont = CreateFontIndirectA(&lf);
        SelectObject(hdc, hFont);
        std::vector<int> result(96);
        EXPECT_TRUE(GetCharWidthA(hdc, 0x20, 0x7F, result.data()));
        const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
        for (UINT glyph : {36u, 500u, 1000u}) {
            GLYPHMETRICS metrics{};
            EXPECT_NE(GetGlyphOutlineA(hdc, glyph, GGO_METRICS | GGO_GLYPH_INDEX, &metrics, 0, nullptr,
                                       &identity),
                      GDI_ERROR);
            result.push_back(static_cast<int>(metrics.gmBlackBoxX));
            result.push_back(static_cast<int>(metrics.gmBlackBoxY));
            result.push_back(metrics.gmptGlyphOrigin.x);
            result.push_back(metrics.gmptGlyphOrigin.y);
            result.push_back(metrics.gmCellIncX);
        }
        DeleteDC(hdc);
        DeleteObject(hFont);
        return result;
    };
    PlatformForgetFontRealizations();
    const std::vector<int> cold120 = widths(120);
    const std::vector<int> cold300 = widths(300);
    EXPECT_NE(cold120, cold300);
    EXPECT_EQ(widths(120), cold120);
    EXPECT_EQ(widths(300), cold300);
    PlatformForgetFontRealizations();
    EXPECT_EQ(widths(300), cold300);
    EXPECT_EQ(PlatformLiveGdiObjects(), 0);
}

TEST_F(FastPathTest, ChangedFontFileIsMappedAnew)
{
    // A mapping is shared while the file at its path is unchanged; a file
    // replaced at the same path is mapped anew, and the old mapping stays
    // valid for whoever holds it.
    const Bytes first = BuildFont(MakeSampleFont({.glyphs = {Bytes{}, MakeOpaqueGlyph(20, 1)}}));
    const Bytes second = BuildFont(MakeSampleFont({.glyphs = {Bytes{}, MakeOpaqueGlyph(24, 9)}}));
    TempPath path(".ttf");
    path.Write(first);
    FontFile *pFirst = AcquireFontFile(path.path.c_str());
    ASSERT_NE(pFirst, nullptr);
    FontFile *pShared = AcquireFontFile(path.path.c_str());
    EXPECT_EQ(pShared, pFirst);
    ReleaseFontFile(pShared);

    TempPath replacement(".ttf");
    replacement.Write(second);
    ASSERT_EQ(std::rename(replacement.path.c_str(), path.path.c_str()), 0);
    FontFile *pSecond = AcquireFontFile(path.path.c_str());
    ASSERT_NE(pSecond, nullptr);
    EXPECT_NE(pSecond, pFirst);
    EXPECT_EQ(Bytes(pSecond->bytes, pSecond->bytes + pSecond->size), second);
    EXPECT_EQ(Bytes(pFirst->bytes, pFirst->bytes + pFirst->size), first);
    ReleaseFontFile(pFirst);
    // The new mapping is the one shared from now on.
    FontFile *pAgain = AcquireFontFile(path.path.c_str());
    EXPECT_EQ(pAgain, pSecond);
    ReleaseFontFile(pAgain);
    ReleaseFontFile(pSecond);

    // A file that is gone is not served from an old mapping.
    FontFile *pHeld = AcquireFontFile(path.path.c_str());
    ASSERT_NE(pHeld, nullptr);
    std::remove(path.path.c_str());
    EXPECT_EQ(AcquireFontFile(path.path.c_str()), nullptr);
    ReleaseFontFile(pHeld);
}

TEST_F(FastPathTest, CollectionFaceReadsInPiecesAsWhole)
{
    // The standalone font of a collection face is made as it is read: reads
    // of any offset and length give the bytes of the whole read, tables,
    // padding and directory alike, and a read past its end gives what is
    // left.
    FontBuilder first = MakeSampleFont({.glyphs = {Bytes{}, MakeOpaqueGlyph(21, 1)}});
    FontBuilder second = MakeSampleFont({.glyphs = {Bytes{}, MakeOpaqueGlyph(37, 2), MakeOpaqueGlyph(3, 3)},
                                         .familyName = "Second"});
    const Bytes collection = BuildCollection({first, second});
    PlatformServeFontData(collection.data(), collection.size());
    LOGFONTA lf{};
    lf.lfHeight = 120;
    HDC hdc = CreateCompatibleDC(nullptr);
    HFONT hFont = CreateFontIndirectA(&lf);
    SelectObject(hdc, hFont);
    const DWORD dwSize = GetFontData(hdc, 0, 0, nullptr, 0);
    ASSERT_NE(dwSize, GDI_ERROR);
    Bytes whole(dwSize);
    ASSERT_EQ(GetFontData(hdc, 0, 0, whole.data(), dwSize), dwSize);
    EXPECT_EQ(GetU32(whole, 0), 0x00010000u);
    for (DWORD dwPiece : {1u, 3u, 7u, 64u, 1000u}) {
        Bytes pieces;
        for (DWORD dwOffset = 0; dwOffset < dwSize; dwOffset += dwPiece) {
            Bytes piece(dwPiece, 0xAA);
            const DWORD dwRead = GetFontData(hdc, 0, dwOffset, piece.data(), dwPiece);
            ASSERT_EQ(dwRead, std::min(dwPiece, dwSize - dwOffset));
            pieces.insert(pieces.end(), piece.begin(), piece.begin() + dwRead);
        }
        EXPECT_TRUE(pieces == whole) << dwPiece;
    }
    EXPECT_EQ(GetFontData(hdc, 0, dwSize, whole.data(), 4), 0u);
    EXPECT_EQ(GetFontData(hdc, 0, dwSize + 1, whole.data(), 4), GDI_ERROR);
    DeleteDC(hdc);
    DeleteObject(hFont);
}
