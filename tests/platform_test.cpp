// SPDX-License-Identifier: MIT
// The Linux stand-in for the Windows API: face matching, font data, metrics,
// memory, files and code pages.
#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#define UNDER_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define UNDER_ADDRESS_SANITIZER 1
#endif
#endif
#ifdef UNDER_ADDRESS_SANITIZER
#include <sanitizer/asan_interface.h>
#endif

#include <windows.h>

#include "platform/platform_hooks.h"
#include "support/fontbuilder.h"
#include "truetype/fontdata.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string kDejaVuDir = "/usr/share/fonts/truetype/dejavu/";
const std::string kCollectionPath = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";

// GetFontData's form of a tag: the first character in the low byte.
constexpr DWORD Tag(const char (&t)[5])
{
    DWORD value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<uint8_t>(t[i]);
    return value;
}

Bytes ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

bool FileExists(const std::string &path)
{
    struct stat status;
    return stat(path.c_str(), &status) == 0;
}

LOGFONTA MakeLogFont(const char *face, LONG height = 120, LONG weight = FW_NORMAL, BYTE italic = 0)
{
    LOGFONTA lf = {};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfItalic = italic;
    snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", face);
    return lf;
}

// A memory DC with a font selected; both deleted at the end of the scope.
struct SelectedFont {
    HDC hdc = CreateCompatibleDC(nullptr);
    HFONT font;
    explicit SelectedFont(const LOGFONTA &lf) : font(CreateFontIndirectA(&lf)) { SelectObject(hdc, font); }
    ~SelectedFont()
    {
        DeleteDC(hdc);
        DeleteObject(font);
    }
};

// Tables of the face whose offset table starts at faceOffset, by tag.
std::map<std::string, Bytes> TablesOf(const Bytes &file, size_t faceOffset)
{
    std::map<std::string, Bytes> tables;
    const uint16_t numTables = GetU16(file, faceOffset + 4);
    for (size_t k = 0; k < numTables; ++k) {
        const size_t record = faceOffset + DirectoryRecordPosition(k);
        const uint32_t offset = GetU32(file, record + 8), length = GetU32(file, record + 12);
        tables[std::string(reinterpret_cast<const char *>(&file[record]), 4)] =
            Bytes(file.begin() + offset, file.begin() + offset + length);
    }
    return tables;
}

Bytes WholeFont(HDC hdc)
{
    const DWORD size = GetFontData(hdc, 0, 0, nullptr, 0);
    if (size == GDI_ERROR)
        return {};
    Bytes bytes(size);
    EXPECT_EQ(GetFontData(hdc, 0, 0, bytes.data(), size), size);
    return bytes;
}

// A standalone font: offset table sized for its directory, every table on a
// four-byte boundary inside the font.
void ExpectStandaloneFont(const Bytes &font)
{
    ASSERT_GE(font.size(), 12u);
    const uint16_t numTables = GetU16(font, 4);
    ASSERT_GE(font.size(), DirectoryRecordPosition(numTables));
    for (size_t k = 0; k < numTables; ++k) {
        const uint32_t offset = GetU32(font, DirectoryRecordPosition(k) + 8);
        const uint32_t length = GetU32(font, DirectoryRecordPosition(k) + 12);
        EXPECT_EQ(offset % 4, 0u);
        EXPECT_LE(uint64_t{offset} + length, font.size());
    }
}

std::string ResolvedPath(const char *face, int weight = FW_NORMAL, bool italic = false, int *indexOut = nullptr)
{
    char path[4096];
    int index = -1;
    if (!PlatformResolveFace(face, weight, italic, path, sizeof path, &index))
        return {};
    if (indexOut)
        *indexOut = index;
    return path;
}

} // namespace

TEST(PlatformFaceMatching, ResolvesFamiliesStylesAndUnknownNames)
{
    int index = -1;
    EXPECT_EQ(ResolvedPath("DejaVu Sans", FW_NORMAL, false, &index), kDejaVuDir + "DejaVuSans.ttf");
    EXPECT_EQ(index, 0);
    EXPECT_EQ(ResolvedPath("DejaVu Sans", FW_BOLD), kDejaVuDir + "DejaVuSans-Bold.ttf");
    EXPECT_EQ(ResolvedPath("DejaVu Sans", FW_NORMAL, true), kDejaVuDir + "DejaVuSans-Oblique.ttf");
    EXPECT_EQ(ResolvedPath("DejaVu Sans Mono", FW_DONTCARE), kDejaVuDir + "DejaVuSansMono.ttf");
    // Pattern syntax in a name is part of the name, not a fontconfig property.
    EXPECT_FALSE(ResolvedPath("DejaVu Sans:bold").empty());
    EXPECT_NE(ResolvedPath("DejaVu Sans:bold"), kDejaVuDir + "DejaVuSans-Bold.ttf");

    // An unknown name still yields a font.
    EXPECT_TRUE(FileExists(ResolvedPath("No Such Family Qx7")));
    SelectedFont unknown(MakeLogFont("No Such Family Qx7"));
    ASSERT_NE(unknown.font, nullptr);
    EXPECT_NE(GetFontData(unknown.hdc, Tag("head"), 0, nullptr, 0), GDI_ERROR);

    // A path that does not fit is no answer.
    char shortPath[8];
    EXPECT_FALSE(PlatformResolveFace("DejaVu Sans", FW_NORMAL, false, shortPath, sizeof shortPath, &index));
}

TEST(PlatformFaceMatching, CachesMatchesAndBoundsTheFaceName)
{
    const LOGFONTA lf = MakeLogFont("DejaVu Serif", 100, 600, 1);
    HFONT first = CreateFontIndirectA(&lf);
    const long queries = PlatformFontconfigQueries();
    HFONT second = CreateFontIndirectA(&lf);
    EXPECT_EQ(PlatformFontconfigQueries(), queries);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    DeleteObject(first);
    DeleteObject(second);

    // No NUL within the 32 bytes of the name: read no further.
    LOGFONTA unterminated = {};
    memset(unterminated.lfFaceName, 'Z', sizeof unterminated.lfFaceName);
    HFONT font = CreateFontIndirectA(&unterminated);
    EXPECT_NE(font, nullptr);
    DeleteObject(font);
    EXPECT_EQ(CreateFontIndirectA(nullptr), nullptr);
}

// A font folder without a fontconfig cache is scanned, and no cache is
// written for it: one built by a scan that failed part-way (memory running
// out) would hide the folder's fonts from every process on the machine.
TEST(PlatformFaceMatching, WritesNoFontconfigCache)
{
    const std::string base = testing::TempDir() + "fndl-fc-" + std::to_string(getpid());
    const std::string fonts = base + "/fonts", cache = base + "/cache", config = base + "/fonts.conf";
    ASSERT_EQ(mkdir(base.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(fonts.c_str(), 0700), 0);
    {
        std::ifstream from(kDejaVuDir + "DejaVuSans.ttf", std::ios::binary);
        std::ofstream(fonts + "/Copy.ttf", std::ios::binary) << from.rdbuf();
        std::ofstream(config) << "<fontconfig><dir>" << fonts << "</dir><cachedir>" << cache
                              << "</cachedir></fontconfig>";
    }
    setenv("FONTCONFIG_FILE", config.c_str(), 1);
    PlatformForgetFontconfig();
    int index = -1;
    const std::string path = ResolvedPath("DejaVu Sans", FW_NORMAL, false, &index);
    unsetenv("FONTCONFIG_FILE");
    PlatformForgetFontconfig();
    EXPECT_EQ(path, fonts + "/Copy.ttf");
    EXPECT_FALSE(FileExists(cache)) << "a cache was written";
    std::remove(config.c_str());
    std::remove((fonts + "/Copy.ttf").c_str());
    rmdir(fonts.c_str());
    rmdir(base.c_str());
}

TEST(PlatformGdiObjects, SelectionDeletionAndHandleChecks)
{
    const long live = PlatformLiveGdiObjects();
    const std::string path = kDejaVuDir + "DejaVuSerifCondensed.ttf";
    const LOGFONTA lf = MakeLogFont("DejaVu Serif Condensed");
    HDC hdc = CreateCompatibleDC(nullptr);
    HFONT a = CreateFontIndirectA(&lf);
    HFONT b = CreateFontIndirectA(&lf);
    ASSERT_TRUE(hdc && a && b);
    EXPECT_EQ(PlatformLiveGdiObjects(), live + 3);
    EXPECT_EQ(PlatformFontFileCopies(path.c_str()), 1); // one copy shared by both fonts

    EXPECT_EQ(GetCurrentObject(hdc, OBJ_FONT), nullptr);
    EXPECT_EQ(GetFontData(hdc, Tag("head"), 0, nullptr, 0), GDI_ERROR);
    int width = 0;
    EXPECT_FALSE(GetCharWidthA(hdc, 'A', 'A', &width));
    EXPECT_EQ(SelectObject(hdc, a), nullptr);
    EXPECT_EQ(SelectObject(hdc, b), a);
    EXPECT_EQ(SelectObject(hdc, b), b);
    EXPECT_EQ(GetCurrentObject(hdc, OBJ_FONT), b);

    // A selected font is deleted when its DC lets go of it.
    EXPECT_TRUE(DeleteObject(a));
    EXPECT_TRUE(DeleteObject(b));
    EXPECT_EQ(PlatformLiveGdiObjects(), live + 2);
    EXPECT_EQ(GetFontData(hdc, Tag("head"), 0, nullptr, 0), 54u);
    EXPECT_TRUE(DeleteDC(hdc));
    EXPECT_EQ(PlatformLiveGdiObjects(), live);
    EXPECT_EQ(PlatformFontFileCopies(path.c_str()), 0);

    // Stale, null, foreign and garbage handles are refused.
    EXPECT_FALSE(DeleteDC(hdc));
    EXPECT_FALSE(DeleteObject(a));
    EXPECT_FALSE(DeleteDC(nullptr));
    EXPECT_FALSE(DeleteObject(nullptr));
    EXPECT_EQ(SelectObject(nullptr, nullptr), nullptr);
    EXPECT_EQ(GetFontData(reinterpret_cast<HDC>(0x7FFFFFFF), 0, 0, nullptr, 0), GDI_ERROR);
    EXPECT_EQ(GetFontData(reinterpret_cast<HDC>(INVALID_HANDLE_VALUE), 0, 0, nullptr, 0), GDI_ERROR);
    EXPECT_EQ(CreateCompatibleDC(reinterpret_cast<HDC>(0x1234)), nullptr);

    // DeleteDC leaves the font to its owner.
    SelectedFont kept(lf);
    EXPECT_TRUE(DeleteDC(kept.hdc));
    EXPECT_EQ(PlatformLiveGdiObjects(), live + 1);
    EXPECT_EQ(SelectObject(reinterpret_cast<HDC>(kept.font), kept.font), nullptr); // a font is no DC
}

TEST(PlatformFontData, TableConventions)
{
    const std::string path = kDejaVuDir + "DejaVuSans.ttf";
    const Bytes file = ReadFile(path);
    const auto tables = TablesOf(file, 0);
    SelectedFont sans(MakeLogFont("DejaVu Sans"));

    EXPECT_EQ(Tag("glyf"), 0x66796C67u);
    const Bytes &glyf = tables.at("glyf");
    EXPECT_EQ(GetFontData(sans.hdc, Tag("glyf"), 0, nullptr, 0), glyf.size());
    EXPECT_EQ(GetFontData(sans.hdc, Tag("glyf"), 100, nullptr, 5), glyf.size() - 100);
    EXPECT_EQ(GetFontData(sans.hdc, Tag("zzzz"), 0, nullptr, 0), GDI_ERROR);
    EXPECT_EQ(GetFontData(sans.hdc, Tag("GLYF"), 0, nullptr, 0), GDI_ERROR);

    // Offset and partial size: copies min(size, rest) and says how much.
    uint8_t buffer[16];
    memset(buffer, 0xEE, sizeof buffer);
    EXPECT_EQ(GetFontData(sans.hdc, Tag("head"), 50, buffer, 8), 4u);
    EXPECT_EQ(Bytes(buffer, buffer + 4), Bytes(tables.at("head").begin() + 50, tables.at("head").end()));
    EXPECT_EQ(buffer[4], 0xEE);
    EXPECT_EQ(GetFontData(sans.hdc, Tag("glyf"), 7, buffer, 3), 3u);
    EXPECT_EQ(Bytes(buffer, buffer + 3), Bytes(glyf.begin() + 7, glyf.begin() + 10));
    EXPECT_EQ(GetFontData(sans.hdc, Tag("head"), 54, buffer, 8), 0u);
    EXPECT_EQ(GetFontData(sans.hdc, Tag("head"), 55, nullptr, 0), GDI_ERROR);
    EXPECT_EQ(GetFontData(sans.hdc, Tag("head"), 0xFFFFFFFF, buffer, 8), GDI_ERROR);

    // Table 0 of a plain font file is the file.
    EXPECT_EQ(WholeFont(sans.hdc), file);
    EXPECT_EQ(GetFontData(sans.hdc, 0, file.size() - 2, buffer, 16), 2u);

    // In place: the bytes GetFontData copies; none for table 0 or a table
    // the font lacks.
    DWORD size = 0;
    const uint8_t *pGlyf = FontTableInPlace(sans.hdc, Tag("glyf"), &size);
    ASSERT_NE(pGlyf, nullptr);
    EXPECT_EQ(Bytes(pGlyf, pGlyf + size), glyf);
    EXPECT_EQ(FontTableInPlace(sans.hdc, Tag("zzzz"), &size), nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(FontTableInPlace(sans.hdc, 0, &size), nullptr);
}

TEST(PlatformFontData, CollectionFaceReadsAsStandaloneFont)
{
    // Served bytes: a synthetic two-face collection, served face 0.
    FontBuilder first = MakeSampleFont({.glyphs = {MakeSimpleGlyph({{0, 0}, {500, 700}, {900, 0}})},
                                        .unicodeSegments = {{0x41, 0x41, -0x41}},
                                        .familyName = "First"});
    FontBuilder second = MakeSampleFont({.familyName = "Second face with a longer name"});
    const Bytes collection = BuildCollection({first, second});
    PlatformServeFontData(collection.data(), collection.size());
    SelectedFont served(MakeLogFont("anything"));
    PlatformServeFontData(nullptr, 0);
    const Bytes standalone = WholeFont(served.hdc);
    ExpectStandaloneFont(standalone);
    EXPECT_EQ(TablesOf(standalone, 0), TablesOf(collection, GetU32(collection, 12)));
    EXPECT_EQ(GetFontData(served.hdc, Tag("ttcf"), 0, nullptr, 0), collection.size());
    EXPECT_EQ(GetFontData(served.hdc, Tag("name"), 0, nullptr, 0), FindTable(first, "name")->size());
    DWORD size = 0;
    const uint8_t *pName = FontTableInPlace(served.hdc, Tag("name"), &size); // inside the collection file
    ASSERT_NE(pName, nullptr);
    EXPECT_EQ(Bytes(pName, pName + size), *FindTable(first, "name"));

    // A face of an installed collection, when one is installed.
    if (!FileExists(kCollectionPath))
        GTEST_SKIP() << kCollectionPath << " is not installed";
    int index = -1;
    ASSERT_EQ(ResolvedPath("WenQuanYi Micro Hei Mono", FW_NORMAL, false, &index), kCollectionPath);
    ASSERT_EQ(index, 1);
    const Bytes file = ReadFile(kCollectionPath);
    SelectedFont mono(MakeLogFont("WenQuanYi Micro Hei Mono"));
    const Bytes font = WholeFont(mono.hdc);
    ExpectStandaloneFont(font);
    EXPECT_EQ(TablesOf(font, 0), TablesOf(file, GetU32(file, 12 + 4 * index)));
    int width = 0;
    EXPECT_TRUE(GetCharWidthA(mono.hdc, 'M', 'M', &width));
}

TEST(PlatformFontData, UntrustedDirectoryAndServedGarbage)
{
    // A record whose table runs past the end of the file is missing.
    const Bytes original = ReadFile(kDejaVuDir + "DejaVuSans.ttf");
    Bytes font = original;
    const uint16_t numTables = GetU16(font, 4);
    size_t glyfRecord = 0;
    for (size_t k = 0; k < numTables; ++k)
        if (memcmp(&font[DirectoryRecordPosition(k)], "glyf", 4) == 0)
            glyfRecord = DirectoryRecordPosition(k);
    ASSERT_NE(glyfRecord, 0u);
    PutU32(font, glyfRecord + 12, 0xFFFFFFF0);
    PlatformServeFontData(font.data(), font.size());
    SelectedFont damaged(MakeLogFont("DejaVu Sans"));
    EXPECT_EQ(GetFontData(damaged.hdc, Tag("glyf"), 0, nullptr, 0), GDI_ERROR);
    EXPECT_EQ(GetFontData(damaged.hdc, Tag("head"), 0, nullptr, 0), 54u);

    // A directory that claims more records than the file holds.
    Bytes truncated(font.begin(), font.begin() + 40);
    PutU16(truncated, 4, 0xFFFF);
    PlatformServeFontData(truncated.data(), truncated.size());
    SelectedFont cut(MakeLogFont("x"));
    EXPECT_EQ(GetFontData(cut.hdc, Tag("head"), 0, nullptr, 0), GDI_ERROR);

    // Garbage: no tables, no metrics, and no crash.
    const Bytes garbage = {'t', 't', 'c', 'f', 0, 1, 0, 0, 0, 0, 0, 9, 0xFF, 0xFF, 0xFF, 0xF0};
    PlatformServeFontData(garbage.data(), garbage.size());
    SelectedFont junk(MakeLogFont("x"));
    PlatformServeFontData(nullptr, 0);
    EXPECT_EQ(GetFontData(junk.hdc, 0, 0, nullptr, 0), GDI_ERROR);
    EXPECT_EQ(GetFontData(junk.hdc, Tag("head"), 0, nullptr, 0), GDI_ERROR);
    int width = -1;
    EXPECT_FALSE(GetCharWidthA(junk.hdc, 'A', 'A', &width));
    EXPECT_EQ(GetOutlineTextMetricsA(junk.hdc, 0, nullptr), 0u);

    // Serving is off again: names resolve to installed fonts.
    SelectedFont real(MakeLogFont("DejaVu Sans"));
    EXPECT_EQ(GetFontData(real.hdc, Tag("glyf"), 0, nullptr, 0), TablesOf(original, 0).at("glyf").size());
}

TEST(PlatformMetrics, ReferenceWidths)
{
    SelectedFont sans(MakeLogFont("DejaVu Sans"));
    int widths[4] = {};
    ASSERT_TRUE(GetCharWidthA(sans.hdc, 'A', 'D', widths));
    EXPECT_EQ(widths[0], 70);
    EXPECT_EQ(widths[1], 71);
    EXPECT_EQ(widths[2], 72);
    EXPECT_EQ(widths[3], 79);
    int zero = 0, notdef = 0, unmapped = 0;
    ASSERT_TRUE(GetCharWidthA(sans.hdc, '0', '0', &zero));
    EXPECT_EQ(zero, 66);
    // A code without glyph measures as .notdef (U+E000 is private use).
    GLYPHMETRICS gm = {};
    const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    ASSERT_NE(GetGlyphOutlineA(sans.hdc, 0, GGO_METRICS | GGO_GLYPH_INDEX, &gm, 0, nullptr, &identity), GDI_ERROR);
    notdef = gm.gmCellIncX;
    ASSERT_TRUE(GetCharWidthA(sans.hdc, 0xE000, 0xE000, &unmapped));
    EXPECT_EQ(unmapped, notdef);
    EXPECT_FALSE(GetCharWidthA(sans.hdc, 'B', 'A', widths));

    SelectedFont mono(MakeLogFont("DejaVu Sans Mono"));
    int monoWidths[95] = {};
    ASSERT_TRUE(GetCharWidthA(mono.hdc, 0x20, 0x7E, monoWidths));
    for (int w : monoWidths)
        EXPECT_EQ(w, 62);

    // Negative height: minus the em (103 px here); zero: a default size.
    SelectedFont em(MakeLogFont("DejaVu Sans", -103));
    ASSERT_TRUE(GetCharWidthA(em.hdc, 'D', 'D', widths));
    EXPECT_EQ(widths[0], 79);
    SelectedFont byDefault(MakeLogFont("DejaVu Sans", 0));
    ASSERT_TRUE(GetCharWidthA(byDefault.hdc, 'D', 'D', widths));
    EXPECT_GT(widths[0], 0);
    EXPECT_LT(widths[0], 20);
}

// Realizations of one face at two heights share its FreeType face, each
// with a size of its own: measured in turn, each gives what it gives alone.
TEST(PlatformMetrics, HeightsOfOneFaceMeasureApart)
{
    const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    struct Measures {
        int widths[26];
        GLYPHMETRICS boxes[26];
        std::vector<uint8_t> outline;
    };
    auto measure = [&](HDC hdc, UINT c, Measures &m) {
        EXPECT_TRUE(GetCharWidthA(hdc, c, c, &m.widths[c - 'A']));
        EXPECT_EQ(GetGlyphOutlineA(hdc, c, GGO_METRICS, &m.boxes[c - 'A'], 0, nullptr, &identity), 1u);
    };
    auto outline = [&](HDC hdc) {
        GLYPHMETRICS gm;
        const DWORD size = GetGlyphOutlineA(hdc, 'S', GGO_NATIVE | GGO_UNHINTED, &gm, 0, nullptr, &identity);
        std::vector<uint8_t> bytes(size == GDI_ERROR ? 0 : size);
        EXPECT_EQ(GetGlyphOutlineA(hdc, 'S', GGO_NATIVE | GGO_UNHINTED, &gm, size, bytes.data(), &identity), size);
        return bytes;
    };
    Measures alone[2] = {}, together[2] = {};
    const LONG heights[2] = {-20, -200};
    for (int k = 0; k < 2; ++k) {
        {
            SelectedFont font(MakeLogFont("DejaVu Sans", heights[k]));
            for (UINT c = 'A'; c <= 'Z'; ++c)
                measure(font.hdc, c, alone[k]);
            alone[k].outline = outline(font.hdc);
        }
        PlatformForgetFontRealizations();
    }
    SelectedFont small(MakeLogFont("DejaVu Sans", heights[0])), large(MakeLogFont("DejaVu Sans", heights[1]));
    for (UINT c = 'A'; c <= 'Z'; ++c) {
        measure(small.hdc, c, together[0]);
        measure(large.hdc, c, together[1]);
    }
    together[0].outline = outline(small.hdc);
    together[1].outline = outline(large.hdc);
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(memcmp(alone[k].widths, together[k].widths, sizeof alone[k].widths), 0) << heights[k];
        EXPECT_EQ(memcmp(alone[k].boxes, together[k].boxes, sizeof alone[k].boxes), 0) << heights[k];
        EXPECT_EQ(alone[k].outline, together[k].outline) << heights[k];
    }
    EXPECT_NE(alone[0].widths[0], alone[1].widths[0]);
}

TEST(PlatformMetrics, GlyphMetrics)
{
    SelectedFont sans(MakeLogFont("DejaVu Sans"));
    const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    const UINT byIndex = GGO_METRICS | GGO_GLYPH_INDEX;
    // 'A' (glyph 36): font box x 16..1384, y 0..1493 at 103/2048 px per unit.
    GLYPHMETRICS gm = {};
    ASSERT_EQ(GetGlyphOutlineA(sans.hdc, 36, byIndex, &gm, 0, nullptr, &identity), 1u);
    EXPECT_NEAR(gm.gmBlackBoxX, 69, 1);
    EXPECT_NEAR(gm.gmBlackBoxY, 75, 1);
    EXPECT_NEAR(gm.gmptGlyphOrigin.x, 1, 1);
    EXPECT_EQ(gm.gmptGlyphOrigin.y, static_cast<LONG>(gm.gmBlackBoxY));
    EXPECT_EQ(gm.gmCellIncX, 70);
    EXPECT_EQ(gm.gmCellIncY, 0);
    GLYPHMETRICS byCode = {};
    ASSERT_EQ(GetGlyphOutlineA(sans.hdc, 'A', GGO_METRICS, &byCode, 0, nullptr, &identity), 1u);
    EXPECT_EQ(memcmp(&gm, &byCode, sizeof gm), 0);

    // 'g' descends below the baseline; a space is a 1 x 1 box.
    ASSERT_EQ(GetGlyphOutlineA(sans.hdc, 'g', GGO_METRICS, &gm, 0, nullptr, &identity), 1u);
    EXPECT_LT(gm.gmptGlyphOrigin.y, static_cast<LONG>(gm.gmBlackBoxY));
    ASSERT_EQ(GetGlyphOutlineA(sans.hdc, ' ', GGO_METRICS, &gm, 0, nullptr, &identity), 1u);
    EXPECT_EQ(gm.gmBlackBoxX, 1u);
    EXPECT_EQ(gm.gmBlackBoxY, 1u);
    EXPECT_EQ(gm.gmCellIncX, 33);

    const Bytes file = ReadFile(kDejaVuDir + "DejaVuSans.ttf");
    const UINT numGlyphs = GetU16(file, TableOffsetInFont(file, "maxp") + 4);
    EXPECT_NE(GetGlyphOutlineA(sans.hdc, numGlyphs - 1, byIndex, &gm, 0, nullptr, &identity), GDI_ERROR);
    EXPECT_EQ(GetGlyphOutlineA(sans.hdc, numGlyphs, byIndex, &gm, 0, nullptr, &identity), GDI_ERROR);
    EXPECT_EQ(GetGlyphOutlineA(sans.hdc, 36, byIndex, nullptr, 0, nullptr, &identity), GDI_ERROR);
    EXPECT_EQ(GetGlyphOutlineA(sans.hdc, 36, byIndex, &gm, 0, nullptr, nullptr), GDI_ERROR);
    EXPECT_EQ(GetGlyphOutlineA(sans.hdc, 36, 1 /* GGO_BITMAP */, &gm, 0, nullptr, &identity), GDI_ERROR);
    EXPECT_EQ(GetGlyphOutlineA(nullptr, 36, byIndex, &gm, 0, nullptr, &identity), GDI_ERROR);
}

TEST(PlatformMetrics, OutlineTextMetrics)
{
    const Bytes file = ReadFile(kDejaVuDir + "DejaVuSans.ttf");
    const auto tables = TablesOf(file, 0);
    const auto postValue = [&](size_t at) { return static_cast<int16_t>(GetU16(tables.at("post"), at)); };
    const int ppem = 103; // round(120 * 2048 / (1901 + 483))
    const auto scaled = [&](int v) { return static_cast<int>(v * ppem / 2048.0 + (v < 0 ? -0.5 : 0.5)); };

    SelectedFont sans(MakeLogFont("DejaVu Sans"));
    const UINT size = GetOutlineTextMetricsA(sans.hdc, 0, nullptr);
    ASSERT_GT(size, sizeof(OUTLINETEXTMETRICA));
    std::vector<uint8_t> block(size + 16, 0xAB);
    auto *otm = reinterpret_cast<OUTLINETEXTMETRICA *>(block.data());
    ASSERT_EQ(GetOutlineTextMetricsA(sans.hdc, size, otm), size);
    EXPECT_EQ(otm->otmSize, size);
    EXPECT_EQ(otm->otmEMSquare, 2048u);
    EXPECT_EQ(otm->otmTextMetrics.tmAscent, 96);
    EXPECT_EQ(otm->otmTextMetrics.tmDescent, 24);
    EXPECT_EQ(otm->otmTextMetrics.tmHeight, 120);
    EXPECT_GT(otm->otmAscent, 0);
    EXPECT_LT(otm->otmDescent, 0);
    EXPECT_EQ(otm->otmsUnderscorePosition, scaled(postValue(8)));
    EXPECT_EQ(otm->otmsUnderscoreSize, scaled(postValue(10)));
    EXPECT_LT(otm->otmsUnderscorePosition, 0);
    EXPECT_GT(otm->otmsUnderscoreSize, 0);
    EXPECT_STREQ(reinterpret_cast<const char *>(block.data()) + reinterpret_cast<uintptr_t>(otm->otmpFamilyName),
                 "DejaVu Sans");
    EXPECT_EQ(block[size], 0xAB);

    // A short block gets its first cjCopy bytes and nothing more.
    std::vector<uint8_t> small(64, 0xCD);
    EXPECT_EQ(GetOutlineTextMetricsA(sans.hdc, 20, reinterpret_cast<OUTLINETEXTMETRICA *>(small.data())), 20u);
    EXPECT_EQ(memcmp(small.data(), block.data(), 20), 0);
    EXPECT_EQ(small[20], 0xCD);
    // Later calls answer from the block the font kept: the same size and bytes.
    EXPECT_EQ(GetOutlineTextMetricsA(sans.hdc, 0, nullptr), size);
    std::vector<uint8_t> again(size + 16, 0xAB);
    ASSERT_EQ(GetOutlineTextMetricsA(sans.hdc, size + 16, reinterpret_cast<OUTLINETEXTMETRICA *>(again.data())),
              size);
    EXPECT_EQ(again, block);
}

TEST(PlatformCodePages, Utf8AndUtf16WithWindowsLengths)
{
    // "A", U+00E9, U+20AC, U+1F600 (a surrogate pair), NUL.
    const char utf8[] = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    const WCHAR utf16[] = {0x41, 0xE9, 0x20AC, 0xD83D, 0xDE00, 0};
    WCHAR wide[8] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, utf8, -1, nullptr, 0), 6);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 8), 6);
    EXPECT_EQ(memcmp(wide, utf16, sizeof utf16), 0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, utf8, 3, nullptr, 0), 2); // no NUL counted
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, utf8, -1, wide, 5), 0);    // too small
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, utf8, 0, wide, 8), 0);
    EXPECT_EQ(MultiByteToWideChar(1252, 0, utf8, -1, wide, 8), 0);

    char narrow[16] = {};
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, utf16, -1, nullptr, 0, nullptr, nullptr), 11);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, utf16, -1, narrow, 16, nullptr, nullptr), 11);
    EXPECT_STREQ(narrow, utf8);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, utf16, 5, narrow, 9, nullptr, nullptr), 0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, utf16, 5, narrow, 10, nullptr, nullptr), 10);

    // Ill-formed UTF-8: each maximal bad subsequence becomes one U+FFFD.
    const char bad[] = "\xC0\x80x\xED\xA0\x80y\xE2\x82z\x80\xF4\x90\x80\x80";
    const std::u16string expected = u"\uFFFD\uFFFDx\uFFFD\uFFFD\uFFFDy\uFFFDz\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD";
    WCHAR decoded[32] = {};
    const int n = MultiByteToWideChar(CP_ACP, 0, bad, static_cast<int>(sizeof bad - 1), decoded, 32);
    EXPECT_EQ(std::u16string(decoded, decoded + n), expected);

    // Unpaired surrogates become U+FFFD (EF BF BD).
    const WCHAR lone[] = {0xDC00, 0x41, 0xD800};
    BOOL usedDefault = TRUE;
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, lone, 3, narrow, 16, nullptr, &usedDefault), 7);
    EXPECT_EQ(std::string(narrow, 7), "\xEF\xBF\xBD" "A\xEF\xBF\xBD");
    EXPECT_FALSE(usedDefault);

    EXPECT_LT(lstrcmpA("cmap", "glyf"), 0);
    EXPECT_EQ(lstrcmpA("glyf", "glyf"), 0);
    EXPECT_GT(lstrcmpA("glyf", "GLYF"), 0);
    EXPECT_LT(lstrcmpA(nullptr, "a"), 0);
    EXPECT_EQ(lstrcmpA(nullptr, nullptr), 0);
}

TEST(PlatformMemory, AllocationHookAndCounters)
{
    const long live = PlatformLiveAllocations();
    const long count = PlatformAllocationCount();
    PlatformFailNthAllocation(2);
    HGLOBAL first = GlobalAlloc(GMEM_FIXED, 16);
    HGLOBAL second = GlobalAlloc(GMEM_FIXED, 16);
    HGLOBAL third = GlobalAlloc(GMEM_FIXED, 0); // size 0 still gives a block
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    EXPECT_EQ(PlatformAllocationCount(), count + 3);
    EXPECT_EQ(PlatformLiveAllocations(), live + 2);
    auto *zeroed = static_cast<uint8_t *>(GlobalAlloc(GPTR, 64));
    ASSERT_NE(zeroed, nullptr);
    EXPECT_EQ(std::count(zeroed, zeroed + 64, 0), 64);
    EXPECT_EQ(GlobalFree(zeroed), nullptr);
    EXPECT_EQ(GlobalFree(first), nullptr);
    EXPECT_EQ(GlobalFree(third), nullptr);
    EXPECT_EQ(GlobalFree(nullptr), nullptr);
    EXPECT_EQ(PlatformLiveAllocations(), live);

    PlatformFailNthAllocation(1);
    PlatformFailNthAllocation(0); // off again
    HGLOBAL block = GlobalAlloc(GMEM_FIXED, 1);
    EXPECT_NE(block, nullptr);
    GlobalFree(block);
    EXPECT_EQ(GlobalAlloc(0x0002 /* GMEM_MOVEABLE */, 8), nullptr);
}

TEST(PlatformMemory, KeptBlockIsReusedZeroedAndPoisonedMeanwhile)
{
    constexpr size_t kSize = 0xFFFF * 4;
    PlatformKeepFreedBlocksOf(kSize);
    auto *first = static_cast<uint8_t *>(GlobalAlloc(GMEM_FIXED, kSize));
    ASSERT_NE(first, nullptr);
    std::memset(first, 0xAB, kSize);
    GlobalFree(first);
#ifdef UNDER_ADDRESS_SANITIZER
    // A use after GlobalFree still fails while the block is kept.
    EXPECT_TRUE(__asan_address_is_poisoned(first));
    EXPECT_TRUE(__asan_address_is_poisoned(first + kSize - 1));
#endif
    HGLOBAL other = GlobalAlloc(GMEM_FIXED, kSize - 4); // another size: a new block
    EXPECT_NE(other, first);
    auto *again = static_cast<uint8_t *>(GlobalAlloc(GPTR, kSize));
    EXPECT_EQ(again, first);
    EXPECT_EQ(std::count(again, again + kSize, 0), static_cast<long>(kSize));
#ifdef UNDER_ADDRESS_SANITIZER
    EXPECT_FALSE(__asan_address_is_poisoned(again + kSize - 1));
    EXPECT_TRUE(__asan_address_is_poisoned(again + kSize)); // the end is still guarded
#endif
    GlobalFree(other);
    GlobalFree(again);
    PlatformKeepFreedBlocksOf(0); // frees the kept block
}

TEST(PlatformFiles, ReadOnlyMappings)
{
    EXPECT_EQ(CreateFileA("/nonexistent/font.ttf", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileA("/tmp", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                          nullptr),
              INVALID_HANDLE_VALUE);

    const Bytes content = {1, 2, 3, 4, 5};
    TempFile temp(content, ".bin");
    HANDLE file = CreateFileA(temp.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD high = 7;
    EXPECT_EQ(GetFileSize(file, &high), 5u);
    EXPECT_EQ(high, 0u);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_NE(mapping, nullptr);
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 1, 0), nullptr); // unaligned offset
    auto *view = static_cast<const uint8_t *>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_TRUE(CloseHandle(mapping));
    EXPECT_FALSE(CloseHandle(mapping));
    EXPECT_EQ(Bytes(view, view + 5), content); // the view outlives its handles
    // A file cut short keeps its views whole, as on Windows (where it cannot
    // be cut while they exist), and gives no view of what it lost.
    file = CreateFileA(temp.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    ASSERT_EQ(truncate(temp.path.c_str(), 0), 0);
    EXPECT_EQ(Bytes(view, view + 5), content);
    EXPECT_EQ(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0), nullptr);
    CloseHandle(mapping);
    CloseHandle(file);
    EXPECT_TRUE(UnmapViewOfFile(view));
    EXPECT_FALSE(UnmapViewOfFile(view));
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_EQ(GetFileSize(file, nullptr), INVALID_FILE_SIZE);

    // An empty file opens but cannot be mapped.
    TempFile empty(Bytes{}, ".bin");
    HANDLE emptyFile = CreateFileA(empty.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(emptyFile, INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileMappingA(emptyFile, nullptr, PAGE_READONLY, 0, 0, nullptr), nullptr);
    EXPECT_TRUE(CloseHandle(emptyFile));
}

TEST(PlatformServedFonts, SyntheticFontThroughTheDeviceContext)
{
    FontBuilder sample = MakeSampleFont({.glyphs = {MakeSimpleGlyph({{0, 0}, {0, 10}, {10, 0}}),
                                                    MakeSimpleGlyph({{0, 0}, {500, 1400}, {1000, 0}})},
                                         .unicodeSegments = {{0x41, 0x41, -0x40}}});
    const Bytes bytes = BuildFont(sample);
    const long queries = PlatformFontconfigQueries();
    PlatformServeFontData(bytes.data(), bytes.size());
    SelectedFont served(MakeLogFont("Any Name At All"));
    PlatformServeFontData(nullptr, 0);
    EXPECT_EQ(PlatformFontconfigQueries(), queries);
    EXPECT_EQ(WholeFont(served.hdc), bytes);
    EXPECT_EQ(GetFontData(served.hdc, Tag("maxp"), 0, nullptr, 0), FindTable(sample, "maxp")->size());
    // FreeType accepts the synthetic font, so it measures too.
    int width = 0;
    EXPECT_TRUE(GetCharWidthA(served.hdc, 'A', 'A', &width));
    EXPECT_GE(width, 0);
}

namespace {

// A font file mapped whole, as the font-file source maps it, and added as a
// private font; removed and unmapped at the end of the scope.
struct AddedFontFile {
    const void *view = nullptr;
    HANDLE resource = nullptr;
    explicit AddedFontFile(const std::string &path)
    {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
        DWORD fonts = 0;
        if (view)
            resource = AddFontMemResourceEx(const_cast<void *>(view), GetFileSize(file, nullptr), nullptr, &fonts);
        CloseHandle(mapping);
        CloseHandle(file);
    }
    ~AddedFontFile()
    {
        if (resource)
            RemoveFontMemResourceEx(resource);
        if (view)
            UnmapViewOfFile(view);
    }
};

} // namespace

TEST(PlatformFontResources, AFileAddedAgainGivesItsCurrentBytes)
{
    // A removed resource is kept for its file's next add, but no face name
    // reaches it meanwhile, and a file changed since is read anew.
    FontBuilder font = MakeSampleFont(
        {.glyphs = {MakeSimpleGlyph({{0, 0}, {0, 10}, {10, 0}})}, .familyName = "Resource Sample"});
    const Bytes first = BuildFont(font);
    TempFile file(first);
    for (int add = 0; add < 2; ++add) {
        AddedFontFile added(file.path);
        ASSERT_NE(added.resource, nullptr);
        SelectedFont selected(MakeLogFont("Resource Sample"));
        EXPECT_EQ(WholeFont(selected.hdc), first);
    }
    {
        SelectedFont removed(MakeLogFont("Resource Sample"));
        EXPECT_NE(WholeFont(removed.hdc), first);
    }
    AddTable(font, "cvt ", MakeCvt({1, 2, 3}));
    const Bytes second = BuildFont(font);
    std::ofstream(file.path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char *>(second.data()), static_cast<std::streamsize>(second.size()));
    {
        AddedFontFile changed(file.path);
        SelectedFont selected(MakeLogFont("Resource Sample"));
        EXPECT_EQ(WholeFont(selected.hdc), second);
    }
    // Rewritten in place with as many bytes and its modification time given
    // back (cp -p, rsync --inplace -t): read anew all the same.
    Bytes third = second;
    for (size_t k = 0; k < GetU16(third, 4); ++k)
        if (GetU32(third, DirectoryRecordPosition(k)) == GetU32(Bytes{'c', 'v', 't', ' '}, 0))
            third[GetU32(third, DirectoryRecordPosition(k) + 8)] ^= 0x5A; // another cvt value
    struct stat before {};
    ASSERT_EQ(stat(file.path.c_str(), &before), 0);
    std::ofstream(file.path, std::ios::binary | std::ios::in | std::ios::out)
        .write(reinterpret_cast<const char *>(third.data()), static_cast<std::streamsize>(third.size()));
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, file.path.c_str(), times, 0), 0);
    AddedFontFile rewritten(file.path);
    SelectedFont selected(MakeLogFont("Resource Sample"));
    EXPECT_EQ(WholeFont(selected.hdc), third);

}

TEST(PlatformFontData, AnInstalledFontFileCutShortKeepsItsFontsWhole)
{
    // Its fonts read the bytes they were made from, never a lost page.
    const std::string base = testing::TempDir() + "fndl-cut-" + std::to_string(getpid());
    const std::string fonts = base + "/fonts", copy = fonts + "/Cut.ttf", config = base + "/fonts.conf";
    ASSERT_EQ(mkdir(base.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(fonts.c_str(), 0700), 0);
    const Bytes original = [] {
        std::ifstream in(kDejaVuDir + "DejaVuSans.ttf", std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }();
    std::ofstream(copy, std::ios::binary)
        .write(reinterpret_cast<const char *>(original.data()), static_cast<std::streamsize>(original.size()));
    std::ofstream(config) << "<fontconfig><dir>" << fonts << "</dir><cachedir>" << base
                          << "/cache</cachedir></fontconfig>";
    setenv("FONTCONFIG_FILE", config.c_str(), 1);
    PlatformForgetFontconfig();
    {
        SelectedFont sans(MakeLogFont("DejaVu Sans"));
        ASSERT_EQ(truncate(copy.c_str(), 4096), 0);
        EXPECT_EQ(WholeFont(sans.hdc), original);
    }
    unsetenv("FONTCONFIG_FILE");
    PlatformForgetFontconfig();
    std::remove(config.c_str());
    std::remove(copy.c_str());
    rmdir(fonts.c_str());
    rmdir(base.c_str());
}
