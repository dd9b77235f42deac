// SPDX-License-Identifier: MIT
// The fndl command-line tool, run as a subprocess: the jobs it writes are
// decoded back and checked byte for byte where the framing is fixed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/fontbuilder.h"
#include "support/requests.h"
#include "support/toolrun.h"
#include "xldecode/xldecode.h"

#ifdef FNDL_TOOL_PATH

namespace {

constexpr uint8_t kOpBeginSession = 0x41;
constexpr uint8_t kOpEndSession = 0x42;
constexpr uint8_t kOpBeginPage = 0x43;
constexpr uint8_t kOpEndPage = 0x44;
constexpr uint8_t kOpBeginFontHeader = 0x4F;
constexpr uint8_t kOpBeginChar = 0x52;
constexpr uint8_t kOpReadChar = 0x53;
constexpr uint8_t kOpRemoveFont = 0x55;
constexpr uint8_t kOpPopGS = 0x60;
constexpr uint8_t kOpPushGS = 0x61;
constexpr uint8_t kOpSetPageOrigin = 0x75;
constexpr uint8_t kOpSetPageScale = 0x77;
constexpr uint8_t kOpSetCharShear = 0x66;
constexpr uint8_t kOpSetCursor = 0x6B;
constexpr uint8_t kOpSetFont = 0x6F;
constexpr uint8_t kOpSetCharBoldValue = 0x7D;
constexpr uint8_t kOpRectanglePath = 0xA1;
constexpr uint8_t kOpText = 0xA8;
constexpr uint16_t kAttrMediaSize = 0x25;
constexpr uint16_t kAttrOrientation = 0x28;
constexpr uint16_t kAttrPageOrigin = 0x2A;
constexpr uint16_t kAttrPageScale = 0x2B;
constexpr uint16_t kAttrPoint = 0x4C;
constexpr uint16_t kAttrCharShear = 0xA5;
constexpr uint16_t kAttrCharSize = 0xA6;
constexpr uint16_t kAttrFontName = 0xA8;
constexpr uint16_t kAttrTextData = 0xAB;
constexpr uint16_t kAttrXSpacingData = 0xAF;
constexpr uint16_t kAttrCharBoldValue = 0xB1;
constexpr int kBottomLimit = 6780;

// The job's operations, offsets from the start of the file (after a PJL
// preamble when there is one).
std::vector<XLOperation> Decode(const std::vector<uint8_t> &bytes)
{
    std::vector<XLOperation> ops;
    XLDecodeError error;
    XLStreamBounds bounds;
    EXPECT_TRUE(XLFindStream(bytes, bounds, error)) << error.message;
    EXPECT_TRUE(XLDecodeOperations(
        std::span<const uint8_t>(bytes).subspan(bounds.begin, bounds.end - bounds.begin), ops,
        error))
        << error.offset << ": " << error.message;
    for (XLOperation &op : ops)
        op.offset += bounds.begin;
    return ops;
}

size_t Count(const std::vector<XLOperation> &ops, uint8_t code)
{
    size_t n = 0;
    for (const XLOperation &op : ops)
        n += op.op == code ? 1 : 0;
    return n;
}

const XLOperation *First(const std::vector<XLOperation> &ops, uint8_t code)
{
    for (const XLOperation &op : ops) {
        if (op.op == code)
            return &op;
    }
    return nullptr;
}

std::string NameOf(const XLOperation &op)
{
    const XLAttribute *name = op.Find(kAttrFontName);
    return name ? std::string(name->value.raw.begin(), name->value.raw.end()) : std::string();
}

// One Text operator: where it starts, its characters and where it ends.
struct TextLine {
    long x;
    long y;
    long endX;
    std::u16string text;
    size_t page;
};

std::vector<TextLine> TextLines(const std::vector<XLOperation> &ops)
{
    std::vector<TextLine> lines;
    long x = 0;
    long y = 0;
    size_t page = 0;
    for (const XLOperation &op : ops) {
        if (op.op == kOpBeginPage)
            ++page;
        if (op.op == kOpSetCursor) {
            x = static_cast<long>(op.Find(kAttrPoint)->value.numbers[0]);
            y = static_cast<long>(op.Find(kAttrPoint)->value.numbers[1]);
        }
        if (op.op != kOpText)
            continue;
        TextLine line{x, y, x, u"", page};
        for (const double code : op.Find(kAttrTextData)->value.numbers)
            line.text += static_cast<char16_t>(code);
        for (const double advance : op.Find(kAttrXSpacingData)->value.numbers)
            line.endX += static_cast<long>(advance);
        lines.push_back(line);
    }
    return lines;
}

std::u16string AllText(const std::vector<TextLine> &lines)
{
    std::u16string all;
    for (const TextLine &line : lines)
        all += line.text;
    return all;
}

struct Job {
    TempPath file;
    ToolRun run;
    std::vector<uint8_t> bytes;
    std::vector<XLOperation> ops;
};

// fndl job with the given options, decoded.
void RunJob(Job &job, std::vector<std::string> options)
{
    options.insert(options.begin(), "job");
    options.push_back("-o");
    options.push_back(job.file.path);
    job.run = RunTool(options);
    ASSERT_EQ(job.run.exitCode, 0) << job.run.err;
    job.bytes = job.file.Read();
    job.ops = Decode(job.bytes);
}

std::vector<uint8_t> ByteList(std::initializer_list<int> values)
{
    std::vector<uint8_t> bytes;
    for (const int value : values)
        bytes.push_back(static_cast<uint8_t>(value));
    return bytes;
}

bool Contains(const std::vector<uint8_t> &bytes, const std::vector<uint8_t> &part)
{
    return std::search(bytes.begin(), bytes.end(), part.begin(), part.end()) != bytes.end();
}

TEST(ToolJob, FramesTheLibraryOutputIntoAPrintableJob)
{
    Job job;
    RunJob(job, {});
    const std::string header = ") HP-PCL XL;2;0;Comment fndl\r\n";
    ASSERT_GT(job.bytes.size(), header.size());
    EXPECT_EQ(std::string(job.bytes.begin(), job.bytes.begin() + static_cast<long>(header.size())),
              header);
    // BeginSession, OpenDataSource, BeginPage on A4, gray, black brush.
    const std::vector<uint8_t> framing = ByteList(
        {0xD1, 0x58, 0x02, 0x58, 0x02, 0xF8, 0x89, 0xC0, 0x00, 0xF8, 0x86, 0xC0, 0x00, 0xF8, 0x8F,
         0x41, 0xC0, 0x00, 0xF8, 0x88, 0xC0, 0x01, 0xF8, 0x82, 0x48, 0xC0, 0x00, 0xF8, 0x28, 0xC0,
         0x02, 0xF8, 0x25, 0x43, 0xC0, 0x01, 0xF8, 0x03, 0x6A, 0xC0, 0x00, 0xF8, 0x09, 0x63});
    EXPECT_TRUE(std::equal(framing.begin(), framing.end(),
                           job.bytes.begin() + static_cast<long>(header.size())));
    EXPECT_EQ(std::vector<uint8_t>(job.bytes.end() - 3, job.bytes.end()),
              ByteList({0x44, 0x49, 0x42}));

    EXPECT_EQ(Count(job.ops, kOpBeginSession), 1u);
    EXPECT_EQ(Count(job.ops, kOpEndSession), 1u);
    EXPECT_EQ(Count(job.ops, kOpBeginPage), 1u);
    EXPECT_EQ(Count(job.ops, kOpEndPage), 1u);
    ASSERT_EQ(Count(job.ops, kOpBeginFontHeader), 1u);
    EXPECT_EQ(NameOf(*First(job.ops, kOpBeginFontHeader)), "OT:1:DejaVu Sans:n");
    const std::vector<TextLine> lines = TextLines(job.ops);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front().text.substr(0, 10), u"Cover page");
    EXPECT_EQ(lines.front().x, 300);
    EXPECT_EQ(lines.front().y, 400);
    EXPECT_NE(job.run.err.find("1 page,"), std::string::npos) << job.run.err;
    EXPECT_EQ(job.run.out, "");
}

TEST(ToolJob, LongTextGoesOverPagesWithEveryCharacterOnce)
{
    // Words of letters the font has, some accented, paragraphs longer than
    // the library's 511-unit text, a blank line and a paragraph of one long
    // word that cannot be split at a space.
    std::string text;
    const char *words[] = {"cover",
                           "page",
                           "d\xC3\xA9j\xC3\xA0",
                           "soft",
                           "font",
                           ("gr\xC3\xB6\xC3\x9F" // split: \x9Fe would be one escape
                            "er"),
                           "printer",
                           "a",
                           "glyph",
                           "\xC5\x93uvre",
                           "x"};
    for (int i = 0; text.size() < 3000; ++i) {
        text += words[(i * 7 + i / 3) % 11];
        text += i % 97 == 96 ? "\n" : " ";
        if (i == 300)
            text += "\n\n";
    }
    text += "\n" + std::string(700, 'w');
    TempPath textFile(".txt");
    textFile.Write(std::vector<uint8_t>(text.begin(), text.end()));

    Job job;
    RunJob(job, {"--text-file", textFile.path, "--line-spacing", "300"});
    std::u16string expected;
    for (const char16_t unit : Utf16(text)) {
        if (unit != u'\n')
            expected += unit;
    }
    const std::vector<TextLine> lines = TextLines(job.ops);
    EXPECT_EQ(AllText(lines), expected);
    EXPECT_GE(Count(job.ops, kOpBeginPage), 3u);
    EXPECT_EQ(Count(job.ops, kOpBeginPage), Count(job.ops, kOpEndPage));
    EXPECT_EQ(Count(job.ops, kOpBeginFontHeader), 1u);
    // Lines stay on the page, and text that goes on in a later call starts
    // where the earlier text on that row ended.
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_LE(lines[i].y, kBottomLimit);
        if (i == 0 || lines[i].page != lines[i - 1].page)
            continue;
        if (lines[i].y == lines[i - 1].y) {
            EXPECT_EQ(lines[i].x, lines[i - 1].endX) << "line " << i;
        } else {
            EXPECT_GT(lines[i].y, lines[i - 1].y) << "line " << i;
        }
    }
}

TEST(ToolJob, ParagraphsAndMissingGlyphs)
{
    Job job;
    RunJob(job, {"--text", "A\nB\n\nC", "--line-spacing", "150", "--cursor", "500,700", "--margin",
                 "200"});
    std::vector<TextLine> lines = TextLines(job.ops);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].x, 500);
    EXPECT_EQ(lines[0].y, 700);
    EXPECT_EQ(lines[1].x, 200);
    EXPECT_EQ(lines[1].y, 850);
    EXPECT_EQ(lines[2].y, 1150); // after a blank line

    // Without fallback a character DejaVu Sans lacks prints as U+FFFD from
    // it, reported once in one line.
    Job missing;
    RunJob(missing, {"--no-fallback", "--text",
                     "ab\xE4\xB8\xAD"
                     "cd\xE4\xB8\xAD"});
    lines = TextLines(missing.ops);
    EXPECT_EQ(AllText(lines), u"ab\uFFFDcd\uFFFD");
    EXPECT_EQ(missing.run.err.find("fndl: 2 characters DejaVu Sans cannot print, first U+4E2D at "
                                   "text offset 2; printed as U+FFFD\n"),
              0u)
        << missing.run.err;
    EXPECT_EQ(missing.run.err.find("U+4E2D", missing.run.err.find('\n')), std::string::npos)
        << "reported once";
}

// A cover page names whose job it is under the title, in type to read
// from across the room (36 pt), and a form field too long for its line is
// cut with an ellipsis.
TEST(ToolJob, CoverPageShowsItsOwnerLargeAndCutsWithAnEllipsis)
{
    TempPath spec(".txt");
    const std::string text = "heading\tQuarterly report\nowner\talice\nfield\tTitle\t" +
                             std::string(40, 'w') + " " + std::string(40, 'w') + "\n";
    spec.Write(std::vector<uint8_t>(text.begin(), text.end()));
    Job job;
    RunJob(job, {"--cover", spec.path});
    double size = 0;
    double ownerSize = 0;
    std::u16string field;
    for (const XLOperation &op : job.ops) {
        if (op.op == kOpSetFont)
            size = op.Find(kAttrCharSize)->value.numbers[0];
        if (op.op != kOpText)
            continue;
        std::u16string set;
        for (const double code : op.Find(kAttrTextData)->value.numbers)
            set += static_cast<char16_t>(code);
        if (set == u"alice")
            ownerSize = size;
        if (set.starts_with(u"www"))
            field = set;
    }
    EXPECT_EQ(ownerSize, 300.0); // 36 pt at 600 dpi
    ASSERT_FALSE(field.empty());
    EXPECT_EQ(field.back(), u'\u2026');
    EXPECT_LT(field.size(), 82u);
}

// The cover page's lines break at the last space that fits: a long notice
// comes back from its lines joined by spaces, no word cut; a heading word
// wider than the page is cut into pieces that make it up again.
TEST(ToolJob, CoverLinesBreakAtSpacesAndCutOnlyWordsTooWide)
{
    TempPath spec(".txt");
    std::string notice;
    for (int i = 0; i < 40; ++i)
        notice += (i > 0 ? " word" : "word") + std::to_string(i);
    const std::string heading(40, 'H');
    const std::string text = "heading\t" + heading + "\nnotice\t" + notice + "\n";
    spec.Write(std::vector<uint8_t>(text.begin(), text.end()));
    Job job;
    RunJob(job, {"--cover", spec.path});
    std::vector<std::u16string> noticeLines;
    std::u16string headingPieces;
    size_t headingLines = 0;
    for (const XLOperation &op : job.ops) {
        if (op.op != kOpText)
            continue;
        std::u16string set;
        for (const double code : op.Find(kAttrTextData)->value.numbers)
            set += static_cast<char16_t>(code);
        if (set.starts_with(u"word"))
            noticeLines.push_back(set);
        if (!set.empty() && set.find_first_not_of(u'H') == std::u16string::npos) {
            headingPieces += set;
            ++headingLines;
        }
    }
    ASSERT_GE(noticeLines.size(), 2u);
    std::u16string joined;
    for (const std::u16string &line : noticeLines)
        joined += (joined.empty() ? u"" : u" ") + line;
    EXPECT_EQ(joined, std::u16string(notice.begin(), notice.end()));
    EXPECT_GE(headingLines, 2u);
    EXPECT_EQ(headingPieces, std::u16string(heading.begin(), heading.end()));
}

// Fallback goes by run: a line of one script the main font lacks is one
// Text in one font, its spaces, digits and punctuation kept in it; Han
// beside kana takes the font chosen for Japanese, the same as the kana's;
// the Devanagari danda stays in the Devanagari font.
TEST(ToolJob, FallbackFontsAreChosenByRunAndScript)
{
    struct Case {
        const char *text;
        size_t texts;      // Text operators
        size_t fonts;      // soft fonts sent
    };
    for (const Case &line : {Case{"\xE4\xB8\xAD\xE6\x96\x87 \xE6\x96\x87\xE6\x9C\xAC 2026\xE3\x80\x82 \xE6\xB5\x8B\xE8\xAF\x95", 1, 1},
                             Case{"\xE1\x88\xB0\xE1\x88\x8B\xE1\x88\x9D \xE1\x88\x88\xE1\x8B\x93\xE1\x88\x88\xE1\x88\x9D \xE1\x8D\xA2", 1, 1},
                             Case{"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE6\x96\x87 \xE3\x81\xA7\xE3\x81\x99\xE3\x80\x82", 1, 1}}) {
        Job job;
        RunJob(job, {"--text", line.text});
        EXPECT_EQ(Count(job.ops, kOpText), line.texts) << line.text;
        EXPECT_EQ(Count(job.ops, kOpBeginFontHeader), line.fonts) << line.text;
        EXPECT_EQ(AllText(TextLines(job.ops)), Utf16(line.text));
    }
    Job hindi;
    RunJob(hindi, {"--text", "\xE0\xA4\xA8\xE0\xA4\xAE\xE0\xA4\xB8\xE0\xA5\x8D\xE0\xA4\xA4\xE0\xA5\x87 "
                             "\xE0\xA4\xA6\xE0\xA5\x81\xE0\xA4\xA8\xE0\xA4\xBF\xE0\xA4\xAF\xE0\xA4\xBE\xE0\xA5\xA4"});
    EXPECT_EQ(Count(hindi.ops, kOpText), 1u);
    EXPECT_EQ(Count(hindi.ops, kOpBeginFontHeader), 1u);
}

TEST(ToolJob, FallbackSetsEveryCharacterAnInstalledFontHas)
{
    // Latin, CJK, Hangul, Greek and symbols, twice over two lines: each run
    // the main font lacks goes to a font that has it, on the same line.
    const std::string line = "Tokyo \xE6\x9D\xB1\xE4\xBA\xAC, Seoul \xEC\x84\x9C\xEC\x9A\xB8, "
                             "\xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1 \xE2\x98\x83 x";
    Job job;
    RunJob(job, {"--text", line + "\n" + line + "\xCD\xB8"});
    const std::u16string expected = Utf16(line + line) + u"\uFFFD";
    const std::vector<TextLine> lines = TextLines(job.ops);
    EXPECT_EQ(AllText(lines), expected);
    std::vector<std::string> names;
    for (const XLOperation &op : job.ops) {
        if (op.op == kOpBeginFontHeader)
            names.push_back(NameOf(op));
    }
    ASSERT_GE(names.size(), 2u);
    EXPECT_EQ(names[0], "OT:1:DejaVu Sans:n");
    EXPECT_EQ(names[1].rfind("OT:2:", 0), 0u) << names[1];
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::unique(names.begin(), names.end()), names.end()) << "each font once";
    EXPECT_EQ(Count(job.ops, kOpBeginPage), 1u);
    // Runs follow each other on the row: "Tokyo " ends where the ideographs start.
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, u"Tokyo ");
    EXPECT_EQ(lines[1].x, lines[0].endX);
    EXPECT_EQ(lines[1].y, lines[0].y);
    // U+0378 is no character: reported, printed as U+FFFD; --strict refuses
    // the job and leaves the file as it was.
    EXPECT_EQ(job.run.err.find("fndl: 1 character no installed font can print, first U+0378"), 0u)
        << job.run.err;
    const ToolRun strict =
        RunTool({"job", "--strict", "--text", "a\xCD\xB8", "-o", job.file.path});
    EXPECT_EQ(strict.exitCode, 1);
    EXPECT_EQ(job.file.Read(), job.bytes);
    // One line in several fonts is one line.
    EXPECT_NE(job.run.err.find(": 1 page, 2 lines, "), std::string::npos) << job.run.err;

    // A font that claims characters the library cannot map (its only cmap is
    // format 12, which fontconfig reads and the library does not): each goes
    // to the next font that has it, nothing is left out.
    TempDir fonts;
    std::filesystem::create_directories(fonts.path.path);
    FontBuilder claiming = MakeSampleFont({.glyphs = {ByteList({}), MakeSimpleGlyph({{0, 0}, {500, 700}, {900, 0}}),
                                                      MakeSimpleGlyph({{0, 0}, {400, 700}, {800, 0}})},
                                           .familyName = "Claims Much"});
    SetTable(claiming, "cmap",
             MakeCmap({{3, 10, MakeCmapFormat12({{'a', 'a', 1}, {0x4E2D, 0x4E2D, 2}})}}));
    {
        const Bytes font = BuildFont(claiming);
        std::ofstream out(fonts.path.path + "/claims.ttf", std::ios::binary);
        out.write(reinterpret_cast<const char *>(font.data()), static_cast<std::streamsize>(font.size()));
    }
    std::ofstream(fonts.path.path + "/fonts.conf")
        << "<fontconfig><include>/etc/fonts/fonts.conf</include><dir>" << fonts.path.path
        << "</dir><cachedir>" << fonts.path.path << "/cache</cachedir></fontconfig>";
    setenv("FONTCONFIG_FILE", (fonts.path.path + "/fonts.conf").c_str(), 1);
    Job rejected;
    RunJob(rejected, {"--font", "Claims Much", "--text", "a\xE4\xB8\xAD"});
    unsetenv("FONTCONFIG_FILE");
    const std::vector<TextLine> rejectedLines = TextLines(rejected.ops);
    EXPECT_EQ(AllText(rejectedLines), u"a\u4E2D");
    ASSERT_EQ(rejectedLines.size(), 2u);
    EXPECT_EQ(rejectedLines[1].x, rejectedLines[0].endX);
    EXPECT_EQ(rejectedLines[1].y, rejectedLines[0].y);
    EXPECT_EQ(rejected.run.err.find("left out"), std::string::npos) << rejected.run.err;
    // A font goes to the printer only with a character set in it: the
    // header of a font that set nothing is taken back.
    for (const XLOperation &header : rejected.ops) {
        if (header.op != kOpBeginFontHeader)
            continue;
        EXPECT_TRUE(std::any_of(rejected.ops.begin(), rejected.ops.end(), [&](const XLOperation &op) {
            return op.op == kOpBeginChar && NameOf(op) == NameOf(header);
        })) << NameOf(header);
    }

}

TEST(ToolJob, MeasuresWithoutAScratchFile)
{
    // The cover page's centring, a text's tab stops and a shaped line's
    // runs are measured by asking the library, not by setting them into a
    // scratch file: none is made in the temporary folder, which here does
    // not exist.
    TempPath spec(".txt");
    const std::string description = "heading\tQuarterly report\nrow\tUser\troot\n";
    spec.Write(std::vector<uint8_t>(description.begin(), description.end()));
    Job cover, text;
    const char *saved = std::getenv("TMPDIR");
    const std::string previous = saved != nullptr ? saved : "";
    setenv("TMPDIR", "/nonexistent/fndl-tmp", 1);
    RunJob(cover, {"--cover", spec.path});
    RunJob(text, {"--text", "a\tb \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D c"});
    if (saved != nullptr)
        setenv("TMPDIR", previous.c_str(), 1);
    else
        unsetenv("TMPDIR");
    EXPECT_FALSE(TextLines(cover.ops).empty());
    EXPECT_FALSE(TextLines(text.ops).empty());
}

// A reader that goes away leaves no work file behind, as a cancel does;
// a TMPDIR that is missing is named as such.
TEST(ToolJob, ABrokenPipeLeavesNoWorkFileAndAMissingTmpdirIsNamed)
{
    TempDir directory;
    std::filesystem::create_directory(directory.path.path);
    TempPath textFile(".txt");
    std::string text;
    for (int i = 0; i < 20000; ++i)
        text += "\xE4\xB8\xAD\xE6\x96\x87 "; // CJK: a big job
    textFile.Write(std::vector<uint8_t>(text.begin(), text.end()));
    const std::string command = "TMPDIR='" + directory.path.path + "' '" + FNDL_TOOL_PATH +
                                "' job -q --text-file '" + textFile.path +
                                "' -o - | head -c 1000 > /dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_TRUE(std::filesystem::is_empty(directory.path.path)) << "work file left";

    const std::string missing = directory.path.path + "/missing";
    std::FILE *errors = popen(("TMPDIR='" + missing + "' '" + FNDL_TOOL_PATH +
                               "' job --text x -o - 2>&1 >/dev/null").c_str(),
                              "r");
    ASSERT_NE(errors, nullptr);
    std::string err;
    for (int c; (c = std::fgetc(errors)) != EOF;)
        err += static_cast<char>(c);
    EXPECT_EQ(WEXITSTATUS(pclose(errors)), 1);
    EXPECT_EQ(err, "fndl: cannot write standard output: no work file can be made in TMPDIR '" +
                       missing + "': No such file or directory\n");
}

TEST(ToolJob, PipelinesAndTheOutputFile)
{
    // Standard input to standard output, every message on stderr.
    TempPath textFile(".txt");
    const std::string text = "piped\n";
    textFile.Write(std::vector<uint8_t>(text.begin(), text.end()));
    ToolRun run = RunTool({"job", "--text-file", "-", "-o", "-"}, textFile.path);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::vector<uint8_t> piped(run.out.begin(), run.out.end());
    EXPECT_EQ(AllText(TextLines(Decode(piped))), u"piped");
    EXPECT_NE(run.err.find("standard output: 1 page"), std::string::npos) << run.err;

    // A failing job leaves the file as it was and no work file beside it.
    TempDir directory;
    std::filesystem::create_directory(directory.path.path);
    const std::string output = directory.path.path + "/job.pxl";
    const std::string notAFont = directory.path.path + "/font.ttf";
    const std::vector<uint8_t> before = {'o', 'l', 'd'};
    std::FILE *file = std::fopen(output.c_str(), "wb");
    std::fwrite(before.data(), 1, before.size(), file);
    std::fclose(file);
    file = std::fopen(notAFont.c_str(), "wb");
    std::fputs("not a font", file);
    std::fclose(file);
    run = RunTool({"job", "--font-file", notAFont, "-o", output});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("it is not a font file"), std::string::npos) << run.err;
    size_t files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(directory.path.path))
        files += entry.is_regular_file() ? 1 : 0;
    EXPECT_EQ(files, 2u);
    file = std::fopen(output.c_str(), "rb");
    char kept[8] = {};
    EXPECT_EQ(std::fread(kept, 1, sizeof kept, file), 3u);
    std::fclose(file);

    // An output that is one of the inputs is refused before it is touched.
    run = RunTool({"job", "--font-file", notAFont, "-o", notAFont});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("is one of the inputs"), std::string::npos) << run.err;
    run = RunTool({"job", "--text-file", output, "-o", output});
    EXPECT_EQ(run.exitCode, 2);
}

TEST(ToolJob, TextFilesAndTextsTheLibraryCannotTake)
{
    // A byte order mark, CR LF and CR line ends, a tab, and a character
    // outside the BMP: its line goes out as glyphs.
    TempPath textFile(".txt");
    const std::string text = "\xEF\xBB\xBF"
                             "a\tb\r\nc\rd\xF0\x9F\x98\x80"
                             "e\n";
    textFile.Write(std::vector<uint8_t>(text.begin(), text.end()));
    Job job;
    RunJob(job, {"--text-file", textFile.path});
    const std::vector<TextLine> lines = TextLines(job.ops);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(AllText(lines).substr(0, 3), u"abc");
    EXPECT_EQ(lines[3].text.size(), 3u);
    // The tab moves b to the stop 8 spaces (of 32 dots) from the margin.
    EXPECT_EQ(lines[1].x, 300 + 8 * 32);
    EXPECT_EQ(lines[1].y, lines[0].y);
    EXPECT_EQ(lines[2].y, lines[1].y + 120);
    EXPECT_EQ(lines[3].y, lines[2].y + 120);
    EXPECT_EQ(job.run.err.find("U+1F600"), std::string::npos) << job.run.err;

    // Tab stops every 8 columns of a monospaced font, past the right limit
    // on the next line; form feeds end pages, a last one adds none.
    textFile.Write(ByteList({'a', '\t', 'b', '\n', '1', '2', '3', '4', '5', '6', '7', '8', '9',
                             '\t', 'c', '\f', 'd', '\f', '\n'}));
    Job tabs;
    RunJob(tabs, {"--font", "DejaVu Sans Mono", "--text-file", textFile.path});
    const std::vector<TextLine> tabLines = TextLines(tabs.ops);
    ASSERT_EQ(tabLines.size(), 5u);
    EXPECT_EQ(tabLines[1].x, 300 + 8 * 60);
    EXPECT_EQ(tabLines[3].x, 300 + 16 * 60);
    EXPECT_EQ(tabLines[4].page, tabLines[3].page + 1);
    EXPECT_EQ(Count(tabs.ops, kOpBeginPage), 2u);
    textFile.Write(ByteList({'\f', '\n'}));
    Job formFeed;
    RunJob(formFeed, {"--text-file", textFile.path});
    EXPECT_EQ(Count(formFeed.ops, kOpBeginPage), 1u);

    // Bytes that are not UTF-8 text: NULs dropped, a stray byte in UTF-8
    // as U+FFFD, Windows-1252 text as such, each with one warning.
    const std::string nul("x\0y\0", 4);
    textFile.Write(std::vector<uint8_t>(nul.begin(), nul.end()));
    Job nuls;
    RunJob(nuls, {"--text-file", textFile.path});
    EXPECT_EQ(AllText(TextLines(nuls.ops)), u"xy");
    EXPECT_NE(nuls.run.err.find("holds 2 NUL characters: left out"), std::string::npos) << nuls.run.err;
    const std::string stray = "caf\xC3\xA9 \xFF";
    textFile.Write(std::vector<uint8_t>(stray.begin(), stray.end()));
    Job replaced;
    RunJob(replaced, {"--text-file", textFile.path});
    EXPECT_EQ(AllText(TextLines(replaced.ops)), u"caf\u00E9 \uFFFD");
    EXPECT_NE(replaced.run.err.find("1 ill-formed UTF-8 sequence printed as U+FFFD"),
              std::string::npos) << replaced.run.err;
    const std::string latin1 = "caf\xE9 \x93q\x94 \x80";
    textFile.Write(std::vector<uint8_t>(latin1.begin(), latin1.end()));
    Job windows;
    RunJob(windows, {"--text-file", textFile.path});
    EXPECT_EQ(AllText(TextLines(windows.ops)), u"caf\u00E9 \u201Cq\u201D \u20AC");
    EXPECT_NE(windows.run.err.find("is not UTF-8: read as Windows-1252"), std::string::npos)
        << windows.run.err;
    Job named;
    RunJob(named, {"--encoding", "ISO-8859-15", "--text-file", textFile.path});
    EXPECT_EQ(AllText(TextLines(named.ops)).substr(0, 4), u"caf\u00E9");
    // The decision is a line's: Windows-1252 lines outnumbering UTF-8 ones
    // leave the UTF-8 line whole (and a line longer than a decision piece
    // is cut between sequences, never inside one).
    const std::string mixed = "d\xE9j\xE0 \xE9t\xE9\ncaf\xC3\xA9 \xE2\x82\xAC\n\xE0 \xE9\n" +
                              std::string(65535, 'x') + "\xC3\xA9";
    textFile.Write(std::vector<uint8_t>(mixed.begin(), mixed.end()));
    Job perLine;
    RunJob(perLine, {"--text-file", textFile.path});
    const std::u16string perLineText = AllText(TextLines(perLine.ops));
    EXPECT_EQ(perLineText.substr(0, 21), u"d\u00E9j\u00E0 \u00E9t\u00E9caf\u00E9 \u20AC\u00E0 \u00E9xxxx");
    EXPECT_EQ(perLineText.substr(perLineText.size() - 2), u"x\u00E9");
    EXPECT_NE(perLine.run.err.find("2 lines are not UTF-8: read as Windows-1252 (Latin-1), the 2 with "
                                   "UTF-8 as UTF-8"),
              std::string::npos)
        << perLine.run.err;
    ToolRun run = RunTool({"job", "--encoding", "no-such", "--text-file", textFile.path, "-o",
                           job.file.path});
    EXPECT_EQ(run.exitCode, 2);

    // A first line below the bottom limit would start page after page.
    run = RunTool({"job", "--cursor", "300,7000", "--text", "x", "-o", job.file.path});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("no line fits on a page"), std::string::npos) << run.err;
}

// Encodings iconv reads with a state: a character a buffering encoding
// holds back comes out at the end, a stateful one starts afresh after a
// byte it cannot read; a UTF-16 byte order mark reads as UTF-16.
TEST(ToolJob, EncodingsWithAStateOrAByteOrderMarkDecodeWhole)
{
    TempPath textFile(".txt");
    const auto textOf = [&](const std::string &bytes, std::vector<std::string> options) {
        textFile.Write(std::vector<uint8_t>(bytes.begin(), bytes.end()));
        options.insert(options.end(), {"--text-file", textFile.path});
        Job job;
        RunJob(job, options);
        return AllText(TextLines(job.ops));
    };
    for (const char *buffering : {"CP1258", "TCVN5712-1"})
        EXPECT_EQ(textOf("Hello world", {"--encoding", buffering}), u"Hello world") << buffering;
    EXPECT_EQ(textOf("a+AGE\xFF\nb+AGE-c\n", {"--encoding", "UTF-7"}), u"aa\uFFFDbac");
    EXPECT_EQ(textOf(std::string("\xFF\xFEH\0i\0", 6), {}), u"Hi");
    EXPECT_EQ(textOf(std::string("\xFE\xFF\0H\0i", 6), {}), u"Hi");
}

TEST(ToolJob, TextFilesAreReadInPiecesThatJoinUpToTheWholeText)
{
    // A text over two of the reader's 64 KiB blocks, set whole from --text
    // and read block by block: from a file with a byte order mark and CR LF
    // line ends, CR LF pairs cut by the first block's end, and through a
    // pipe, a three-byte character cut there. Blank lines, a tab and a form feed
    // fall in later pieces. The jobs are the same to the byte.
    constexpr size_t kBlock = 65536;
    const char *words[] = {"soft",  "font",    "d\xC3\xA9j\xC3\xA0",
                           "glyph", "printer", "\xE2\x82\xAC\x35"};
    std::string text;
    size_t newLines = 0;
    const auto textSize = [&] { return text.size(); };
    const auto fileSize = [&] { return 3 + text.size() + newLines; }; // a BOM, CR LF
    const auto addLines = [&](auto size, size_t until) {
        for (unsigned i = 0; size() < until; ++i) {
            text += words[(i * 7 + i / 5) % 6];
            const bool lineEnd = i % 11 == 10;
            text += lineEnd ? '\n' : ' ';
            newLines += lineEnd ? 1 : 0;
        }
    };
    // In the file, CR LF every three bytes around the first block's end.
    addLines(fileSize, kBlock - 80);
    text.append(kBlock - 7 - fileSize(), 'y');
    text += "\nx\nx\nx\n";
    newLines += 4;
    // Through the pipe "\xE2\x82\xAC" starts two bytes before the block end.
    addLines(textSize, kBlock - 80);
    text.append(kBlock - 2 - text.size(), 'x');
    text += "\xE2\x82\xAC\n\n\n\tz\n";
    newLines += 4;
    addLines(textSize, 110000);
    text += "\f\n";
    addLines(textSize, 120000);
    ASSERT_EQ(text.substr(kBlock - 2, 3), "\xE2\x82\xAC");

    Job whole;
    RunJob(whole, {"--text", text});
    std::string crlf = "\xEF\xBB\xBF";
    for (const char c : text)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    ASSERT_EQ(crlf.substr(kBlock - 1, 2), "\r\n");
    TempPath textFile(".txt");
    textFile.Write(std::vector<uint8_t>(crlf.begin(), crlf.end()));
    Job file;
    RunJob(file, {"--text-file", textFile.path});
    EXPECT_EQ(file.bytes, whole.bytes);

    textFile.Write(std::vector<uint8_t>(text.begin(), text.end()));
    TempPath piped(".pxl");
    const std::string command = "cat " + textFile.path + " | " + FNDL_TOOL_PATH +
                                " job -q --text-file - -o " + piped.path;
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(piped.Read(), whole.bytes);
}

TEST(ToolJob, OptionsReachTheRecords)
{
    Job bold;
    RunJob(bold, {"--synthetic-bold", "--oblique", "--height", "240", "--text", "Hi"});
    const XLOperation *boldValue = First(bold.ops, kOpSetCharBoldValue);
    ASSERT_NE(boldValue, nullptr);
    EXPECT_FLOAT_EQ(static_cast<float>(boldValue->Find(kAttrCharBoldValue)->value.numbers[0]),
                    0.01f);
    const XLOperation *shear = First(bold.ops, kOpSetCharShear);
    ASSERT_NE(shear, nullptr);
    EXPECT_FLOAT_EQ(static_cast<float>(shear->Find(kAttrCharShear)->value.numbers[0]), 0.1583f);
    const XLOperation *setFont = First(bold.ops, kOpSetFont);
    ASSERT_NE(setFont, nullptr);
    EXPECT_EQ(setFont->Find(kAttrCharSize)->value.numbers[0], 200.0);
    // The slant goes on the regular face, named by its file.
    EXPECT_EQ(NameOf(*First(bold.ops, kOpBeginFontHeader)),
              std::string("OT:1:") + kDejaVuSans + ":n");
    // --bold and --italic choose faces and slant nothing.
    Job faces;
    RunJob(faces, {"--bold", "--italic", "--text", "Hi"});
    EXPECT_EQ(First(faces.ops, kOpSetCharShear)->Find(kAttrCharShear)->value.numbers[0], 0.0);
    EXPECT_NE(faces.bytes, bold.bytes);

    Job fromFile;
    RunJob(fromFile, {"--font-file", kDejaVuSans, "--font-id", "26", "--media", "Letter",
                      "--resolution", "300", "--underline", "--text", "Hi"});
    ASSERT_NE(First(fromFile.ops, kOpBeginFontHeader), nullptr);
    EXPECT_EQ(NameOf(*First(fromFile.ops, kOpBeginFontHeader)),
              std::string("OT:1a:") + kDejaVuSans + ":n");
    EXPECT_TRUE(Contains(fromFile.bytes, ByteList({0xD1, 0x2C, 0x01, 0x2C, 0x01, 0xF8, 0x89})));
    EXPECT_TRUE(Contains(fromFile.bytes, ByteList({0xC0, 0x00, 0xF8, 0x25, 0x43}))); // Letter
    EXPECT_EQ(Count(fromFile.ops, kOpRectanglePath), 1u);
    // CharSize at 300 dpi: 12 * 300 / 72.
    EXPECT_EQ(First(fromFile.ops, kOpSetFont)->Find(kAttrCharSize)->value.numbers[0], 50.0);
    // On Letter paper the first line half an inch in and, below the half
    // inch margin, four fifths of the character size down.
    const std::vector<TextLine> lines = TextLines(fromFile.ops);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].x, 150);
    EXPECT_EQ(lines[0].y, 150 + 50 - 10); // four fifths of the character size down
    // The page origin puts the library's limits at this resolution inside
    // the margins (at 600 dpi's limits no line fitted).
    Job landscape;
    RunJob(landscape, {"--landscape", "--resolution", "300", "--text", "Hi"});
    EXPECT_EQ(TextLines(landscape.ops).size(), 1u);
}

// Cover rows past the page's end are left out with one warning naming the
// first of them, not silently.
TEST(ToolJob, CoverRowsThatDoNotFitAreReported)
{
    TempPath cover(".txt");
    std::string spec = "heading\tTitle\nrow\tUser\tme\nrow\tOptions\t";
    for (int i = 0; i < 900; ++i)
        spec += "opt=value ";
    spec += "\nrow\tCreated On\tx\nfield\tSignature\t\n";
    cover.Write(std::vector<uint8_t>(spec.begin(), spec.end()));
    Job job;
    RunJob(job, {"--cover", cover.path});
    EXPECT_NE(job.run.err.find("fndl: 3 rows of the cover page do not fit on it, from 'Options' "
                               "on: left out\n"),
              std::string::npos)
        << job.run.err;
    const std::u16string text = AllText(TextLines(job.ops));
    EXPECT_NE(text.find(u"User"), std::u16string::npos);
    EXPECT_EQ(text.find(u"Created"), std::u16string::npos);
}

TEST(ToolJob, FilterOptionsFrameThePages)
{
    // The options a print filter passes: PJL envelope, Legal landscape pages
    // with margins, pitch, a header line per page, a page log on stderr.
    TempPath job;
    const ToolRun run = RunTool({"job", "-q", "--pjl", "--job-name", "a\"b\x01" "c", "--copies", "2",
                                 "--media", "Legal", "--landscape", "--page-left", "36",
                                 "--page-top", "18", "--page-bottom", "18", "--cpi", "12", "--lpi",
                                 "8", "--header", "Title", "--page-log", "--text", "x\fy", "-o",
                                 job.path});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "PAGE: 1 2\nPAGE: 2 2\n");
    const std::vector<uint8_t> bytes = job.Read();
    const std::string text(bytes.begin(), bytes.end());
    const std::string start = "\x1B%-12345X@PJL JOB NAME=\"abc\"\r\n@PJL SET RESOLUTION=600\r\n"
                              "@PJL SET COPIES=2\r\n@PJL ENTER LANGUAGE=PCLXL\r\n) HP-PCL XL;";
    EXPECT_EQ(text.rfind(start, 0), 0u);
    const std::string end = "\x1B%-12345X@PJL EOJ NAME=\"abc\"\r\n\x1B%-12345X";
    EXPECT_EQ(text.substr(text.size() - end.size()), end);
    const std::vector<XLOperation> ops = Decode(bytes);
    // Landscape (1) Legal (1), the text 36 pt from the left (300 dots) and
    // the first baseline 18 pt and four fifths of a character size down.
    EXPECT_TRUE(Contains(bytes, ByteList({0xC0, 0x01, 0xF8, 0x28, 0xC0, 0x01, 0xF8, 0x25, 0x43})));
    EXPECT_EQ(Count(ops, kOpSetPageOrigin), 0u);
    const std::vector<TextLine> lines = TextLines(ops);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].x, 300);
    EXPECT_EQ(lines[0].y, 150 + 83 - 16);
    EXPECT_EQ(lines[0].text.rfind(u"Title    ", 0), 0u);
    EXPECT_EQ(lines[0].text.substr(lines[0].text.size() - 11), u"Page 1 of 2");
    EXPECT_EQ(lines[1].text, u"x");
    EXPECT_EQ(lines[1].y, lines[0].y + 2 * 75); // 8 lines per inch
    EXPECT_EQ(lines[3].text, u"y");
    EXPECT_EQ(lines[2].text.substr(lines[2].text.size() - 11), u"Page 2 of 2");
    // 12 characters per inch: 10 pt, 83 dots at 600 dpi.
    EXPECT_EQ(First(ops, kOpSetFont)->Find(kAttrCharSize)->value.numbers[0], 83.0);
}

TEST(ToolJob, PaperOrientationAndPageSelection)
{
    // Each paper goes to BeginPage with its MediaSize code, each orientation
    // with its own; a size the printer cannot be told is refused.
    const std::pair<const char *, int> papers[] = {{"A4", 2},  {"letter", 0}, {"Legal", 1},
                                                   {"A5", 16}, {"A3", 5},     {"B5", 11},
                                                   {"Executive", 3}, {"Tabloid", 4}};
    const char *orientations[] = {"portrait", "landscape", "reverse-portrait", "reverse-landscape"};
    for (size_t i = 0; i < std::size(papers); ++i) {
        Job paper;
        RunJob(paper, {"--media", papers[i].first, "--orientation", orientations[i % 4], "--text", "x"});
        const XLOperation *page = First(paper.ops, kOpBeginPage);
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->Find(kAttrMediaSize)->value.numbers.at(0), papers[i].second) << papers[i].first;
        EXPECT_EQ(page->Find(kAttrOrientation)->value.numbers.at(0), static_cast<double>(i % 4));
    }
    ToolRun run = RunTool({"job", "--media", "iso_b4_250x353mm", "--text", "x", "-o", "-"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("the printer cannot be told the paper 'iso_b4_250x353mm'"),
              std::string::npos) << run.err;

    // The page box is the paper less the margins: on Legal with half-inch
    // margins, baselines from 300 + 80 to 8400 - 300 - 20 every 120 dots.
    std::string numbers;
    for (int n = 1; n <= 200; ++n)
        numbers += std::to_string(n) + "\n";
    Job legal;
    RunJob(legal, {"--media", "Legal", "--text", numbers});
    std::vector<TextLine> lines = TextLines(legal.ops);
    ASSERT_GT(lines.size(), 66u);
    EXPECT_EQ(lines[0].y, 380);
    EXPECT_EQ(lines[64].y, 380 + 64 * 120);
    EXPECT_EQ(lines[64].page, lines[0].page);
    EXPECT_EQ(lines[65].page, lines[0].page + 1);

    // Page ranges and odd or even pages: the pages left out send nothing,
    // their fonts and characters go with the first printed page that sets
    // them. A4 holds 53 lines a page.
    Job ranges;
    RunJob(ranges, {"--media", "A4", "--page-ranges", "2-3", "--text", numbers});
    lines = TextLines(ranges.ops);
    EXPECT_EQ(Count(ranges.ops, kOpBeginPage), 2u);
    EXPECT_EQ(lines.front().text, u"54");
    EXPECT_EQ(lines.back().text, u"159");
    EXPECT_GT(std::find_if(ranges.ops.begin(), ranges.ops.end(),
                           [](const XLOperation &op) { return op.op == kOpBeginFontHeader; }) -
                  ranges.ops.begin(),
              std::find_if(ranges.ops.begin(), ranges.ops.end(),
                           [](const XLOperation &op) { return op.op == kOpBeginPage; }) -
                  ranges.ops.begin());
    Job secondOnly;
    RunJob(secondOnly, {"--page-ranges", "2", "--text", "Q\fx"});
    EXPECT_EQ(Count(secondOnly.ops, kOpBeginPage), 1u);
    EXPECT_EQ(Count(secondOnly.ops, kOpReadChar), 1u); // x: Q, set on page 1 only, is not sent
    Job even;
    RunJob(even, {"--media", "A4", "--page-set", "even", "--page-log", "--text", numbers});
    EXPECT_EQ(Count(even.ops, kOpBeginPage), 2u); // pages 2 and 4 of 4
    EXPECT_EQ(TextLines(even.ops).back().text, u"200");
    EXPECT_EQ(even.run.err.substr(0, 22), "PAGE: 1 1\nPAGE: 2 1\nfn");

    // Number-up: pages scaled into the cells of a sheet, each in its own
    // graphics state; two a sheet turn the sheet.
    Job twoUp;
    RunJob(twoUp, {"--number-up", "2", "--text", numbers});
    EXPECT_EQ(Count(twoUp.ops, kOpBeginPage), 2u);
    EXPECT_EQ(First(twoUp.ops, kOpBeginPage)->Find(kAttrOrientation)->value.numbers.at(0), 1.0);
    EXPECT_EQ(Count(twoUp.ops, kOpPushGS), 4u);
    EXPECT_EQ(Count(twoUp.ops, kOpPopGS), 4u);
    EXPECT_NEAR(First(twoUp.ops, kOpSetPageScale)->Find(kAttrPageScale)->value.numbers.at(0),
                0.7071, 1e-3);
    std::vector<std::vector<double>> origins;
    for (const XLOperation &op : twoUp.ops) {
        if (op.op == kOpSetPageOrigin)
            origins.push_back(op.Find(kAttrPageOrigin)->value.numbers);
    }
    ASSERT_GE(origins.size(), 2u);
    EXPECT_EQ(origins[1], (std::vector<double>{3508, 0}));
    Job fourUp;
    RunJob(fourUp, {"--number-up", "4", "--number-up-layout", "tblr", "--text", numbers});
    EXPECT_EQ(Count(fourUp.ops, kOpBeginPage), 1u);
    origins.clear();
    for (const XLOperation &op : fourUp.ops) {
        if (op.op == kOpSetPageOrigin)
            origins.push_back(op.Find(kAttrPageOrigin)->value.numbers);
    }
    ASSERT_EQ(origins.size(), 4u);
    EXPECT_EQ(origins[1], (std::vector<double>{0, 3508})); // top to bottom first
    EXPECT_EQ(origins[2], (std::vector<double>{2480, 0}));

    // Columns: the second column's frame moved across by a column and a gap.
    Job columns;
    RunJob(columns, {"--columns", "2", "--text", numbers});
    EXPECT_EQ(Count(columns.ops, kOpBeginPage), 2u); // 106 lines a page
    const XLOperation *second = First(columns.ops, kOpSetPageOrigin);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->Find(kAttrPageOrigin)->value.numbers.at(0), (4960 - 600 - 150) / 2 + 150);

    // A header with a long title stays one line, the title cut with "…".
    Job header;
    RunJob(header, {"--media", "A4", "--header", std::string(150, 'T'), "--text", "x"});
    lines = TextLines(header.ops);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].text.find(u"T\u2026    "), std::u16string::npos);
    EXPECT_EQ(lines[0].text.substr(lines[0].text.size() - 11), u"Page 1 of 1");

    // Pitch and margins out of range: usage errors, or clamped with --clamp.
    run = RunTool({"job", "--cpi", "0.5", "--text", "x", "-o", "-"});
    EXPECT_EQ(run.exitCode, 2);
    Job clamped;
    RunJob(clamped, {"--clamp", "--cpi", "0.5", "--lpi", "1000", "--page-left", "-5", "--text", "x"});
    EXPECT_NE(clamped.run.err.find("--cpi 0.5 is out of range: 1 is used"), std::string::npos);
    EXPECT_NE(clamped.run.err.find("--lpi 1000 is out of range: 100 is used"), std::string::npos);
    EXPECT_EQ(TextLines(clamped.ops).at(0).x, 0);
}

TEST(ToolDownload, AppendsBareCallsToAnExistingFile)
{
    TempPath file;
    const std::string header = ") HP-PCL XL;2;0;\r\n";
    file.Write(std::vector<uint8_t>(header.begin(), header.end()));
    ToolRun run = RunTool({"download", "--text", "Hi", "-o", file.path});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.rfind("result 0 (done): offset 0, cursor y 400, stop x 0, new page 0", 0), 0u)
        << run.out;
    std::vector<uint8_t> bytes = file.Read();
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + static_cast<long>(header.size())), header);
    std::vector<XLOperation> ops = Decode(bytes);
    EXPECT_EQ(Count(ops, kOpBeginPage), 0u);
    EXPECT_EQ(AllText(TextLines(ops)), u"Hi");

    run = RunTool({"remove", "--font-id", "3", "-o", file.path});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("RemoveFont \"OT:3:DejaVu Sans:n\""), std::string::npos) << run.out;
    ops = Decode(file.Read());
    ASSERT_FALSE(ops.empty());
    EXPECT_EQ(ops.back().op, kOpRemoveFont);
    EXPECT_EQ(Count(ops, kOpBeginFontHeader), 2u);

    // The bare output decodes on its own and has no framing to miss.
    TempPath bare;
    run = RunTool({"download", "--text", "x\xE4\xB8\xAD", "--offset", "0", "-o", bare.path});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.rfind("result 1 (stopped at a character without glyph): offset 1,", 0), 0u)
        << run.out;
    EXPECT_EQ(RunTool({"dump", bare.path}).exitCode, 0);

    run = RunTool({"download", "--text", std::string(512, 'x'), "-o", file.path});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("at most 511"), std::string::npos) << run.err;
}

TEST(ToolDump, ListsJobsAndNamesWhereAStreamBreaks)
{
    Job job;
    RunJob(job, {"--text", "Hello"});
    ToolRun run = RunTool({"dump", job.file.path});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("BeginFontHeader FontName=ubyte_array[18] \"OT:1:DejaVu Sans:n\""),
              std::string::npos);
    EXPECT_NE(run.out.find("font \"OT:1:DejaVu Sans:n\": format 0, 6253 glyphs"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("table hmtx offset"), std::string::npos);
    EXPECT_NE(run.out.find("char U+0048 glyph 43"), std::string::npos);

    run = RunTool({"dump", "--summary", job.file.path});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("sessions: 1, pages: 1"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("characters downloaded: 4"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("text: 1 line, 5 characters"), std::string::npos) << run.out;

    run = RunTool({"dump", "--json", job.file.path});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.front(), '{');
    EXPECT_NE(run.out.find("\"header\":\") HP-PCL XL;2;0;Comment fndl\""), std::string::npos);
    EXPECT_NE(run.out.find("\"operator\":\"SetFont\""), std::string::npos);
    EXPECT_NE(run.out.find("\"glyphs\":6253"), std::string::npos);
    EXPECT_NE(run.out.find("\"error\":null}"), std::string::npos);

    // Cut inside the font header's data: the decoder's offset is named.
    TempPath cut;
    cut.Write(std::vector<uint8_t>(job.bytes.begin(), job.bytes.begin() + 500));
    std::vector<XLOperation> ops;
    XLDecodeError error;
    ASSERT_FALSE(XLDecodeOperations(cut.Read(), ops, error));
    run = RunTool({"dump", cut.path});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("is malformed at byte " + std::to_string(error.offset) + ": "),
              std::string::npos)
        << run.err;
    run = RunTool({"dump", "--json", cut.path});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("\"error\":{\"offset\":" + std::to_string(error.offset)),
              std::string::npos);

    // Cut between operators: the stream decodes but the session is open.
    cut.Write(std::vector<uint8_t>(job.bytes.begin(), job.bytes.end() - 1));
    run = RunTool({"dump", "--summary", cut.path});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("the stream ends inside the session begun at byte"), std::string::npos)
        << run.err;

    // A GT segment that claims more bytes than the font header holds.
    std::vector<uint8_t> damaged = job.bytes;
    const std::vector<uint8_t> segment = ByteList({0x47, 0x54, 0x00, 0x00});
    const auto at = std::search(damaged.begin(), damaged.end(), segment.begin(), segment.end());
    ASSERT_NE(at, damaged.end());
    at[2] = 0x7F;
    cut.Write(damaged);
    run = RunTool({"dump", "--summary", cut.path});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("font 'OT:1:DejaVu Sans:n': segment 'GT' at header byte 8 claims"),
              std::string::npos)
        << run.err;

    // Operators after the session's end would be rejected by a printer.
    damaged = job.bytes;
    damaged.insert(damaged.end(), {0xC0, 0x00, 0xF8, 0x28, 0xC0, 0x02, 0xF8, 0x25, 0x43});
    cut.Write(damaged);
    run = RunTool({"dump", "--summary", cut.path});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("at byte " + std::to_string(job.bytes.size() + 8) +
                           ": BeginPage outside a session"),
              std::string::npos)
        << run.err;

    run = RunTool({"dump", "/nonexistent/job.pxl"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "fndl: cannot read '/nonexistent/job.pxl': No such file or directory\n");
}

TEST(ToolDump, ReadsJobsOfOtherProducersByTheRulesExtractApplies)
{
    // A PJL-wrapped job with a bitmap character (format 0: offsets, 8 x 2
    // dots, two rows) added for its soft font before the page ends.
    Job job;
    RunJob(job, {"--pjl", "--text", "Hi"});
    const std::string name = "OT:1:DejaVu Sans:n";
    std::vector<uint8_t> block = ByteList({0xC8, 0xC1, static_cast<int>(name.size()), 0});
    block.insert(block.end(), name.begin(), name.end());
    const std::vector<uint8_t> bitmap = ByteList({0, 0, 0, 0, 0, 8, 0, 8, 0, 2, 0xFF, 0x81});
    for (const int byte : {0xF8, 0xA8, 0x52, 0xC1, 0x41, 0x00, 0xF8, 0xA2, 0xC1,
                           static_cast<int>(bitmap.size()), 0x00, 0xF8, 0xA3, 0x53, 0xFB,
                           static_cast<int>(bitmap.size())})
        block.push_back(static_cast<uint8_t>(byte));
    block.insert(block.end(), bitmap.begin(), bitmap.end());
    block.push_back(0x54); // EndChar
    std::vector<uint8_t> bytes = job.bytes;
    const std::vector<uint8_t> end = ByteList({0x44, 0x49, 0x42, 0x1B});
    const auto at = std::search(bytes.begin(), bytes.end(), end.begin(), end.end());
    ASSERT_NE(at, bytes.end());
    bytes.insert(at, block.begin(), block.end());
    TempPath foreign;
    foreign.Write(bytes);
    ToolRun run = RunTool({"dump", foreign.path});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.rfind("       0  printer job language, ", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("char U+0041 bitmap 8 x 2, 12 bytes"), std::string::npos) << run.out;
    TempDir fonts;
    run = RunTool({"extract", foreign.path, "-d", fonts.path.path});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("bitmap characters left out: 1"), std::string::npos) << run.out;

    // A second font header without RemoveFont: both name the same fault.
    std::vector<uint8_t> twice = job.bytes;
    const std::vector<XLOperation> ops = job.ops;
    const XLOperation *header = First(ops, kOpBeginFontHeader);
    size_t headerEnd = 0;
    for (const XLOperation &op : ops) {
        if (op.op == 0x51) // EndFontHeader
            headerEnd = op.offset + 1;
    }
    size_t headerStart = header->offset;
    while (twice[headerStart - 1] != 0x63) // after the page's SetBrushSource
        --headerStart;
    twice.insert(twice.begin() + static_cast<long>(headerEnd), job.bytes.begin() + static_cast<long>(headerStart),
                 job.bytes.begin() + static_cast<long>(headerEnd));
    foreign.Write(twice);
    const std::string fault = "at byte " + std::to_string(headerEnd + header->offset - headerStart) +
                              ": font \"" + name + "\" is downloaded again without a RemoveFont";
    run = RunTool({"dump", "--summary", foreign.path});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(fault), std::string::npos) << run.err;
    run = RunTool({"extract", foreign.path, "-d", fonts.path.path});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find(fault), std::string::npos) << run.err;
}

TEST(ToolDump, CountsLinesAsJobDoesAndRefusesWhatIsNoJob)
{
    // A line set in two fonts is one line in both counts.
    Job job;
    RunJob(job, {"--text", "one\ntwo\nthree \xE4\xB8\xAD\xE6\x96\x87"});
    EXPECT_NE(job.run.err.find(": 1 page, 3 lines, 14 characters set"), std::string::npos)
        << job.run.err;
    ToolRun run = RunTool({"dump", "--summary", job.file.path});
    EXPECT_NE(run.out.find("text: 3 lines, 14 characters (4 Text operations)"), std::string::npos)
        << run.out;

    // Nothing is listed from a file that is no job.
    TempPath text;
    const std::string passwd = "root:x:0:0:root:/root:/bin/bash\n";
    text.Write(std::vector<uint8_t>(passwd.begin(), passwd.end()));
    for (const char *form : {"--summary", "--json", "-"}) {
        run = RunTool(std::string(form) == "-" ? std::vector<std::string>{"dump", text.path}
                                               : std::vector<std::string>{"dump", form, text.path});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, "") << form;
        EXPECT_EQ(run.err, "fndl: '" + text.path + "' is malformed at byte 0: not a PCL XL stream "
                           "or a PJL job: it starts with byte 0x72\n");
    }
    EXPECT_EQ(RunTool({"extract", text.path, "-d", text.path + ".d"}).exitCode, 1);
}

TEST(ToolReaders, ReadSeveralJobsOneAfterAnother)
{
    // A banner wrapped in PJL and a bare document, as a spooler passes them on.
    Job banner;
    RunJob(banner, {"--pjl", "--text", "Banner"});
    Job document;
    RunJob(document, {"--text", "Document"});
    std::vector<uint8_t> both = banner.bytes;
    both.insert(both.end(), document.bytes.begin(), document.bytes.end());
    TempPath file(".pxl");
    file.Write(both);
    ToolRun run = RunTool({"dump", "--summary", file.path});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("jobs: 2\nsessions: 2, pages: 2\nfonts: 2\n"), std::string::npos) << run.out;
    run = RunTool({"dump", file.path});
    EXPECT_NE(run.out.find(std::to_string(banner.bytes.size()) + "  stream header"), std::string::npos);

    TempDir fonts;
    run = RunTool({"extract", file.path, "-d", fonts.path.path});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("characters: 5: Baenr"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("OT_1_DejaVu_Sans_n-2.ttf\n  glyphs: 6253, sent: 8"), std::string::npos) << run.out;

    run = RunTool({"preview", file.path, "-o", fonts.path.path + "/page-%d.png"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "page 1: " + fonts.path.path + "/page-1.png (827 x 1170)\npage 2: " +
                           fonts.path.path + "/page-2.png (827 x 1170)\n");
}

TEST(ToolWhich, ResolvesFaceNamesToFontFiles)
{
    ToolRun run = RunTool({"which", "DejaVu Sans"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, std::string(kDejaVuSans) + "\nface index 0\nfamily DejaVu Sans\nstyle Book\n");
    EXPECT_EQ(run.err, "");
    run = RunTool({"which", "Frutiger"});
    EXPECT_NE(run.err.find("no font family 'Frutiger' is installed"), std::string::npos) << run.err;
    run = RunTool({"which", "DejaVu Sans", "--bold"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("DejaVuSans-Bold.ttf\n"), std::string::npos) << run.out;
}

TEST(ToolUsage, ExitCodesAndMessages)
{
    EXPECT_EQ(RunTool({}).exitCode, 2);
    EXPECT_EQ(RunTool({"print"}).exitCode, 2);
    for (const char *command : {"job", "download", "remove", "dump", "extract", "which"}) {
        const ToolRun help = RunTool({command, "--help"});
        EXPECT_EQ(help.exitCode, 0) << command;
        EXPECT_EQ(help.out.rfind(std::string("usage: fndl ") + command, 0), 0u) << command;
    }
    EXPECT_EQ(RunTool({"--help"}).exitCode, 0);

    ToolRun run = RunTool({"job", "--nope", "-o", "/tmp/x.pxl"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, "fndl: unknown option '--nope' (see 'fndl help job')\n");
    run = RunTool({"job", "--height", "big", "-o", "/tmp/x.pxl"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("--height wants a whole number"), std::string::npos) << run.err;
    EXPECT_EQ(RunTool({"job", "--text", "x"}).exitCode, 2); // no -o
    EXPECT_EQ(RunTool({"job", "--text", "\xFF", "-o", "/tmp/x.pxl"}).exitCode, 2);

    run = RunTool({"job", "--text-file", "/nonexistent/x", "-o", "/tmp/x.pxl"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "fndl: cannot read text file '/nonexistent/x': No such file or directory\n");
    run = RunTool({"job", "--text", "x", "-o", "/nonexistent/dir/x.pxl"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("cannot write '/nonexistent/dir/x.pxl'"), std::string::npos) << run.err;
    run = RunTool({"job", "--font-file", "/nonexistent/font.ttf", "-o", "/tmp/x.pxl"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("cannot read font file"), std::string::npos) << run.err;
}

} // namespace

#endif // FNDL_TOOL_PATH
