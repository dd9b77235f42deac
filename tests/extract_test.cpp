// SPDX-License-Identifier: MIT
// 'fndl extract' turns the soft fonts of a job back into TrueType fonts.
// FreeType then compares every character's outline in the extracted font
// with the original font's: a check of the whole download, from the font
// file to the job's bytes, that does not trust the code that sent it.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <set>

#include "platform/platform_hooks.h"
#include "support/requests.h"
#include "support/toolrun.h"
#include "xldecode/xldecode.h"

#ifdef FNDL_TOOL_PATH

namespace {

constexpr const char *kDejaVuSerif = "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf";
constexpr const char *kLiberationSans =
    "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf";
// A collection: the library downloads its first font.
constexpr const char *kWenQuanYiMicroHei = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";

// Accented letters, ligatures, fractions, Greek: many of them composite
// glyphs, some with composite components.
constexpr const char *kLatinText = "Zo\u00EB caf\u00E9 \u01D6 \u01FA \uFB01 \uFB02 \u00BD \u00BE "
                                   "\u03A9\u03BC\u03AD\u03B3\u03B1 \u00C5\u013C\u0149\u1E2F\u1EAB "
                                   "\u01C5 \u0133 \u00F1 \u0141 \u0151 \u017E \u0153 \u00DF";

struct FreeType {
    FT_Library library = nullptr;
    FreeType() { FT_Init_FreeType(&library); }
    ~FreeType() { FT_Done_FreeType(library); }
};

struct Face {
    FT_Face face = nullptr;
    Face(FT_Library library, const std::string &path)
    {
        EXPECT_EQ(FT_New_Face(library, path.c_str(), 0, &face), 0) << path;
    }
    ~Face()
    {
        if (face)
            FT_Done_Face(face);
    }
};

// An unhinted outline in font units, composites resolved, and its advance.
struct Outline {
    std::vector<std::pair<FT_Pos, FT_Pos>> points;
    std::vector<char> tags;
    std::vector<short> contours;
    FT_Pos advance = 0;
    bool operator==(const Outline &) const = default;
};

Outline LoadOutline(FT_Face face, FT_UInt glyph)
{
    Outline outline;
    EXPECT_EQ(FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING), 0);
    const FT_Outline &loaded = face->glyph->outline;
    for (int i = 0; i < loaded.n_points; ++i)
        outline.points.emplace_back(loaded.points[i].x, loaded.points[i].y);
    outline.tags.assign(loaded.tags, loaded.tags + loaded.n_points);
    outline.contours.assign(loaded.contours, loaded.contours + loaded.n_contours);
    outline.advance = face->glyph->metrics.horiAdvance;
    return outline;
}

bool IsComposite(FT_Face face, FT_UInt glyph)
{
    return FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_RECURSE) == 0 &&
           face->glyph->format == FT_GLYPH_FORMAT_COMPOSITE;
}

std::vector<std::string> FontFiles(const std::string &directory)
{
    std::vector<std::string> files;
    for (const auto &entry : std::filesystem::directory_iterator(directory))
        files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

// Sends text in the font through 'fndl job', extracts the soft font, and
// compares each character the original maps. Returns how many were checked.
size_t CheckRoundTrip(const std::string &fontPath, const std::string &text)
{
    TempPath textFile(".txt");
    textFile.Write(std::vector<uint8_t>(text.begin(), text.end()));
    TempPath job;
    ToolRun run =
        RunTool({"job", "--no-fallback", "--font-file", fontPath, "--text-file", textFile.path, "-o",
                 job.path});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    TempDir fonts;
    run = RunTool({"extract", job.path, "-d", fonts.path.path});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> files = FontFiles(fonts.path.path);
    if (files.size() != 1) {
        ADD_FAILURE() << "one font expected: " << run.out;
        return 0;
    }
    EXPECT_NE(run.out.find(files.front()), std::string::npos) << run.out;

    FreeType freeType;
    const Face original(freeType.library, fontPath);
    const Face extracted(freeType.library, files.front());
    if (!original.face || !extracted.face)
        return 0;
    EXPECT_EQ(extracted.face->num_glyphs, original.face->num_glyphs);
    EXPECT_EQ(FT_Get_Char_Index(extracted.face, 'Q'), 0u) << "a character that was not sent";
    size_t checked = 0;
    size_t composite = 0;
    size_t notInFont = 0;
    std::set<char16_t> seen;
    for (const char16_t code : Utf16(text)) {
        if (code == u' ' || !seen.insert(code).second)
            continue;
        const FT_UInt originalGlyph = FT_Get_Char_Index(original.face, code);
        if (originalGlyph == 0) {
            ++notInFont;
            continue;
        }
        const FT_UInt extractedGlyph = FT_Get_Char_Index(extracted.face, code);
        EXPECT_NE(extractedGlyph, 0u) << "U+" << std::hex << unsigned{code};
        EXPECT_TRUE(LoadOutline(extracted.face, extractedGlyph) ==
                    LoadOutline(original.face, originalGlyph))
            << "outline of U+" << std::hex << unsigned{code} << " (glyph " << std::dec
            << originalGlyph << ") differs";
        ++checked;
        composite += IsComposite(original.face, originalGlyph) ? 1 : 0;
    }
    std::cout << "[ extract  ] " << fontPath << ": " << checked << " characters checked ("
              << composite << " composite), " << notInFont << " not in the font\n";
    return checked;
}

TEST(ToolExtract, ExtractedFontsHaveTheOriginalOutlines)
{
    EXPECT_GE(CheckRoundTrip(kDejaVuSans, kLatinText), 31u);
    EXPECT_GE(CheckRoundTrip(kDejaVuSerif, kLatinText), 31u);
    EXPECT_GE(CheckRoundTrip(kLiberationSans, kLatinText), 25u);

    // 200 ideographs spread over the unified block, as the collection's
    // first font has them.
    FreeType freeType;
    const Face cjk(freeType.library, kWenQuanYiMicroHei);
    ASSERT_NE(cjk.face, nullptr);
    std::string text = std::string(kLatinText) + " ";
    int added = 0;
    for (char32_t code = 0x4E00; code <= 0x9FA5 && added < 200; code += 97) {
        if (FT_Get_Char_Index(cjk.face, code) == 0)
            continue;
        text +=
            {static_cast<char>(0xE0 | (code >> 12)), static_cast<char>(0x80 | ((code >> 6) & 0x3F)),
             static_cast<char>(0x80 | (code & 0x3F))};
        ++added;
    }
    ASSERT_EQ(added, 200);
    EXPECT_GE(CheckRoundTrip(kWenQuanYiMicroHei, text), 225u);
}

TEST(ToolExtract, RedownloadsDamagedJobsAndUsage)
{
    // Removed and downloaded again: a second font, in its own file, in a
    // directory that extract creates.
    TempPath job;
    ASSERT_EQ(RunTool({"remove", "--font-file", kDejaVuSans, "-o", job.path}).exitCode, 0);
    ASSERT_EQ(
        RunTool({"download", "--font-file", kDejaVuSans, "--text", "ab", "-o", job.path}).exitCode,
        0);
    TempDir fonts;
    const std::string nested = fonts.path.path + "/fonts";
    ToolRun run = RunTool({"extract", job.path, "-d", nested});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string stem = nested + "/OT_1__usr_share_fonts_truetype_dejavu_DejaVuSans.ttf_n";
    EXPECT_EQ(FontFiles(nested), (std::vector<std::string>{stem + "-2.ttf", stem + ".ttf"}));
    EXPECT_NE(run.out.find("  characters: 0\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  characters: 2: ab\n"), std::string::npos) << run.out;
    FreeType freeType;
    EXPECT_EQ(FT_Get_Char_Index(Face(freeType.library, stem + ".ttf").face, 'a'), 0u);
    EXPECT_NE(FT_Get_Char_Index(Face(freeType.library, stem + "-2.ttf").face, 'a'), 0u);

    // Downloaded again without RemoveFont: a printer refuses the second header.
    ASSERT_EQ(
        RunTool({"download", "--font-file", kDejaVuSans, "--text", "c", "-o", job.path}).exitCode,
        0);
    std::vector<XLOperation> ops;
    XLDecodeError error;
    ASSERT_TRUE(XLDecodeOperations(job.Read(), ops, error));
    std::vector<size_t> headers;
    for (const XLOperation &op : ops) {
        if (op.op == 0x4F) // BeginFontHeader
            headers.push_back(op.offset);
    }
    ASSERT_EQ(headers.size(), 3u);
    TempDir untouched;
    run = RunTool({"extract", job.path, "-d", untouched.path.path});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_NE(run.err.find("at byte " + std::to_string(headers[2]) +
                           ": font \"OT:1:" + kDejaVuSans +
                           ":n\" is downloaded again without a RemoveFont after its font "
                           "header at byte " +
                           std::to_string(headers[1])),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(std::filesystem::exists(untouched.path.path)) << "nothing written";

    // A descriptor that disagrees with maxp, and a stream cut short.
    std::vector<uint8_t> bytes = job.Read();
    const std::vector<uint8_t> descriptor = {0, 0, 0, 1, 1, 0, 0x18, 0x6D}; // 6253 glyphs
    auto at = std::search(bytes.begin(), bytes.end(), descriptor.begin(), descriptor.end());
    ASSERT_NE(at, bytes.end());
    at[7] = 0x6E;
    TempPath damaged;
    damaged.Write(bytes);
    run = RunTool({"extract", damaged.path, "-d", untouched.path.path});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("the descriptor counts 6254 characters, maxp 6253 glyphs"),
              std::string::npos)
        << run.err;
    bytes.resize(600);
    damaged.Write(bytes);
    ASSERT_FALSE(XLDecodeOperations(bytes, ops, error));
    run = RunTool({"extract", damaged.path, "-d", untouched.path.path});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.rfind("fndl: '" + damaged.path + "' is malformed at byte " +
                                std::to_string(error.offset) + ": ",
                            0),
              0u)
        << run.err;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;

    run = RunTool({"extract", "--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.rfind("usage: fndl extract JOB -d DIR", 0), 0u);
    EXPECT_EQ(RunTool({"extract", job.path}).exitCode, 2);
}

// Fonts with CFF outlines go out converted to TrueType: the extracted font
// rendered by FreeType at 600 dpi (12 pt, 100 pixels per em, unhinted)
// matches the original within the conversion's tolerance, character by
// character, advances equal. Returns the worst pixel difference (0-255).
struct Bitmap {
    int left = 0, top = 0, width = 0, rows = 0;
    std::vector<uint8_t> gray;
    FT_Pos advance = 0;
    int At(int x, int y) const
    {
        const int col = x - left, row = top - y;
        return col >= 0 && col < width && row >= 0 && row < rows ? gray[size_t(row) * width + col] : 0;
    }
};

Bitmap Render(FT_Face face, FT_UInt glyph)
{
    Bitmap b;
    EXPECT_EQ(FT_Load_Glyph(face, glyph, FT_LOAD_NO_HINTING | FT_LOAD_RENDER), 0);
    const FT_Bitmap &bitmap = face->glyph->bitmap;
    b.left = face->glyph->bitmap_left;
    b.top = face->glyph->bitmap_top;
    b.width = static_cast<int>(bitmap.width);
    b.rows = static_cast<int>(bitmap.rows);
    for (int row = 0; row < b.rows; ++row)
        for (int col = 0; col < b.width; ++col)
            b.gray.push_back(bitmap.buffer[row * bitmap.pitch + col]);
    b.advance = face->glyph->advance.x;
    return b;
}

int CheckConvertedRendering(const char *faceName, const std::string &text, size_t *checked)
{
    char path[4096];
    int index = 0;
    // Only the fonts asked for: fontconfig would give some other font.
    if (!PlatformResolveFace(faceName, FW_NORMAL, false, path, sizeof path, &index) ||
        (std::string(path).find("urw-base35") == std::string::npos &&
         std::string(path).find("NotoSansCJK") == std::string::npos))
        return -1;
    TempPath textFile(".txt");
    textFile.Write(std::vector<uint8_t>(text.begin(), text.end()));
    TempPath job;
    ToolRun run = RunTool({"job", "--font", faceName, "--text-file", textFile.path, "-o", job.path});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    TempDir fonts;
    run = RunTool({"extract", job.path, "-d", fonts.path.path});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> files = FontFiles(fonts.path.path);
    if (files.size() != 1)
        return 256;
    FreeType freeType;
    FT_Face original = nullptr;
    EXPECT_EQ(FT_New_Face(freeType.library, path, index, &original), 0);
    const Face extracted(freeType.library, files.front());
    if (!original || !extracted.face)
        return 256;
    FT_Set_Pixel_Sizes(original, 0, 100);
    FT_Set_Pixel_Sizes(extracted.face, 0, 100);
    int worst = 0;
    std::set<char16_t> seen;
    for (const char16_t code : Utf16(text)) {
        if (code == u' ' || !seen.insert(code).second)
            continue;
        const Bitmap a = Render(original, FT_Get_Char_Index(original, code));
        const Bitmap b = Render(extracted.face, FT_Get_Char_Index(extracted.face, code));
        // Advances come from the same hmtx; the drivers may round 1/64 apart.
        EXPECT_NEAR(a.advance, b.advance, 1) << "U+" << std::hex << unsigned{code};
        const int x0 = std::min(a.left, b.left), x1 = std::max(a.left + a.width, b.left + b.width);
        const int y0 = std::min(a.top - a.rows, b.top - b.rows), y1 = std::max(a.top, b.top);
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                worst = std::max(worst, std::abs(a.At(x, y) - b.At(x, y)));
        ++*checked;
    }
    FT_Done_Face(original);
    return worst;
}

TEST(ToolExtract, ConvertedCffFontsRenderLikeTheOriginal)
{
    const std::string latin = "Sphinx of black quartz, judge my vow! 0123456789 &@%$ \u00E9\u00E7\u00DF\u00C5";
    for (const char *face : {"Nimbus Sans", "Nimbus Roman", "Nimbus Mono PS", "Noto Sans CJK JP"}) {
        size_t checked = 0;
        const std::string text =
            std::string(face).find("CJK") != std::string::npos ? latin + " \u65E5\u672C\u8A9E\u306E\u6587\u66F8\u3001\u9F98\u9B31" : latin;
        const int worst = CheckConvertedRendering(face, text, &checked);
        if (worst < 0) {
            std::cout << "[ extract  ] " << face << " not installed\n";
            continue;
        }
        std::cout << "[ extract  ] " << face << ": " << checked << " characters, largest pixel difference " << worst << "\n";
        EXPECT_GE(checked, 30u) << face;
        // 1/1000 em is a tenth of a pixel here: edge pixels change by a
        // fraction of their coverage, none by half of it.
        EXPECT_LT(worst, 128) << face;
    }
}

} // namespace

#endif // FNDL_TOOL_PATH

#ifdef FNDL_TOOL_PATH
namespace {

void PutBigEndian(std::vector<uint8_t> &out, uint64_t value, int bytes)
{
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(value >> shift));
}

// A bare font download of a soft font whose head and maxp claim 65,535
// glyphs: about 130 bytes that ask for a 256 KiB loca when rebuilt.
std::vector<uint8_t> ClaimingDownload(const std::string &name)
{
    std::vector<uint8_t> gt;
    PutBigEndian(gt, 0x00010000, 4);
    PutBigEndian(gt, 2, 2);
    PutBigEndian(gt, 0, 6); // searchRange, entrySelector, rangeShift
    const uint32_t tables = 12 + 2 * 16;
    gt.insert(gt.end(), {'h', 'e', 'a', 'd'});
    PutBigEndian(gt, 0, 4);
    PutBigEndian(gt, tables, 4);
    PutBigEndian(gt, 54, 4);
    gt.insert(gt.end(), {'m', 'a', 'x', 'p'});
    PutBigEndian(gt, 0, 4);
    PutBigEndian(gt, tables + 56, 4);
    PutBigEndian(gt, 6, 4);
    gt.resize(gt.size() + 56); // head, padded
    PutBigEndian(gt, 0x00005000, 4);
    PutBigEndian(gt, 0xFFFF, 2); // maxp.numGlyphs
    std::vector<uint8_t> header = {0, 0, 0x01, 0x15, 1, 0, 0xFF, 0xFF, 'G', 'T'};
    PutBigEndian(header, static_cast<uint32_t>(gt.size()), 4);
    header.insert(header.end(), gt.begin(), gt.end());
    header.insert(header.end(), {0xFF, 0xFF, 0, 0, 0, 0});
    // Sized first: GCC 12's -Warray-bounds takes an insert after the three
    // bytes for an overflow in Release builds.
    std::vector<uint8_t> job(3 + name.size());
    job[0] = 0xC8, job[1] = 0xC0, job[2] = static_cast<uint8_t>(name.size());
    std::copy(name.begin(), name.end(), job.begin() + 3);
    const std::vector<uint8_t> fontName = job;
    job.insert(job.end(), {0xF8, 0xA8, 0xC0, 0, 0xF8, 0xA9, 0x4F, 0xC1,
                           static_cast<uint8_t>(header.size()), static_cast<uint8_t>(header.size() >> 8),
                           0xF8, 0xA7, 0x50, 0xFB, static_cast<uint8_t>(header.size())});
    job.insert(job.end(), header.begin(), header.end());
    job.push_back(0x51); // EndFontHeader
    job.insert(job.end(), fontName.begin(), fontName.end());
    job.insert(job.end(), {0xF8, 0xA8, 0x55}); // RemoveFont
    return job;
}

} // namespace

TEST(ToolExtract, FontsOfOneNameAndTheirSizeAreBounded)
{
    // 300 fonts of one name, each removed and downloaded again: files -2 to
    // -300, in time linear in their number.
    std::vector<uint8_t> job;
    const std::vector<uint8_t> one = ClaimingDownload("F");
    for (int i = 0; i < 300; ++i)
        job.insert(job.end(), one.begin(), one.end());
    TempPath file(".pxl");
    file.Write(job);
    TempDir fonts;
    ToolRun run = RunTool({"extract", file.path, "-d", fonts.path.path});
    // Each would take a 256 KiB loca: 75 MiB from a 39 KiB job.
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("': its 300 soft fonts would make "), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(fonts.path.path));
    job.resize(one.size() * 20);
    file.Write(job);
    run = RunTool({"extract", file.path, "-d", fonts.path.path});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("/F-20.ttf\n  glyphs: 65535, sent: 0"), std::string::npos) << run.out;
}
#endif
