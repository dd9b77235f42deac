// SPDX-License-Identifier: MIT
// The glyph run call: its own glyph-coded soft font per font id (header and
// glyphs once), the run as one Text with its spacing, beside the text call's
// font, removal of both, and its failures.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform_hooks.h"
#include "qorvfndl.h"
#include "session/session.h"
#include "support/fontbuilder.h"
#include "support/requests.h"
#include "xldecode/xldecode.h"

namespace {

constexpr uint8_t kOpBeginFontHeader = 0x4F, kOpReadFontHeader = 0x50, kOpBeginChar = 0x52,
                  kOpReadChar = 0x53, kOpRemoveFont = 0x55, kOpSetFont = 0x6F, kOpText = 0xA8;
constexpr uint16_t kAttrFontName = 0xA8, kAttrCharCode = 0xA2, kAttrTextData = 0xAB;

struct GlyphRunTest : ::testing::Test {
    TempFile font{MakeLetterFont()};
    TempPath out;
    void SetUp() override { ResetLibraryState(); }
    void TearDown() override
    {
        PlatformFailNthAllocation(0);
        ResetLibraryState();
    }
    FNDL_PAGEINFOW Page(int nFontId) const { return MakeWideRequest(font.path, out.path, "", nFontId, true).page; }
    int Run(std::vector<FNDL_GLYPH> glyphs, int nFontId, FNDL_GLYPHRUN *pRun = nullptr)
    {
        FNDL_GLYPHRUN run = {120, 0, 0, static_cast<int>(glyphs.size()), -1, 0};
        const FNDL_PAGEINFOW page = Page(nFontId);
        return FNDLGlyphRunW(pRun ? pRun : &run, glyphs.data(), &page);
    }
    int Text(const std::string &text, int nFontId)
    {
        WideRequest r = MakeWideRequest(font.path, out.path, text, nFontId, true);
        return FNDLFontDownloadW(&r.text, &r.page);
    }
};

std::vector<XLOperation> Decode(const std::vector<uint8_t> &bytes, size_t from = 0)
{
    std::vector<XLOperation> ops;
    XLDecodeError error;
    EXPECT_TRUE(XLDecodeOperations(std::span(bytes).subspan(from), ops, error)) << error.message;
    return ops;
}

std::string NameOf(const XLOperation &op)
{
    const XLAttribute *name = op.Find(kAttrFontName);
    return name ? std::string(name->value.raw.begin(), name->value.raw.end()) : std::string();
}

std::vector<int> Numbers(const XLOperation &op, uint16_t nAttribute)
{
    const XLAttribute *attribute = op.Find(nAttribute);
    return attribute ? std::vector<int>(attribute->value.numbers.begin(), attribute->value.numbers.end())
                     : std::vector<int>();
}

// Character codes sent to each soft font, and the codes of the Texts set in
// each (by the SetFont before them).
struct FontUse {
    std::map<std::string, std::vector<int>> sent;
    std::map<std::string, std::vector<int>> set;
    std::vector<std::string> headers, removed;
};

FontUse UseOf(const std::vector<XLOperation> &ops)
{
    FontUse use;
    std::string charFont, selected;
    for (const XLOperation &op : ops) {
        if (op.op == kOpBeginFontHeader)
            use.headers.push_back(NameOf(op));
        else if (op.op == kOpBeginChar)
            charFont = NameOf(op);
        else if (op.op == kOpReadChar)
            use.sent[charFont].push_back(Numbers(op, kAttrCharCode).at(0));
        else if (op.op == kOpSetFont)
            selected = NameOf(op);
        else if (op.op == kOpText)
            for (int code : Numbers(op, kAttrTextData))
                use.set[selected].push_back(code);
        else if (op.op == kOpRemoveFont)
            use.removed.push_back(NameOf(op));
    }
    return use;
}

} // namespace

TEST_F(GlyphRunTest, HeaderAndGlyphsOnceThenOneTextWithSpacing)
{
    int x = 100, y = 500;
    FNDLSetCursor(&x, &y);
    // A, then D (composite of C = A + B, and A), then B as a mark raised
    // back over D.
    ASSERT_EQ(Run({{2, 60, 0, 0}, {5, 80, 0, 0}, {3, 0, -50, -30}}, 3), FNDL_OK);
    EXPECT_EQ(FNDLGetCursor(), 500);
    EXPECT_EQ(g_nCursorX, 240) << "the pen's end: the advances added";
    const std::vector<uint8_t> first = out.Read();
    const std::string name = "OT:3:" + font.path + ":g";
    const FontUse use = UseOf(Decode(first));
    EXPECT_EQ(use.headers, std::vector<std::string>{name});
    EXPECT_EQ(use.sent.at(name), (std::vector<int>{2, 5, 0xFFFF, 0xFFFF, 0xFFFF, 3}));
    EXPECT_EQ(use.set.at(name), (std::vector<int>{2, 5, 3}));
    // SetCursor to the first glyph, the codes, the x spacing (offsets moved
    // into the spacing around each glyph), the y spacing, Text.
    const std::vector<uint8_t> tail = {
        0xD3, 0x64, 0x00, 0xF4, 0x01, 0xF8, 0x4C, 0x6B,                         //
        0xC9, 0xC1, 0x03, 0x00, 0x02, 0x00, 0x05, 0x00, 0x03, 0x00, 0xF8, 0xAB, //
        0xCB, 0xC1, 0x03, 0x00, 0x3C, 0x00, 0x1E, 0x00, 0x32, 0x00, 0xF8, 0xAF, //
        0xCB, 0xC1, 0x03, 0x00, 0x00, 0x00, 0xE2, 0xFF, 0x1E, 0x00, 0xF8, 0xB0, 0xA8};
    ASSERT_GT(first.size(), tail.size());
    EXPECT_EQ(std::vector<uint8_t>(first.end() - static_cast<std::ptrdiff_t>(tail.size()), first.end()), tail);

    // Again: no header, no glyph; a run without vertical offsets has no
    // YSpacingData.
    ASSERT_EQ(Run({{5, 80, 0, 0}, {2, 60, 10, 0}}, 3), FNDL_OK);
    const std::vector<uint8_t> both = out.Read();
    const auto again = Decode(both, first.size());
    EXPECT_TRUE(UseOf(again).headers.empty());
    EXPECT_TRUE(UseOf(again).sent.empty());
    ASSERT_EQ(again.back().op, kOpText);
    EXPECT_EQ(Numbers(again.back(), 0xAF), (std::vector<int>{90, 50}));
    EXPECT_EQ(again.back().Find(0xB0), nullptr);
    // An empty glyph (the space) goes out once, as an empty character: every
    // code of a glyph-coded Text is defined in its font.
    ASSERT_EQ(Run({{1, 30, 0, 0}, {2, 60, 0, 0}, {1, 30, 0, 0}}, 3), FNDL_OK);
    ASSERT_EQ(Run({{1, 30, 0, 0}}, 3), FNDL_OK);
    EXPECT_EQ(UseOf(Decode(out.Read(), both.size())).sent.at(name), std::vector<int>{1});

    // The glyph-coded font's header is the text call's, under its own name.
    ResetLibraryState();
    TempPath unicode;
    WideRequest r = MakeWideRequest(font.path, unicode.path, "", 3, true);
    ASSERT_EQ(FNDLFontDownloadW(&r.text, &r.page), FNDL_OK);
    const auto headerData = [](const std::vector<XLOperation> &ops) {
        std::vector<uint8_t> data;
        for (const XLOperation &op : ops)
            if (op.op == kOpReadFontHeader)
                data.insert(data.end(), op.data.begin(), op.data.end());
        return data;
    };
    EXPECT_EQ(headerData(Decode(unicode.Read())), headerData(Decode(first)));
}

TEST_F(GlyphRunTest, GlyphAndUnicodeCodesNeverShareAFontAndRemovalRemovesBoth)
{
    ASSERT_EQ(Text("AB", 3), FNDL_OK);
    ASSERT_EQ(Run({{2, 60, 0, 0}, {3, 60, 0, 0}}, 3), FNDL_OK);
    ASSERT_EQ(Text("BA", 3), FNDL_OK);
    // An id that sets glyphs first gets the text call's font when it comes.
    ASSERT_EQ(Run({{4, 60, 0, 0}}, 4), FNDL_OK);
    ASSERT_EQ(Text("C", 4), FNDL_OK);
    for (int nFontId : {3, 4})
        FNDLRemoveFontW(&nFontId);
    EXPECT_EQ(g_pSession, nullptr);

    const FontUse use = UseOf(Decode(out.Read()));
    const std::string text3 = "OT:3:" + font.path + ":n", glyph3 = "OT:3:" + font.path + ":g";
    const std::string text4 = "OT:4:" + font.path + ":n", glyph4 = "OT:4:" + font.path + ":g";
    EXPECT_EQ(use.headers, (std::vector<std::string>{text3, glyph3, glyph4, text4}));
    EXPECT_EQ(use.sent.at(text3), (std::vector<int>{'A', 'B'}));
    EXPECT_EQ(use.sent.at(glyph3), (std::vector<int>{2, 3}));
    EXPECT_EQ(use.set.at(text3), (std::vector<int>{'A', 'B', 'B', 'A'}));
    EXPECT_EQ(use.set.at(glyph3), (std::vector<int>{2, 3}));
    EXPECT_EQ(use.set.at(glyph4), (std::vector<int>{4}));
    EXPECT_EQ(use.set.at(text4), (std::vector<int>{'C'}));
    EXPECT_EQ(use.removed, (std::vector<std::string>{text3, glyph3, text4, glyph4}));
}

TEST_F(GlyphRunTest, FailuresCutBackAndAPageEndSetsNothing)
{
    ASSERT_EQ(Run({{2, 60, 0, 0}}, 3), FNDL_OK);
    const std::vector<uint8_t> before = out.Read();

    // A glyph the font does not have, a spacing or an end beyond 16 bits, a
    // count out of range, a refused page box: 3, the file as it was.
    EXPECT_EQ(Run({{3, 60, 0, 0}, {6, 60, 0, 0}}, 3), FNDL_DOWNLOAD_FAILURE);
    ASSERT_NE(g_pSession, nullptr) << "a refused run keeps the session";
    EXPECT_EQ(Run({{2, 40000, 0, 0}}, 3), FNDL_DOWNLOAD_FAILURE);
    EXPECT_EQ(Run({{2, 30000, 0, 0}, {2, 30000, 0, 0}}, 3), FNDL_DOWNLOAD_FAILURE);
    EXPECT_EQ(Run({{2, 60, 0, -40000}}, 3), FNDL_DOWNLOAD_FAILURE);
    FNDL_GLYPHRUN tooLong = {120, 0, 0, FNDL_MAX_GLYPH_RUN + 1, 0, 0};
    EXPECT_EQ(Run({{2, 60, 0, 0}}, 3, &tooLong), FNDL_DOWNLOAD_FAILURE);
    const FNDL_PAGEBOX refused = {0, 0, 0, 0, -1, 0};
    EXPECT_EQ(FNDLSetPageBox(&refused), FNDL_DOWNLOAD_FAILURE);
    EXPECT_EQ(Run({{2, 60, 0, 0}}, 3), FNDL_DOWNLOAD_FAILURE);
    FNDLSetPageBox(nullptr);
    EXPECT_EQ(out.Read(), before);

    // Below the bottom limit: the glyphs go to the printer, the run does not.
    int x = 100, y = 6781;
    FNDLSetCursor(&x, &y);
    FNDL_GLYPHRUN run = {120, 0, 0, 1, -1, 0};
    EXPECT_EQ(Run({{3, 60, 0, 0}}, 3, &run), FNDL_PAGEEND);
    EXPECT_EQ(run.bNewPage, 1);
    EXPECT_EQ(g_nCursorX, 100);
    const FontUse use = UseOf(Decode(out.Read(), before.size()));
    EXPECT_EQ(use.sent.at("OT:3:" + font.path + ":g"), std::vector<int>{3});
    EXPECT_TRUE(use.set.empty());

    // Memory running out anywhere fails the call and leaves nothing.
    for (long n = 1; n <= 12; ++n) {
        ResetLibraryState();
        TempPath failing;
        FNDL_PAGEINFOW page = MakeWideRequest(font.path, failing.path, "", 3, true).page;
        const FNDL_GLYPH glyphs[] = {{5, 60, 0, 0}};
        FNDL_GLYPHRUN one = {120, 0, 0, 1, 0, 0};
        const long baseline = PlatformLiveAllocations();
        PlatformFailNthAllocation(n);
        const int nResult = FNDLGlyphRunW(&one, glyphs, &page);
        PlatformFailNthAllocation(0);
        EXPECT_TRUE(nResult == FNDL_OK || (nResult == FNDL_DOWNLOAD_FAILURE && failing.Read().empty()))
            << "allocation " << n;
        ResetLibraryState();
        EXPECT_EQ(PlatformLiveAllocations(), baseline) << "allocation " << n << " leaked";
    }
}
