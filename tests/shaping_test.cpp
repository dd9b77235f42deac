// SPDX-License-Identifier: MIT
// fndl's shaped text, run as a subprocess: the glyphs written to the job
// are HarfBuzz's for the same font, lines come out in bidirectional order,
// characters beyond U+FFFF print, and a character no font has prints as a
// replacement, on the cover page too. Fonts from Debian packages; a test is
// skipped without them.
#include <gtest/gtest.h>

#include <hb.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "support/requests.h"
#include "support/toolrun.h"
#include "xldecode/xldecode.h"

#ifdef FNDL_TOOL_PATH

namespace {

constexpr uint8_t kOpSetCursor = 0x6B, kOpSetFont = 0x6F, kOpText = 0xA8, kOpPopGS = 0x60,
                  kOpSetPageOrigin = 0x75, kOpRectangle = 0xA0, kOpRectanglePath = 0xA1;
constexpr uint16_t kAttrPoint = 0x4C, kAttrFontName = 0xA8, kAttrTextData = 0xAB,
                   kAttrXSpacingData = 0xAF, kAttrYSpacingData = 0xB0, kAttrPageOrigin = 0x2A,
                   kAttrBoundingBox = 0x42;
constexpr long kRightLimit = 4725;
const std::string kNoto = "/usr/share/fonts/truetype/noto/";

// One Text of the job: the soft font it is set in, where (and the page
// origin's x), its codes.
struct TextRun {
    std::string font;
    long x = 0;
    long width = 0;
    std::vector<uint32_t> codes;
    long originX = 0;
    std::vector<long> ys; // where each glyph is drawn, down the page
    bool Glyphs() const { return font.ends_with(":g"); }
};

struct ShapedJob {
    ToolRun run;
    std::vector<TextRun> texts;
    std::vector<std::vector<double>> bars;   // underline bars' boxes
    std::vector<std::vector<double>> frames; // the Rectangles' boxes
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
    long y = 0;
    long originX = 0;
    for (const XLOperation &op : ops) {
        if (op.op == kOpSetPageOrigin) {
            originX = static_cast<long>(op.Find(kAttrPageOrigin)->value.numbers[0]);
        } else if (op.op == kOpPopGS) {
            originX = 0;
        } else if (op.op == kOpRectanglePath || op.op == kOpRectangle) {
            (op.op == kOpRectangle ? job.frames : job.bars)
                .push_back(op.Find(kAttrBoundingBox)->value.numbers);
        } else if (op.op == kOpSetFont) {
            const XLAttribute *name = op.Find(kAttrFontName);
            font.assign(name->value.raw.begin(), name->value.raw.end());
        } else if (op.op == kOpSetCursor) {
            x = static_cast<long>(op.Find(kAttrPoint)->value.numbers[0]);
            y = static_cast<long>(op.Find(kAttrPoint)->value.numbers[1]);
        } else if (op.op == kOpText) {
            TextRun text{font, x, 0, {}, originX, {}};
            const XLAttribute *ySpacing = op.Find(kAttrYSpacingData);
            for (const double code : op.Find(kAttrTextData)->value.numbers) {
                text.ys.push_back(y);
                if (ySpacing)
                    y += static_cast<long>(ySpacing->value.numbers.at(text.codes.size()));
                text.codes.push_back(static_cast<uint32_t>(code));
            }
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
    // --underline: the glyph run gets the bar the text call draws under its
    // runs, as wide as the run, at the same height and thickness.
    job = RunJob({"--underline", "--text", "abc שלום def"});
    ASSERT_GE(job.texts.size(), 3u);
    ASSERT_TRUE(job.texts[1].Glyphs());
    ASSERT_EQ(job.bars.size(), job.texts.size());
    for (size_t i = 0; i < job.texts.size(); ++i) {
        EXPECT_EQ(job.bars[i][0], job.texts[i].x) << i;
        EXPECT_EQ(job.bars[i][2], job.texts[i].x + job.texts[i].width) << i;
        EXPECT_EQ(job.bars[i][1], job.bars[0][1]) << i;
        EXPECT_EQ(job.bars[i][3], job.bars[0][3]) << i;
    }
    EXPECT_GT(job.bars[1][3], job.bars[1][1]);
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

// A wrapped line keeps its text's direction: a left-to-right title whose
// second line starts with Hebrew sets that line left to right, the Hebrew
// first (leftmost), the English after it.
TEST(ToolShaping, CoverPageWrappedLinesKeepTheTextsDirection)
{
    TempPath cover(".txt");
    const std::string spec = "heading\tQuarterly report of the branch \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D "
                             "\xD7\xA2\xD7\x95\xD7\x9C\xD7\x9D \xD7\x9C\xD7\x9B\xD7\x95\xD7\x9C\xD7\x9D "
                             "and the English tail of the title\n";
    cover.Write(std::vector<uint8_t>(spec.begin(), spec.end()));
    const ShapedJob job = RunJob({"--cover", cover.path});
    const auto hebrew = std::find_if(job.texts.begin(), job.texts.end(),
                                     [](const TextRun &text) { return text.Glyphs(); });
    ASSERT_NE(hebrew, job.texts.end());
    size_t onLine = 0;
    for (const TextRun &text : job.texts) {
        if (text.originX != hebrew->originX)
            continue;
        ++onLine;
        EXPECT_LE(hebrew->x, text.x) << "the Hebrew run is not the line's first";
    }
    EXPECT_GE(onLine, 2u); // the English follows on the same line
}

// A letter under more marks than any script stacks prints whatever their
// number: the marks past the bound go on top of the stack, one report.
TEST(ToolShaping, OverTallMarkStacksPrintAtTheBoundReportedOnce)
{
    std::string text = "a"; // composed with the first mark, stacked by HarfBuzz's fallback
    for (int i = 0; i < 1500; ++i)
        text += "\xCC\x81"; // U+0301
    const ShapedJob job = RunJob({"--text", text + " c" + text});
    size_t glyphs = 0;
    std::vector<long> heights;
    for (const TextRun &run : job.texts) {
        glyphs += run.codes.size();
        heights.insert(heights.end(), run.ys.begin(), run.ys.end());
    }
    EXPECT_EQ(glyphs, 2u * 1500 + 2) << "every character set (a with a mark is one)";
    std::sort(heights.begin(), heights.end());
    heights.erase(std::unique(heights.begin(), heights.end()), heights.end());
    // The baseline, and one height a stacked mark up to the bound.
    EXPECT_LE(heights.size(), 1 + 32u);
    EXPECT_GT(heights.size(), 16u);
    const std::string report = "fndl: a character carries more than 32 combining marks: the marks "
                               "past them are set on top of the stack\n";
    EXPECT_NE(job.run.err.find(report), std::string::npos) << job.run.err;
    EXPECT_EQ(job.run.err.find(report), job.run.err.rfind(report)) << "reported once";
}

// A right-to-left paragraph longer than the stretch the tool shapes at
// once: every letter once, every line flush right as the paragraph's.
TEST(ToolShaping, ParagraphsLongerThanOneStretchPrintWhole)
{
    std::string text;
    size_t letters = 0;
    for (int word = 0; letters < 70000; ++word) {
        for (int i = 0; i < 3 + word % 5; ++i, ++letters)
            text += std::string("\xD7") + static_cast<char>(0x90 + (word + i) % 27);
        text += ' ';
    }
    TempPath file(".txt");
    file.Write(std::vector<uint8_t>(text.begin(), text.end()));
    const ShapedJob job = RunJob({"--text-file", file.path});
    const uint32_t space = HarfBuzzGlyphs("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", " ").at(0);
    size_t glyphs = 0;
    for (const TextRun &run : job.texts) {
        glyphs += static_cast<size_t>(std::count_if(run.codes.begin(), run.codes.end(),
                                                    [&](uint32_t code) { return code != space; }));
        EXPECT_GT(run.x + run.width, kRightLimit - 10) << "flush right";
    }
    EXPECT_EQ(glyphs, letters);
}

TEST(ToolShaping, JobHelpSaysWhatTheJobDoes)
{
    const std::string dejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    if (!std::filesystem::exists(dejaVu))
        GTEST_SKIP() << dejaVu << " is not installed";
    const ToolRun help = RunTool({"job", "--help"});
    ASSERT_EQ(help.exitCode, 0);
    std::string text = help.out;
    std::replace(text.begin(), text.end(), '\n', ' ');
    for (const char *claim : {"script that needs shaping (Arabic joining",
                              "right-to-left paragraphs flush right", "shaped by HarfBuzz",
                              "the glyph call (FNDLGlyphRunW)", "is drawn as U+FFFD",
                              "reported in one line", "--strict fails the job instead"})
        EXPECT_NE(text.find(claim), std::string::npos) << claim;
    EXPECT_EQ(text.find("reported and left out"), std::string::npos);

    // Arabic shaped (joining forms are not the cmap glyphs: the glyph call),
    // flush right; a character no font has drawn as U+FFFD; --strict fails.
    ShapedJob job = RunJob({"--text", "\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7"});
    ASSERT_FALSE(job.texts.empty());
    EXPECT_EQ(GlyphCodes(job), HarfBuzzGlyphs(dejaVu, "\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7"));
    EXPECT_TRUE(FlushRight(job.texts.back()));
    job = RunJob({"--text", "a\xCD\xB8"});
    EXPECT_EQ(PlainCodes(job, 0), Codes(u"a\uFFFD"));
    TempPath refused(".pxl");
    EXPECT_EQ(RunTool({"job", "--strict", "--text", "a\xCD\xB8", "-o", refused.path}).exitCode, 1);
}

TEST(ToolShaping, CoverPageShapesCentresAndReplaces)
{
    const std::string bold = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
    const std::string hanaMin = "/usr/share/fonts/truetype/hanazono/HanaMinB.ttf";
    for (const std::string &file : {bold, hanaMin}) {
        if (!std::filesystem::exists(file))
            GTEST_SKIP() << file << " is not installed";
    }
    // A heading in Hebrew with a CJK Extension B ideograph, an emoji and
    // U+0378 (no character), and a Hebrew row.
    TempPath cover(".txt");
    const std::string spec = "heading\t\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xF0\xA0\xAE\x9F"
                             "\xF0\x9F\x98\x80\xCD\xB8\nrow\tName\t\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D\n";
    cover.Write(std::vector<uint8_t>(spec.begin(), spec.end()));
    const ShapedJob job = RunJob({"--cover", cover.path});
    EXPECT_NE(job.run.err.find("fndl: 1 character of the cover page no installed font can print, "
                               "first U+0378; printed as U+FFFD\n"),
              std::string::npos)
        << job.run.err;
    // The heading: the Texts with the first page origin, all glyph-coded.
    ASSERT_FALSE(job.texts.empty());
    ASSERT_FALSE(job.frames.empty());
    std::vector<uint32_t> codes;
    long width = 0;
    bool ideograph = false; // set in a CJK font, not glyph 0
    for (const TextRun &text : job.texts) {
        if (text.originX != job.texts[0].originX)
            break;
        EXPECT_TRUE(text.Glyphs()) << text.font;
        codes.insert(codes.end(), text.codes.begin(), text.codes.end());
        width += text.width;
        ideograph |= text.font.find("DejaVu") == std::string::npos && text.codes.size() == 1 &&
                     text.codes[0] != 0;
    }
    EXPECT_TRUE(ideograph);
    const std::vector<uint32_t> hebrew = HarfBuzzGlyphs(bold, "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D");
    const std::vector<uint32_t> box = HarfBuzzGlyphs(bold, "\xEF\xBF\xBD");
    for (const auto *glyphs : {&hebrew, &box})
        EXPECT_NE(std::search(codes.begin(), codes.end(), glyphs->begin(), glyphs->end()),
                  codes.end());
    // Centred by its shaped width: the frame is as far from both edges.
    const long centre = std::lround((job.frames[0][0] + job.frames[0][2]) / 2);
    EXPECT_LE(std::abs(job.texts[0].originX + job.texts[0].x - (centre - width / 2)), 1);
    // --strict refuses the page, as it refuses such a text job.
    TempPath refused(".pxl");
    EXPECT_EQ(RunTool({"job", "--strict", "--cover", cover.path, "-o", refused.path}).exitCode, 1);
    // The row's Hebrew value is glyph-coded too.
    EXPECT_TRUE(job.texts.back().Glyphs());
    EXPECT_EQ(job.texts.back().codes, HarfBuzzGlyphs("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                                                     "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D"));
}

} // namespace

#endif // FNDL_TOOL_PATH
