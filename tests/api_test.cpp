// SPDX-License-Identifier: MIT
// The exported calls: records in and out, the session across calls, font
// removal and the failure paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/platform_hooks.h"
#include "qorvfndl.h"
#include "session/session.h"
#include "support/requests.h"
#include "text/widestr.h"
#include "xldecode/xldecode.h"

static_assert(sizeof(FNDL_TEXTINFOW) == 1064);
static_assert(sizeof(FNDL_TEXTINFOA) == 548);
static_assert(sizeof(FNDL_PAGEINFOW) == 1104);
static_assert(sizeof(FNDL_PAGEINFOA) == 592);

namespace {

struct ApiTest : ::testing::Test {
    void SetUp() override { ResetLibraryState(); }
    void TearDown() override
    {
        PlatformFailNthAllocation(0);
        ResetLibraryState();
    }
};

std::vector<XLOperation> Decode(const std::vector<uint8_t> &bytes)
{
    std::vector<XLOperation> ops;
    XLDecodeError error;
    EXPECT_TRUE(XLDecodeOperations(bytes, ops, error)) << error.message << " at " << error.offset;
    return ops;
}

size_t CountOps(const std::vector<XLOperation> &ops, uint8_t op)
{
    size_t n = 0;
    for (const auto &o : ops)
        n += o.op == op;
    return n;
}

// The character codes of every Text operator, in order.
std::u16string TextCodes(const std::vector<XLOperation> &ops)
{
    std::u16string codes;
    for (const auto &o : ops) {
        if (o.op != 0xA8)
            continue;
        const XLAttribute *text = o.Find(0xAB);
        if (text == nullptr)
            continue;
        for (double d : text->value.numbers)
            codes.push_back(static_cast<char16_t>(d));
    }
    return codes;
}

std::string FontNameOf(const XLOperation &op)
{
    const XLAttribute *name = op.Find(0xA8);
    if (name == nullptr)
        return {};
    return std::string(name->value.raw.begin(), name->value.raw.end());
}

} // namespace

TEST(WideStrings, LeftAndRightFollowTheirLengthRules)
{
    const std::u16string text = u"abcde";
    auto check = [](WCHAR *sz, const std::u16string &expected) {
        ASSERT_NE(sz, nullptr);
        EXPECT_EQ(std::u16string(sz), expected);
        GlobalFree(sz);
    };
    check(WideRight(text.c_str(), 2), u"de");
    check(WideRight(text.c_str(), 5), u"abcde");
    check(WideRight(text.c_str(), 0), u"");
    check(WideRight(text.c_str(), -3), u"");
    EXPECT_EQ(WideRight(text.c_str(), 6), nullptr);
    check(WideLeft(text.c_str(), 2), u"ab");
    check(WideLeft(text.c_str(), 5), u"abcde");
    check(WideLeft(text.c_str(), 6), u"");
    check(WideLeft(text.c_str(), 0), u"");
    check(WideLeft(text.c_str(), -1), u"");
}

TEST_F(ApiTest, CursorIsSetAndReadBack)
{
    int x = 150, y = 6000;
    FNDLSetCursor(&x, &y);
    EXPECT_EQ(FNDLGetCursor(), 6000);
    EXPECT_EQ(g_nCursorX, 150);
    FNDLSetCursor(nullptr, &y);
    FNDLSetCursor(&x, nullptr);
    EXPECT_EQ(FNDLGetCursor(), 6000);
}

TEST_F(ApiTest, BadRecordsFailWithoutWriting)
{
    TempPath out;
    WideRequest r = MakeWideRequest(kDejaVuSans, out.path, "Hello", 1, true);
    EXPECT_EQ(FNDLFontDownloadW(nullptr, &r.page), FNDL_DOWNLOAD_FAILURE);
    EXPECT_EQ(FNDLFontDownloadW(&r.text, nullptr), FNDL_DOWNLOAD_FAILURE);
    EXPECT_EQ(FNDLFontDownloadA(nullptr, nullptr), FNDL_DOWNLOAD_FAILURE);
    r.text.nOffsetToText = -1;
    EXPECT_EQ(FNDLFontDownloadW(&r.text, &r.page), FNDL_DOWNLOAD_FAILURE);
    EXPECT_TRUE(out.Read().empty());
    EXPECT_EQ(g_pSession, nullptr);
    FNDLRemoveFontW(nullptr);
    FNDLRemoveFontA(nullptr);

    // Strings without their terminator are read within their arrays only.
    WideRequest full = MakeWideRequest(kDejaVuSans, out.path, "", 1, false);
    for (auto &ch : full.text.szText)
        ch = u'x';
    for (auto &ch : full.page.chFont)
        ch = u'y';
    const std::u16string path = Utf16(out.path);
    std::memcpy(full.page.szOutputPath, path.data(), path.size() * 2);
    EXPECT_NE(FNDLFontDownloadW(&full.text, &full.page), FNDL_DOWNLOAD_FAILURE);
    EXPECT_FALSE(out.Read().empty());
}

TEST_F(ApiTest, UnopenableOutputFails)
{
    WideRequest r = MakeWideRequest(kDejaVuSans, "/nonexistent-dir/out.pxl", "Hello", 1, true);
    EXPECT_EQ(FNDLFontDownloadW(&r.text, &r.page), FNDL_DOWNLOAD_FAILURE);
    EXPECT_EQ(g_pSession, nullptr);
    EXPECT_EQ(PlatformLiveGdiObjects(), 0);
}

TEST_F(ApiTest, DownloadWritesHeaderOncePerFontIdAndWritesBack)
{
    TempPath out;
    WideRequest r = MakeWideRequest(kDejaVuSans, out.path, "Hello", 0x1a, true);
    r.page.nStopX = 1234;
    ASSERT_EQ(FNDLFontDownloadW(&r.text, &r.page), FNDL_OK);
    EXPECT_EQ(r.page.nStopX, 0);
    EXPECT_EQ(r.text.nOffsetToText, 0);
    EXPECT_EQ(r.text.bNewPage, 0);
    const std::vector<uint8_t> first = out.Read();
    auto ops = Decode(first);
    EXPECT_EQ(CountOps(ops, 0x4F), 1u); // BeginFontHeader
    ASSERT_FALSE(ops.empty());
    std::string expectedName = std::string("OT:1a:") + kDejaVuSans + ":n";
    EXPECT_EQ(FontNameOf(ops.front()), expectedName);
    EXPECT_EQ(TextCodes(ops), u"Hello");

    // The same id again: no header, no character already sent.
    WideRequest again = MakeWideRequest(kDejaVuSans, out.path, "Hello", 0x1a, true);
    ASSERT_EQ(FNDLFontDownloadW(&again.text, &again.page), FNDL_OK);
    const std::vector<uint8_t> both = out.Read();
    ASSERT_GT(both.size(), first.size());
    EXPECT_TRUE(std::equal(first.begin(), first.end(), both.begin())) << "earlier bytes changed";
    const std::vector<uint8_t> added(both.begin() + static_cast<std::ptrdiff_t>(first.size()), both.end());
    auto secondOps = Decode(added);
    EXPECT_EQ(CountOps(secondOps, 0x4F), 0u);
    EXPECT_EQ(CountOps(secondOps, 0x52), 0u); // BeginChar
    EXPECT_EQ(CountOps(secondOps, 0x6F), 1u); // SetFont
    ASSERT_NE(g_pSession, nullptr);
    EXPECT_EQ(g_pSession->nCount, 1u);
    EXPECT_EQ(PlatformLiveGdiObjects(), 2) << "the earlier call's DC and font are released";
}

// SetCursor points and Text codes, in order.
static std::vector<std::pair<std::vector<double>, std::u16string>> CursorLines(const std::vector<XLOperation> &ops)
{
    std::vector<std::pair<std::vector<double>, std::u16string>> lines;
    for (const auto &o : ops) {
        if (o.op == 0x6B)
            lines.push_back({o.Find(0x4C)->value.numbers, u""});
        else if (o.op == 0xA8 && !lines.empty())
            lines.back().second = TextCodes({o});
    }
    return lines;
}

TEST_F(ApiTest, PageBoxMovesLineBreaksAndPageEnds)
{
    const std::string text = "AAAA BBBB CCCC DDDD";
    const auto run = [&](const TempPath &out, int nY) {
        int x = 100;
        FNDLSetCursor(&x, &nY);
        WideRequest r = MakeWideRequest(kDejaVuSans, out.path, text, 1, true);
        const int nResult = FNDLFontDownloadW(&r.text, &r.page);
        int nFontId = 1;
        FNDLRemoveFontW(&nFontId);
        return std::pair{nResult, r.text.nOffsetToText};
    };
    TempPath before, boxed, after, refused;
    ASSERT_EQ(run(before, 1000).first, FNDL_OK);

    // Lines break at the box's right limit, the clip box is the box's, and
    // the page ends at its bottom limit.
    const FNDL_PAGEBOX box = {500, 1100, -5, 10, 1200, 3000};
    ASSERT_EQ(FNDLSetPageBox(&box), FNDL_OK);
    EXPECT_EQ(run(boxed, 1000), std::pair(FNDL_PAGEEND, 10));
    const auto ops = Decode(boxed.Read());
    const auto clip = std::find_if(ops.begin(), ops.end(), [](const XLOperation &o) { return o.op == 0x68; });
    ASSERT_NE(clip, ops.end());
    EXPECT_EQ(clip->Find(0x42)->value.numbers, (std::vector<double>{-5, 10, 1200, 3000}));
    const auto lines = CursorLines(ops);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].first, (std::vector<double>{100, 1000}));
    EXPECT_EQ(lines[0].second, u"AAAA ");
    EXPECT_EQ(lines[1].first, (std::vector<double>{100, 1100}));
    EXPECT_EQ(lines[1].second, u"BBBB ");

    // Back to the default: today's bytes.
    ASSERT_EQ(FNDLSetPageBox(nullptr), FNDL_OK);
    ASSERT_EQ(run(after, 1000).first, FNDL_OK);
    EXPECT_EQ(after.Read(), before.Read());

    // A box the 16-bit coordinates cannot hold is refused, and so is every
    // request until another box is set: nothing written.
    for (const FNDL_PAGEBOX &bad : {FNDL_PAGEBOX{32768, 1100, 0, 0, 1200, 3000},
                                    FNDL_PAGEBOX{700, -1, 0, 0, 1200, 3000},
                                    FNDL_PAGEBOX{700, 1100, 0, -32769, 1200, 3000},
                                    FNDL_PAGEBOX{700, 1100, 1300, 0, 1200, 3000},
                                    FNDL_PAGEBOX{700, 1100, 1200, 0, 1200, 3000},
                                    FNDL_PAGEBOX{700, 1100, 0, 3000, 1200, 3000}}) {
        EXPECT_EQ(FNDLSetPageBox(&bad), FNDL_DOWNLOAD_FAILURE);
        EXPECT_EQ(run(refused, 1000).first, FNDL_DOWNLOAD_FAILURE);
    }
    EXPECT_TRUE(refused.Read().empty());
    ASSERT_EQ(FNDLSetPageBox(&box), FNDL_OK);
    EXPECT_EQ(run(refused, 1000).first, FNDL_PAGEEND);
}

TEST_F(ApiTest, RequestsThatCannotBeHonouredFailWithoutWriting)
{
    // Each fails with nothing written and the fonts sent before kept.
    TempPath out;
    WideRequest sans = MakeWideRequest("DejaVu Sans", out.path, "Hello", 7, false);
    ASSERT_EQ(FNDLFontDownloadW(&sans.text, &sans.page), FNDL_OK);
    const std::vector<uint8_t> before = out.Read();
    struct Case {
        const char *what;
        std::string font;
        bool fromFile;
        int fontHeight, lineSpacing;
    };
    const std::string serif = "/usr/share/fonts/truetype/liberation/LiberationSerif-Regular.ttf";
    for (const Case &c : {Case{"another face under the id", "Liberation Serif", false, 120, 100},
                          Case{"another font file under the id", serif, true, 120, 100},
                          Case{"an em taller than the page", "DejaVu Sans", false, 7700, 100},
                          Case{"lines going up the page", "DejaVu Sans", false, 120, -1}}) {
        WideRequest r = MakeWideRequest(c.font, out.path, "Hello\u00e9", 7, c.fromFile);
        r.text.FontHeight = c.fontHeight;
        r.page.nLineSpacing = c.lineSpacing;
        EXPECT_EQ(FNDLFontDownloadW(&r.text, &r.page), FNDL_DOWNLOAD_FAILURE) << c.what;
        EXPECT_EQ(out.Read(), before) << c.what;
        ASSERT_NE(g_pSession, nullptr) << c.what;
        EXPECT_EQ(g_pSession->nCount, 1u) << c.what;
    }
    // The same font under the id by its file: no second header.
    WideRequest file = MakeWideRequest(kDejaVuSans, out.path, "Hello", 7, true);
    ASSERT_EQ(FNDLFontDownloadW(&file.text, &file.page), FNDL_OK);
    const std::vector<uint8_t> after = out.Read();
    EXPECT_EQ(CountOps(Decode(std::vector<uint8_t>(after.begin() + static_cast<std::ptrdiff_t>(before.size()),
                                                   after.end())),
                       0x4F),
              0u);
}

TEST_F(ApiTest, OffsetToTextCutsTheText)
{
    struct Case {
        int offset;
        std::u16string expected;
    };
    for (const Case &c : {Case{0, u"ABCDE"}, Case{2, u"CDE"}, Case{5, u""}, Case{9, u""}}) {
        ResetLibraryState();
        TempPath out;
        WideRequest r = MakeWideRequest(kDejaVuSans, out.path, "ABCDE", 1, true);
        r.text.nOffsetToText = c.offset;
        EXPECT_EQ(FNDLFontDownloadW(&r.text, &r.page), FNDL_OK);
        EXPECT_EQ(TextCodes(Decode(out.Read())), c.expected) << "offset " << c.offset;
        EXPECT_EQ(r.text.nOffsetToText, c.offset) << "unchanged unless the page ends";
    }
}

TEST_F(ApiTest, AnsiAndWideCallsWriteTheSameBytes)
{
    const std::string text = "Zoë café – ½";
    TempPath wideOut, ansiOut;
    WideRequest w = MakeWideRequest(kDejaVuSans, wideOut.path, text, 7, true);
    w.text.nOffsetToText = 2;
    ASSERT_EQ(FNDLFontDownloadW(&w.text, &w.page), FNDL_OK);
    ResetLibraryState();
    AnsiRequest a = MakeAnsiRequest(kDejaVuSans, ansiOut.path, text, 7, true);
    a.text.nOffsetToText = 2;
    ASSERT_EQ(FNDLFontDownloadA(&a.text, &a.page), FNDL_OK);
    EXPECT_EQ(wideOut.Read(), ansiOut.Read());
    EXPECT_EQ(a.page.nStopX, 0);
}

TEST_F(ApiTest, EachCallWritesToItsOwnFileAndRemovalToTheSessionFile)
{
    TempPath first, second;
    WideRequest a = MakeWideRequest(kDejaVuSans, first.path, "AB", 1, true);
    ASSERT_EQ(FNDLFontDownloadW(&a.text, &a.page), FNDL_OK);
    const size_t firstSize = first.Read().size();
    WideRequest b = MakeWideRequest(kDejaVuSans, second.path, "CD", 2, true);
    ASSERT_EQ(FNDLFontDownloadW(&b.text, &b.page), FNDL_OK);
    EXPECT_EQ(first.Read().size(), firstSize);
    auto secondOps = Decode(second.Read());
    EXPECT_EQ(CountOps(secondOps, 0x4F), 1u);
    EXPECT_EQ(TextCodes(secondOps), u"CD");
    ASSERT_NE(g_pSession, nullptr);
    EXPECT_EQ(g_pSession->nCount, 2u);

    // Removal appends to the file of the call that created the session.
    int id = 2;
    FNDLRemoveFontW(&id);
    std::vector<uint8_t> bytes = first.Read();
    ASSERT_GT(bytes.size(), firstSize);
    const std::vector<uint8_t> removalBytes(bytes.begin() + static_cast<std::ptrdiff_t>(firstSize), bytes.end());
    auto removal = Decode(removalBytes);
    ASSERT_EQ(removal.size(), 1u);
    EXPECT_EQ(removal[0].op, 0x55);
    EXPECT_EQ(FontNameOf(removal[0]), std::string("OT:2:") + kDejaVuSans + ":n");
    EXPECT_EQ(g_pSession->nCount, 1u);

    // An unknown id appends nothing.
    int unknown = 99;
    FNDLRemoveFontA(&unknown);
    EXPECT_EQ(first.Read().size(), bytes.size());
    EXPECT_NE(g_pSession, nullptr);

    // The last removal tears the session down; the next call starts anew.
    id = 1;
    FNDLRemoveFontW(&id);
    EXPECT_EQ(g_pSession, nullptr);
    EXPECT_EQ(g_pStream, nullptr);
    EXPECT_EQ(PlatformLiveGdiObjects(), 0);
    FNDLRemoveFontW(&id); // nothing left: does nothing
    WideRequest c = MakeWideRequest(kDejaVuSans, second.path, "AB", 1, true);
    const size_t before = second.Read().size();
    ASSERT_EQ(FNDLFontDownloadW(&c.text, &c.page), FNDL_OK);
    const std::vector<uint8_t> all = second.Read();
    const std::vector<uint8_t> added(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    auto ops = Decode(added);
    EXPECT_EQ(CountOps(ops, 0x4F), 1u) << "a new session sends the header again";
}

TEST_F(ApiTest, OutputThatRefusesWritesFailsAndForgetsTheSession)
{
    WideRequest r = MakeWideRequest(kDejaVuSans, "/dev/full", "Hello", 1, true);
    EXPECT_EQ(FNDLFontDownloadW(&r.text, &r.page), FNDL_DOWNLOAD_FAILURE);
    EXPECT_EQ(g_pSession, nullptr);

    // A later call on a sound file sends the font again, header included.
    TempPath out;
    WideRequest ok = MakeWideRequest(kDejaVuSans, out.path, "Hello", 1, true);
    EXPECT_EQ(FNDLFontDownloadW(&ok.text, &ok.page), FNDL_OK);
    EXPECT_EQ(CountOps(Decode(out.Read()), 0x4F), 1u);
}

TEST_F(ApiTest, MissingFontFileFailsItsOwnCallOnly)
{
    TempPath out;
    WideRequest r = MakeWideRequest("/nonexistent/font.ttf", out.path, "Hello", 1, true);
    EXPECT_EQ(FNDLFontDownloadW(&r.text, &r.page), FNDL_DOWNLOAD_FAILURE);
    EXPECT_EQ(bFontFileError, 1);
    EXPECT_TRUE(out.Read().empty());
    WideRequest good = MakeWideRequest(kDejaVuSans, out.path, "Hello", 2, true);
    EXPECT_EQ(FNDLFontDownloadW(&good.text, &good.page), FNDL_OK);
    EXPECT_EQ(bFontFileError, 0);
    EXPECT_EQ(CountOps(Decode(out.Read()), 0x4F), 1u);
}

// A call refused before it writes (a font file that cannot be read, a glyph
// the font lacks, a glyph drawn off the 16-bit page) leaves the job exactly
// as if it had never been made: the session goes on without a second header.
TEST_F(ApiTest, RefusedCallsKeepTheSessionAndTheJobByteForByte)
{
    const auto job = [](const TempPath &out, bool bWithRefusals) {
        const std::string &path = out.path;
        ResetLibraryState();
        int x = 100, y = 300;
        FNDLSetCursor(&x, &y);
        WideRequest hello = MakeWideRequest(kDejaVuSans, path, "Hello", 1, true);
        EXPECT_EQ(FNDLFontDownloadW(&hello.text, &hello.page), FNDL_OK);
        if (bWithRefusals) {
            const std::vector<uint8_t> before = out.Read();
            WideRequest missing = MakeWideRequest("/nonexistent/font.ttf", path, "Hello", 2, true);
            EXPECT_EQ(FNDLFontDownloadW(&missing.text, &missing.page), FNDL_DOWNLOAD_FAILURE);
            ASSERT_NE(g_pSession, nullptr) << "a refused call keeps the session";
            const int nGlyphs = static_cast<int>(g_pSession->pHead->nGlyphs);
            const FNDL_PAGEINFOW page = MakeWideRequest(kDejaVuSans, path, "", 1, true).page;
            const FNDL_PAGEINFOW newId = MakeWideRequest(kDejaVuSans, path, "", 3, true).page;
            const FNDL_PAGEINFOW missingFile = MakeWideRequest("/nonexistent/font.ttf", path, "", 1, true).page;
            // Index -1 and index = count are the same fault; a glyph drawn
            // at pen 1000 + offset 32000 lies off the page's coordinates.
            const std::vector<std::pair<std::vector<FNDL_GLYPH>, const FNDL_PAGEINFOW *>> refused = {
                {{{nGlyphs, 60, 0, 0}}, &page},
                {{{-1, 60, 0, 0}}, &page},
                {{{nGlyphs, 60, 0, 0}}, &newId},
                {{{36, 60, 0, 0}}, &missingFile},
                {{{36, 1000, 31000, 0}, {36, 0, 32000, 0}}, &page},
                {{{36, 60, 0, 20000}, {36, 60, 0, 32600}}, &page},
            };
            for (const auto &[glyphs, pPage] : refused) {
                FNDL_GLYPHRUN run = {120, 0, 0, static_cast<int>(glyphs.size()), 0, 0};
                EXPECT_EQ(FNDLGlyphRunW(&run, glyphs.data(), pPage), FNDL_DOWNLOAD_FAILURE);
            }
            EXPECT_EQ(out.Read(), before) << "nothing of a refused call stays";
            ASSERT_NE(g_pSession, nullptr);
            EXPECT_EQ(g_pSession->nCount, 1u);
        }
        WideRequest world = MakeWideRequest(kDejaVuSans, path, "World", 1, true);
        EXPECT_EQ(FNDLFontDownloadW(&world.text, &world.page), FNDL_OK);
        int nFontId = 1;
        FNDLRemoveFontW(&nFontId);
        EXPECT_EQ(g_pSession, nullptr);
    };
    TempPath refused, plain;
    job(refused, true);
    job(plain, false);
    EXPECT_EQ(refused.Read(), plain.Read());
    EXPECT_EQ(CountOps(Decode(refused.Read()), 0x4F), 1u);

    // A refused first call ends the session it began: the next call's
    // session is its own, with its own output path.
    ResetLibraryState();
    WideRequest missing = MakeWideRequest("/nonexistent/font.ttf", refused.path, "Hello", 2, true);
    EXPECT_EQ(FNDLFontDownloadW(&missing.text, &missing.page), FNDL_DOWNLOAD_FAILURE);
    EXPECT_EQ(g_pSession, nullptr);
}

TEST_F(ApiTest, PathsThatAreNoFontFileOrDoNotConvertFail)
{
    // A FIFO as the font file is refused at once, not waited on.
    TempPath fifo, out;
    ASSERT_EQ(mkfifo(fifo.path.c_str(), 0600), 0);
    WideRequest r = MakeWideRequest(fifo.path, out.path, "Hello", 1, true);
    EXPECT_EQ(FNDLFontDownloadW(&r.text, &r.page), FNDL_DOWNLOAD_FAILURE);
    EXPECT_TRUE(out.Read().empty());
    EXPECT_EQ(bFontFileError, 1);

    // Unpaired surrogates have no exact ANSI form: two such output paths
    // would both name the file with U+FFFD in their place.
    ResetLibraryState();
    for (char16_t surrogate : {u'\xD800', u'\xDC00'}) {
        WideRequest bad = MakeWideRequest(kDejaVuSans, out.path, "Hello", 1, true);
        const size_t n = out.path.size();
        bad.page.szOutputPath[n] = surrogate;
        bad.page.szOutputPath[n + 1] = 0;
        EXPECT_EQ(FNDLFontDownloadW(&bad.text, &bad.page), FNDL_DOWNLOAD_FAILURE);
        EXPECT_NE(access((out.path + "\xEF\xBF\xBD").c_str(), F_OK), 0);
        WideRequest badFont = MakeWideRequest(kDejaVuSans, out.path, "Hello", 1, true);
        badFont.page.chFont[std::strlen(kDejaVuSans)] = surrogate;
        EXPECT_EQ(FNDLFontDownloadW(&badFont.text, &badFont.page), FNDL_DOWNLOAD_FAILURE);
        EXPECT_TRUE(out.Read().empty());
    }
    EXPECT_EQ(bFontFileError, 0) << "the font path did not convert: no file was tried";
}

TEST_F(ApiTest, SessionListOperations)
{
    FontSession *session = CreateFontSession("/tmp/x");
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(FindDownloadedFontW(session, 1), nullptr);
    for (int id : {5, 6, 5}) {
        ASSERT_EQ(AddFontEntry(session), 1);
        FontEntry *pNext = session->pCurrent->pNext;
        std::memset(session->pCurrent, 0, sizeof(FontEntry));
        session->pCurrent->pNext = pNext;
        session->pCurrent->nFontId = id;
    }
    EXPECT_EQ(session->nCount, 3u);
    EXPECT_EQ(FindDownloadedFontW(session, 5), session->pHead) << "the first of equal ids";
    EXPECT_EQ(FindDownloadedFontW(session, 6), session->pHead->pNext);
    MarkFontsForReselect(session);
    for (FontEntry *e = session->pHead; e != nullptr; e = e->pNext)
        EXPECT_EQ(e->bReselect, 1);
    PlatformFailNthAllocation(1);
    EXPECT_EQ(AddFontEntry(session), 0);
    EXPECT_EQ(session->nCount, 3u);
    const long live = PlatformLiveAllocations();
    DiscardFontSession(session);
    EXPECT_EQ(PlatformLiveAllocations(), live - 4);
}

// Every allocation of a realistic call fails in turn: the call fails or, if
// it reports success, wrote exactly what a sound call writes; nothing leaks
// and the next call works.
TEST_F(ApiTest, EveryAllocationFailureIsHandled)
{
    for (bool fromFile : {true, false}) {
        const std::string font = fromFile ? kDejaVuSans : "DejaVu Sans";
        TempPath reference;
        const long baseline = PlatformLiveAllocations();
        const long before = PlatformAllocationCount();
        WideRequest r = MakeWideRequest(font, reference.path, "Hi there", 3, fromFile);
        ASSERT_EQ(FNDLFontDownloadW(&r.text, &r.page), FNDL_OK);
        int id = 3;
        FNDLRemoveFontW(&id);
        const long allocations = PlatformAllocationCount() - before;
        ASSERT_GT(allocations, 3);
        EXPECT_EQ(PlatformLiveAllocations(), baseline);
        const std::vector<uint8_t> expected = reference.Read();

        for (long n = 1; n <= allocations; ++n) {
            ResetLibraryState();
            TempPath out;
            WideRequest q = MakeWideRequest(font, out.path, "Hi there", 3, fromFile);
            PlatformFailNthAllocation(n);
            const int result = FNDLFontDownloadW(&q.text, &q.page);
            int removeId = 3;
            FNDLRemoveFontW(&removeId);
            PlatformFailNthAllocation(0);
            if (result == FNDL_OK) {
                const std::vector<uint8_t> got = out.Read();
                size_t at = 0;
                while (at < got.size() && at < expected.size() && got[at] == expected[at])
                    ++at;
                EXPECT_TRUE(got == expected) << "allocation " << n << " reported success; differs at "
                                             << at << " of " << expected.size() << "/" << got.size();
            }
            ResetLibraryState();
            EXPECT_EQ(PlatformLiveAllocations(), baseline) << "allocation " << n << " leaked";
        }
        TempPath after;
        WideRequest last = MakeWideRequest(font, after.path, "Hi there", 3, fromFile);
        EXPECT_EQ(FNDLFontDownloadW(&last.text, &last.page), FNDL_OK);
        ResetLibraryState();
    }
}

// Output paths are taken up to 255 bytes (the W form's in UTF-8): a longer
// one fails without creating a file, also when it has fewer UTF-16 units.
TEST_F(ApiTest, OutputPathsUpTo255BytesAreTaken)
{
    const TempPath base("-");
    auto pathOf = [&](size_t nBytes, const std::string &tail) {
        return base.path + std::string(nBytes - base.path.size() - tail.size(), 'x') + tail;
    };
    struct Case {
        std::string path;
        bool bWide;
        int nResult;
    };
    const Case cases[] = {
        {pathOf(255, ""), false, FNDL_OK},
        {pathOf(256, ""), false, FNDL_DOWNLOAD_FAILURE}, // no room for the NUL
        {pathOf(255, "\xC3\xA9"), true, FNDL_OK},
        {pathOf(256, "\xC3\xA9"), true, FNDL_DOWNLOAD_FAILURE}, // 255 units
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.path.size()) + (c.bWide ? " bytes, W" : " bytes, A"));
        int nResult = -1;
        if (c.bWide) {
            WideRequest r = MakeWideRequest(kDejaVuSans, "", "Hi", 1, true);
            const std::u16string wide = Utf16(c.path);
            std::memcpy(r.page.szOutputPath, wide.data(), wide.size() * 2);
            nResult = FNDLFontDownloadW(&r.text, &r.page);
        } else {
            AnsiRequest r = MakeAnsiRequest(kDejaVuSans, "", "Hi", 1, true);
            std::memcpy(r.page.szOutputPath, c.path.data(), c.path.size());
            nResult = FNDLFontDownloadA(&r.text, &r.page);
        }
        EXPECT_EQ(nResult, c.nResult);
        EXPECT_EQ(access(c.path.c_str(), F_OK) == 0, c.nResult == FNDL_OK);
        ResetLibraryState();
        std::remove(c.path.c_str());
    }
}
