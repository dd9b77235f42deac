// SPDX-License-Identifier: MIT
// fndl's shaped text, run as a subprocess: the glyphs written to the job
// are HarfBuzz's for the same font, lines come out in bidirectional order,
// characters beyond U+FFFF print, and a character no font has prints as a
// replacement. Fonts from Debian packages; a test is skipped without them.
#include <gtest/gtest.h>

#include <hb.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/requests.h"
#include "support/toolrun.h"
#include "xldecode/xldecode.h"

#ifdef FNDL_TOOL_PATH

namespace {

constexpr uint8_t kOpSetCursor = 0x6B, kOpSetFont = 0x6F, kOpText = 0xA8;
constexpr uint16_t kAttrPoint = 0x4C, kAttrFontName = 0xA8, kAttrTextData = 0xAB,
                   kAttrXSpacingData = 0xAF;
constexpr long kRightLimit = 4725;
const std::string kNoto = "/usr/share/fonts/truetype/noto/";

// One Text of the job: the soft font it is set in, where, its codes.
struct TextRun {
    std::string font;
    long x = 0;
    long width = 0;
    std::vector<uint32_t> codes;
    bool Glyphs() const { return font.ends_with(":g"); }
};

struct ShapedJob {
    ToolRun run;
    std::vector<TextRun> texts;
};

ShapedJob RunJob(std::vector<std::string> args)
{
    TempPath file(".pxl");
    args.insert(args.begin(), "job");
    args.insert(args.end(), {"-o", file.path});
    ShapedJob job;
    job.run = RunTool(args);
    EXPECT_EQ(job.run.exitCode, 0) << job.run.err;
    const std::vector<uint8_t> bytes = file.Read();
    std::vector<XLOperation> ops;
    XLDecodeError error;
    XLStreamBounds bounds;
    if (!XLFindStream(bytes, bounds, error) ||
        !XLDecodeOperations(std::span(bytes).subspan(bounds.begin, bounds.end - bounds.begin),
                            ops, error))
        ADD_FAILURE() << error.message;
    std::string font;
    long x = 0;
    for (const XLOperation &op : ops) {
        if (op.op == kOpSetFont) {
            const XLAttribute *name = op.Find(kAttrFontName);
            font.assign(name->value.raw.begin(), name->value.raw.end());
        } else if (op.op == kOpSetCursor) {
            x = static_cast<long>(op.Find(kAttrPoint)->value.numbers[0]);
        } else if (op.op == kOpText) {
            TextRun text{font, x, 0, {}};
            for (const double code : op.Find(kAttrTextData)->value.numbers)
                text.codes.push_back(static_cast<uint32_t>(code));
            for (const double advance : op.Find(kAttrXSpacingData)->value.numbers)
                text.width += static_cast<long>(advance);
            job.texts.push_back(text);
        }
    }
    return job;
}

// HarfBuzz's glyphs for the whole text in the font file, left to right.
std::vector<uint32_t> HarfBuzzGlyphs(const std::string &file, const std::string &utf8)
{
    hb_blob_t *blob = hb_blob_create_from_file(file.c_str());
    hb_face_t *face = hb_face_create(blob, 0);
    hb_font_t *font = hb_font_create(face);
    hb_buffer_t *buffer = hb_buffer_create();
    hb_buffer_add_utf8(buffer, utf8.c_str(), -1, 0, -1);
    hb_buffer_guess_segment_properties(buffer);
    hb_buffer_set_flags(buffer,
                        static_cast<hb_buffer_flags_t>(HB_BUFFER_FLAG_BOT | HB_BUFFER_FLAG_EOT));
    hb_shape(font, buffer, nullptr, 0);
    unsigned count = 0;
    const hb_glyph_info_t *infos = hb_buffer_get_glyph_infos(buffer, &count);
    std::vector<uint32_t> glyphs;
    for (unsigned i = 0; i < count; ++i)
        glyphs.push_back(infos[i].codepoint);
    hb_buffer_destroy(buffer);
    hb_font_destroy(font);
    hb_face_destroy(face);
    hb_blob_destroy(blob);
    return glyphs;
}

// A line's last Text ends at the right limit: a few dots short at most
// (the text call's advances are measured a dot wider a character), never
// beyond.
bool FlushRight(const TextRun &last)
{
    const long end = last.x + last.width;
    return end <= kRightLimit && end >= kRightLimit - 8;
}

std::vector<uint32_t> GlyphCodes(const ShapedJob &job)
{
    std::vector<uint32_t> codes;
    for (const TextRun &text : job.texts) {
        if (text.Glyphs())
            codes.insert(codes.end(), text.codes.begin(), text.codes.end());
    }
    return codes;
}

// The codes of the Texts from the first on, all set by the text call.
std::vector<uint32_t> PlainCodes(const ShapedJob &job, size_t first)
{
    std::vector<uint32_t> codes;
    for (size_t i = first; i < job.texts.size(); ++i) {
        EXPECT_FALSE(job.texts[i].Glyphs()) << i;
        codes.insert(codes.end(), job.texts[i].codes.begin(), job.texts[i].codes.end());
    }
    return codes;
}

std::vector<uint32_t> Codes(std::u16string_view text)
{
    return std::vector<uint32_t>(text.begin(), text.end());
}

TEST(ToolShaping, GlyphsAreHarfBuzzsForTheSameFont)
{
    const struct {
        std::string file;
        std::string line;
    } lines[] = {
        {kNoto + "NotoSansHebrew-Regular.ttf", "שָׁלוֹם עוֹלָם"},
        {kNoto + "NotoSansArabic-Regular.ttf", "مرحبا بالعالم"},
        {kNoto + "NotoSansDevanagari-Regular.ttf", "नमस्ते दुनिया क्षत्रिय"},
        {kNoto + "NotoSansThai-Regular.ttf", "สวัสดีครับ ผู้ใหญ่"},
        {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "e\u0301 n\u0303 q\u0323\u0307"},
    };
    for (const auto &[file, line] : lines) {
        if (!std::filesystem::exists(file)) {
            GTEST_SKIP() << file << " is not installed";
        }
        const ShapedJob job = RunJob({"--font-file", file, "--text", line});
        const std::vector<uint32_t> expected = HarfBuzzGlyphs(file, line);
        EXPECT_EQ(GlyphCodes(job), expected) << line;
        EXPECT_GT(expected.size(), 3u);
        for (const TextRun &text : job.texts)
            EXPECT_TRUE(text.Glyphs()) << line << ": every run through the glyph call";
        EXPECT_EQ(job.run.err.find("print"), std::string::npos) << job.run.err;
    }
}

TEST(ToolShaping, MixedLinesComeOutInBidirectionalOrder)
{
    const std::string dejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    if (!std::filesystem::exists(dejaVu))
        GTEST_SKIP() << dejaVu << " is not installed";
    // A left-to-right paragraph with a Hebrew word: Latin by the text call,
    // the word's glyphs right to left by the glyph call, one after another.
    ShapedJob job = RunJob({"--text", "abc שלום def"});
    ASSERT_GE(job.texts.size(), 3u);
    EXPECT_EQ(job.texts[0].codes, Codes(u"abc "));
    EXPECT_TRUE(job.texts[1].Glyphs());
    EXPECT_EQ(job.texts[1].codes, HarfBuzzGlyphs(dejaVu, "שלום"));
    EXPECT_EQ(PlainCodes(job, 2), Codes(u" def"));
    for (size_t i = 1; i < job.texts.size(); ++i)
        EXPECT_EQ(job.texts[i].x, job.texts[i - 1].x + job.texts[i - 1].width) << i;

    // A right-to-left paragraph is flush right, its Latin word on the left
    // of the Hebrew one; --ltr sets it from the left margin instead.
    job = RunJob({"--text", "שלום abc"});
    ASSERT_EQ(job.texts.size(), 2u);
    EXPECT_EQ(job.texts[0].codes, Codes(u"abc"));
    EXPECT_EQ(job.texts[1].codes, HarfBuzzGlyphs(dejaVu, "שלום "));
    EXPECT_TRUE(FlushRight(job.texts[1]));
    job = RunJob({"--ltr", "--text", "שלום abc"});
    ASSERT_GE(job.texts.size(), 2u);
    EXPECT_EQ(job.texts[0].x, 300);
    EXPECT_TRUE(job.texts[0].Glyphs());
    EXPECT_EQ(PlainCodes(job, 1), Codes(u" abc"));
    // --rtl sets even a Latin paragraph flush right.
    job = RunJob({"--rtl", "--text", "abc"});
    ASSERT_EQ(job.texts.size(), 1u);
    EXPECT_TRUE(FlushRight(job.texts[0]));
}

TEST(ToolShaping, CharactersBeyondU0FFFFPrint)
{
    const struct {
        std::string file;
        std::string text;
        char32_t c;
    } cases[] = {
        {"/usr/share/fonts/truetype/ancient-scripts/Symbola_hint.ttf", "\xF0\x9F\x98\x80", 0x1F600},
        {"/usr/share/fonts/truetype/hanazono/HanaMinB.ttf", "\xF0\xA0\xAE\x9F", 0x20B9F},
    };
    for (const auto &[file, text, c] : cases) {
        if (!std::filesystem::exists(file))
            GTEST_SKIP() << file << " is not installed";
        const ShapedJob job = RunJob({"--font-file", file, "--text", text});
        const std::vector<uint32_t> glyphs = GlyphCodes(job);
        ASSERT_EQ(glyphs.size(), 1u) << file;
        EXPECT_EQ(glyphs, HarfBuzzGlyphs(file, text));
        EXPECT_NE(glyphs[0], 0u);
        EXPECT_EQ(job.run.err.find("print"), std::string::npos) << job.run.err;
    }
}

TEST(ToolShaping, UnprintableCharactersPrintAsAReplacementReportedOnce)
{
    // U+0378 is no character, U+10FFFD a private use one no font has.
    const ShapedJob job = RunJob({"--text", "a\xCD\xB8" "b\xF4\x8F\xBF\xBD" "c\xCD\xB8"});
    EXPECT_EQ(PlainCodes(job, 0), Codes(u"a\uFFFDb\uFFFDc\uFFFD"));
    EXPECT_EQ(job.run.err.find("fndl: 3 characters no installed font can print, first U+0378 at "
                               "text offset 1; printed as U+FFFD\n"),
              0u)
        << job.run.err;
    EXPECT_EQ(job.run.err.find("U+10FFFD"), std::string::npos) << "one line";
}

} // namespace

#endif // FNDL_TOOL_PATH
