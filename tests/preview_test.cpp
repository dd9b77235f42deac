// SPDX-License-Identifier: MIT
// 'fndl preview' draws a job's pages: its ink is compared with FreeType
// drawing the original font's glyphs where the job's Text operators put
// them, so a wrong glyph, size or position in the preview shows.
#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include <png.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/requests.h"
#include "support/toolrun.h"
#include "xldecode/xldecode.h"

#ifdef FNDL_TOOL_PATH

namespace {

constexpr const char *kDejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char *kText = "Hamburgefonstiv Qy 0123";
constexpr int kDpi = 100;
constexpr double kUnitsPerPixel = 600.0 / kDpi; // the job's 600 dpi
constexpr uint8_t kOpSetCursor = 0x6B;
constexpr uint8_t kOpSetFont = 0x6F;
constexpr uint8_t kOpText = 0xA8;

struct Gray {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> ink; // 0 paper to 255 black
    int At(int x, int y) const
    {
        return x < 0 || y < 0 || x >= width || y >= height ? 0 : ink[size_t(y) * width + x];
    }
    long Total() const
    {
        long sum = 0;
        for (const uint8_t value : ink)
            sum += value;
        return sum;
    }
};

Gray ReadPng(const std::string &path)
{
    Gray gray;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        ADD_FAILURE() << path << ": " << image.message;
        return gray;
    }
    image.format = PNG_FORMAT_GRAY;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr));
    gray.width = static_cast<int>(image.width);
    gray.height = static_cast<int>(image.height);
    for (uint8_t &value : pixels)
        value = static_cast<uint8_t>(255 - value);
    gray.ink = std::move(pixels);
    return gray;
}

std::vector<uint8_t> MakeJob(const TempPath &job)
{
    const ToolRun run =
        RunTool({"job", "--font-file", kDejaVuSans, "--text", kText, "-o", job.path});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return job.Read();
}

// FreeType's own drawing of the original font at the job's SetFont size, at
// the SetCursor position and the Text operator's advances.
Gray ReferenceDrawing(const std::vector<uint8_t> &job, int width, int height)
{
    Gray gray{width, height, std::vector<uint8_t>(size_t(width) * height)};
    std::vector<XLOperation> ops;
    XLDecodeError error;
    EXPECT_TRUE(XLDecodeOperations(job, ops, error)) << error.message;
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    EXPECT_EQ(FT_Init_FreeType(&library), 0);
    EXPECT_EQ(FT_New_Face(library, kDejaVuSans, 0, &face), 0);
    double x = 0;
    double y = 0;
    for (const XLOperation &op : ops) {
        if (op.op == kOpSetFont) {
            const double em = op.Find(0xA6)->value.numbers[0] / kUnitsPerPixel;
            FT_Set_Char_Size(face, 0, std::lround(em * 64), 72, 72);
        } else if (op.op == kOpSetCursor) {
            x = op.Find(0x4C)->value.numbers[0];
            y = op.Find(0x4C)->value.numbers[1];
        } else if (op.op == kOpText) {
            const std::vector<double> &codes = op.Find(0xAB)->value.numbers;
            const std::vector<double> &advances = op.Find(0xAF)->value.numbers;
            for (size_t i = 0; i < codes.size(); ++i) {
                EXPECT_EQ(FT_Load_Char(face, FT_ULong(codes[i]), FT_LOAD_RENDER | FT_LOAD_NO_HINTING),
                          0);
                const FT_GlyphSlot slot = face->glyph;
                const long left = std::lround(x / kUnitsPerPixel) + slot->bitmap_left;
                const long top = std::lround(y / kUnitsPerPixel) - slot->bitmap_top;
                for (unsigned row = 0; row < slot->bitmap.rows; ++row)
                    for (unsigned column = 0; column < slot->bitmap.width; ++column) {
                        const long px = left + column;
                        const long py = top + row;
                        if (px >= 0 && py >= 0 && px < width && py < height)
                            gray.ink[size_t(py) * width + px] = std::max(
                                gray.ink[size_t(py) * width + px],
                                slot->bitmap.buffer[row * slot->bitmap.pitch + column]);
                    }
                x += advances[i];
            }
        }
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return gray;
}

// Dark pixels of one drawing without ink nearby (one pixel around) in the other.
int InkMissing(const Gray &dark, const Gray &other)
{
    int missing = 0;
    for (int y = 0; y < dark.height; ++y)
        for (int x = 0; x < dark.width; ++x) {
            if (dark.At(x, y) < 160)
                continue;
            int nearby = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    nearby = std::max(nearby, other.At(x + dx, y + dy));
            missing += nearby < 64 ? 1 : 0;
        }
    return missing;
}

struct Rendered {
    ToolRun run;
    TempPath png{".png"};
    Gray page;
};

void Preview(Rendered &rendered, const std::string &job, std::vector<std::string> options = {})
{
    options.insert(options.begin(), {"preview", job, "-o", rendered.png.path});
    rendered.run = RunTool(options);
    ASSERT_EQ(rendered.run.exitCode, 0) << rendered.run.err;
    rendered.page = ReadPng(rendered.png.path);
}

std::vector<uint8_t> Replaced(std::vector<uint8_t> bytes, const std::vector<uint8_t> &from,
                              const std::vector<uint8_t> &to)
{
    const auto at = std::search(bytes.begin(), bytes.end(), from.begin(), from.end());
    EXPECT_NE(at, bytes.end());
    if (at != bytes.end())
        std::copy(to.begin(), to.end(), at);
    return bytes;
}

} // namespace

TEST(ToolPreview, InkWhereFreeTypeDrawsTheGlyphs)
{
    TempPath job(".pxl");
    const std::vector<uint8_t> bytes = MakeJob(job);
    Rendered rendered;
    Preview(rendered, job.path);
    EXPECT_EQ(rendered.run.err, "");
    // A4 at 100 dpi.
    EXPECT_EQ(rendered.page.width, 827);
    EXPECT_EQ(rendered.page.height, 1170);
    const Gray reference = ReferenceDrawing(bytes, rendered.page.width, rendered.page.height);
    ASSERT_GT(reference.Total(), 100 * 255);
    EXPECT_EQ(InkMissing(reference, rendered.page), 0);
    EXPECT_EQ(InkMissing(rendered.page, reference), 0);
    EXPECT_NEAR(double(rendered.page.Total()) / reference.Total(), 1.0, 0.05);

    // 1-bit: black and white only, the same letters.
    Rendered mono;
    Preview(mono, job.path, {"--mono", "--dpi", "100"});
    EXPECT_TRUE(std::all_of(mono.page.ink.begin(), mono.page.ink.end(),
                            [](uint8_t v) { return v == 0 || v == 255; }));
    EXPECT_EQ(InkMissing(reference, mono.page), 0);
}

TEST(ToolPreview, ClipCutsAndUnknownOperatorsAreNamed)
{
    TempPath job(".pxl");
    std::vector<uint8_t> bytes = MakeJob(job);
    // The clip box 0, 0, 4900, 6400 narrowed to a right edge at x 1200.
    bytes = Replaced(bytes, {0xE3, 0, 0, 0, 0, 0x24, 0x13, 0x00, 0x19},
                     {0xE3, 0, 0, 0, 0, 0xB0, 0x04, 0x00, 0x19});
    // Two LinePaths before EndPage, CloseDataSource, EndSession.
    const std::vector<uint8_t> linePath = {0xD3, 0, 0, 0, 0, 0xF8, 0x45, 0x9B};
    const size_t lineAt = bytes.size() - 3;
    bytes.insert(bytes.end() - 3, linePath.begin(), linePath.end());
    bytes.insert(bytes.end() - 3, linePath.begin(), linePath.end());
    job.Write(bytes);
    Rendered rendered;
    Preview(rendered, job.path);
    const Gray &page = rendered.page;
    const int clipRight = static_cast<int>(1200 / kUnitsPerPixel);
    long inside = 0;
    long outside = 0;
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x)
            (x < clipRight ? inside : outside) += page.At(x, y);
    EXPECT_GT(inside, 50 * 255);
    EXPECT_EQ(outside, 0);
    // The text runs past the clip edge when unclipped.
    const Gray reference = ReferenceDrawing(bytes, page.width, page.height);
    EXPECT_GT(reference.At(clipRight, 0) + [&] {
        long past = 0;
        for (int y = 0; y < page.height; ++y)
            for (int x = clipRight + 1; x < page.width; ++x)
                past += reference.At(x, y);
        return past;
    }(), 50 * 255);

    EXPECT_EQ(rendered.run.err, "fndl: '" + job.path + "': not drawn: LinePath, 2 times, first at byte " +
                                    std::to_string(lineAt + 7) + "\n");
}

TEST(ToolPreview, ReadsPjlJobsAndFailsOnDamageWithItsOffset)
{
    TempPath bare(".pxl");
    const std::vector<uint8_t> bytes = MakeJob(bare);
    const std::string preamble = "\x1B%-12345X@PJL JOB NAME=\"x\"\r\n@PJL ENTER LANGUAGE=PCLXL\r\n";
    const std::string trailer = "\x1B%-12345X@PJL EOJ\r\n\x1B%-12345X";
    std::vector<uint8_t> wrapped(preamble.begin(), preamble.end());
    wrapped.insert(wrapped.end(), bytes.begin(), bytes.end());
    wrapped.insert(wrapped.end(), trailer.begin(), trailer.end());
    TempPath job(".pxl");
    job.Write(wrapped);
    Rendered fromBare;
    Rendered fromWrapped;
    Preview(fromBare, bare.path);
    Preview(fromWrapped, job.path);
    EXPECT_EQ(fromWrapped.page.ink, fromBare.page.ink);

    // EndPage made an unknown byte: the offset counts from the file's start.
    const size_t endPage = preamble.size() + bytes.size() - 3;
    wrapped[endPage] = 0x3F;
    job.Write(wrapped);
    TempPath png(".png");
    ToolRun run = RunTool({"preview", job.path, "-o", png.path});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("is malformed at byte " + std::to_string(endPage)), std::string::npos)
        << run.err;
    EXPECT_TRUE(png.Read().empty());

    // A page never ended.
    wrapped.erase(wrapped.begin() + static_cast<long>(endPage),
                  wrapped.begin() + static_cast<long>(endPage) + 1);
    job.Write(wrapped);
    run = RunTool({"preview", job.path, "-o", png.path});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("at byte " + std::to_string(endPage + 1) + ": EndSession inside the page"),
              std::string::npos)
        << run.err;
}

#endif

#ifdef FNDL_TOOL_PATH
namespace {

// The job with its BeginPage's Orientation and MediaSize (ubyte 0 and 2)
// replaced.
std::vector<uint8_t> WithPage(std::vector<uint8_t> bytes, uint8_t orientation,
                              const std::vector<uint8_t> &media)
{
    const std::vector<uint8_t> page = {0xC0, 0, 0xF8, 0x28, 0xC0, 2, 0xF8, 0x25};
    const auto at = std::search(bytes.begin(), bytes.end(), page.begin(), page.end());
    EXPECT_NE(at, bytes.end());
    if (at == bytes.end())
        return bytes;
    const size_t offset = static_cast<size_t>(at - bytes.begin());
    bytes[offset + 1] = orientation;
    bytes.erase(bytes.begin() + static_cast<long>(offset) + 4, bytes.begin() + static_cast<long>(offset) + 8);
    bytes.insert(bytes.begin() + static_cast<long>(offset) + 4, media.begin(), media.end());
    return bytes;
}

std::vector<uint8_t> RealXY(float x, float y, uint8_t attribute)
{
    // Sized first: GCC 12's -Warray-bounds takes an insert after one byte
    // for an overflow in Release builds.
    std::vector<uint8_t> out(11);
    out[0] = 0xD5;
    std::memcpy(&out[1], &x, 4);
    std::memcpy(&out[5], &y, 4);
    out[9] = 0xF8;
    out[10] = attribute;
    return out;
}

} // namespace

TEST(ToolPreview, ReverseOrientationsTurnThePageAndMediaSizesAreKnown)
{
    TempPath job(".pxl");
    const std::vector<uint8_t> bytes = MakeJob(job);
    // Reverse portrait and reverse landscape: the page turned half round.
    for (const uint8_t orientation : {0, 1}) {
        Rendered plain;
        Rendered reverse;
        job.Write(WithPage(bytes, orientation, {0xC0, 2, 0xF8, 0x25}));
        Preview(plain, job.path);
        job.Write(WithPage(bytes, orientation + 2, {0xC0, 2, 0xF8, 0x25}));
        Preview(reverse, job.path);
        std::reverse(reverse.page.ink.begin(), reverse.page.ink.end());
        EXPECT_EQ(reverse.page.width, orientation ? 1170 : 827);
        EXPECT_GT(plain.page.Total(), 100 * 255);
        EXPECT_EQ(reverse.page.ink, plain.page.ink) << int(orientation);
    }
    // By code (A5, B5, Executive, Tabloid) and by name.
    const std::vector<std::pair<std::vector<uint8_t>, std::pair<int, int>>> media = {
        {{0xC0, 16, 0xF8, 0x25}, {583, 827}},
        {{0xC0, 13, 0xF8, 0x25}, {693, 985}},
        {{0xC0, 3, 0xF8, 0x25}, {725, 1050}},
        {{0xC0, 4, 0xF8, 0x25}, {1100, 1700}},
        {{0xC8, 0xC0, 7, 'T', 'a', 'b', 'l', 'o', 'i', 'd', 0xF8, 0x25}, {1100, 1700}},
        {{0xC8, 0xC0, 5, 'B', '5', 'E', 'N', 'V', 0xF8, 0x25}, {693, 985}},
    };
    for (const auto &[attribute, size] : media) {
        Rendered page;
        job.Write(WithPage(bytes, 0, attribute));
        Preview(page, job.path);
        EXPECT_EQ(page.run.err, "");
        EXPECT_EQ(std::make_pair(page.page.width, page.page.height), size);
    }
}

TEST(ToolPreview, NumberUpPagesAreDrawnInTheirCells)
{
    // The first sheet of a 2-up and a 4-up job against FreeType drawing the
    // original font's glyphs where the job puts them: each frame's
    // SetPageOrigin and SetPageScale place and size its Texts. Ink
    // intersection over union.
    const std::string font = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    constexpr int kSheetDpi = 200;
    constexpr double kUnits = 600.0 / kSheetDpi; // job units per pixel
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    ASSERT_EQ(FT_New_Face(library, font.c_str(), 0, &face), 0);
    for (const int up : {2, 4}) {
        TempPath job(".pxl");
        const ToolRun run = RunTool({"job", "--font-file", font, "--text-file",
                                     "/usr/share/common-licenses/GPL-3", "--number-up",
                                     std::to_string(up), "-o", job.path});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        Rendered sheet;
        Preview(sheet, job.path, {"--page", "1", "--dpi", std::to_string(kSheetDpi)});
        EXPECT_EQ(sheet.run.err, "");
        Gray reference{sheet.page.width, sheet.page.height, std::vector<uint8_t>(sheet.page.ink.size())};
        std::vector<XLOperation> ops;
        XLDecodeError error;
        ASSERT_TRUE(XLDecodeOperations(job.Read(), ops, error)) << error.message;
        // origin x, y (job units) and scale; PushGS saves them, PopGS restores.
        std::vector<std::array<double, 3>> saved;
        std::array<double, 3> frame{0, 0, 1};
        double x = 0, y = 0, size = 0;
        int frames = 0;
        for (size_t i = 0; i < ops.size() && ops[i].op != 0x44 /* EndPage */; ++i) {
            const XLOperation &op = ops[i];
            if (op.op == 0x61) { // PushGS
                saved.push_back(frame);
            } else if (op.op == 0x60 /* PopGS */ && !saved.empty()) {
                frame = saved.back();
                saved.pop_back();
            } else if (op.op == 0x75) { // SetPageOrigin
                frame[0] += frame[2] * op.Find(0x2A)->value.numbers[0];
                frame[1] += frame[2] * op.Find(0x2A)->value.numbers[1];
            } else if (op.op == 0x77) { // SetPageScale
                frame[2] *= op.Find(0x2B)->value.numbers[0];
                ++frames;
            } else if (op.op == kOpSetFont) {
                size = op.Find(0xA6)->value.numbers[0];
            } else if (op.op == kOpSetCursor) {
                x = op.Find(0x4C)->value.numbers[0];
                y = op.Find(0x4C)->value.numbers[1];
            } else if (op.op == kOpText) {
                const std::vector<double> &codes = op.Find(0xAB)->value.numbers;
                const std::vector<double> &advances = op.Find(0xAF)->value.numbers;
                FT_Set_Char_Size(face, 0, std::lround(size * frame[2] / kUnits * 64), 72, 72);
                for (size_t c = 0; c < codes.size(); ++c) {
                    const double px = (frame[0] + frame[2] * x) / kUnits;
                    const double py = (frame[1] + frame[2] * y) / kUnits;
                    FT_Vector delta{std::lround((px - std::floor(px)) * 64), -std::lround((py - std::floor(py)) * 64)};
                    FT_Set_Transform(face, nullptr, &delta);
                    ASSERT_EQ(FT_Load_Char(face, FT_ULong(codes[c]), FT_LOAD_RENDER | FT_LOAD_NO_HINTING), 0);
                    const FT_GlyphSlot slot = face->glyph;
                    for (unsigned row = 0; row < slot->bitmap.rows; ++row)
                        for (unsigned column = 0; column < slot->bitmap.width; ++column) {
                            const long gx = long(std::floor(px)) + slot->bitmap_left + column;
                            const long gy = long(std::floor(py)) - slot->bitmap_top + row;
                            if (gx >= 0 && gy >= 0 && gx < reference.width && gy < reference.height) {
                                uint8_t &ink = reference.ink[size_t(gy) * reference.width + gx];
                                ink = std::max(ink, slot->bitmap.buffer[row * slot->bitmap.pitch + column]);
                            }
                        }
                    x += advances[c];
                }
            }
        }
        EXPECT_EQ(frames, up);
        long both = 0, either = 0;
        for (size_t i = 0; i < reference.ink.size(); ++i) {
            both += reference.ink[i] >= 128 && sheet.page.ink[i] >= 128;
            either += reference.ink[i] >= 128 || sheet.page.ink[i] >= 128;
        }
        ASSERT_GT(either, 10000) << up;
        const double iou = double(both) / double(either);
        EXPECT_GE(iou, 0.9) << up << "-up";
        std::printf("%d-up: ink intersection over union %.3f (%ld of %ld pixels)\n", up, iou, both, either);
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
}

TEST(ToolPreview, RefusesJobsThatAskForMorePixelsThanTheyCarry)
{
    TempPath job(".pxl");
    const std::vector<uint8_t> bytes = MakeJob(job);
    TempPath png(".png");
    std::vector<uint8_t> custom = RealXY(1e30f, 1e30f, 0x2F);
    custom.insert(custom.end(), {0xC0, 0, 0xF8, 0x30});
    job.Write(WithPage(bytes, 0, custom));
    ToolRun run = RunTool({"preview", job.path, "-o", png.path});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "fndl: '" + job.path + "': page 1 asks for a custom media larger than any paper\n");
    // 199 x 199 in is under the page limit at 100 dpi, but far more than a
    // job of this size may make.
    custom = RealXY(199, 199, 0x2F);
    custom.insert(custom.end(), {0xC0, 0, 0xF8, 0x30});
    job.Write(WithPage(bytes, 0, custom));
    run = RunTool({"preview", job.path, "-o", png.path});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("page 1 takes the job past the "), std::string::npos) << run.err;
    EXPECT_TRUE(png.Read().empty());
}
#endif
