// SPDX-License-Identifier: MIT
// Cover page: the raw page fragments byte for byte, and the text setting
// (line breaks, page end, missing glyphs, underline, continuation offsets)
// decoded back from the output file.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "coverpage/coverpage.h"
#include "platform/platform_hooks.h"
#include "support/fontbuilder.h"
#include "support/requests.h"
#include "xldecode/xldecode.h"

namespace {

using Ints = std::vector<int>;
constexpr int kGlyph = 36;

Bytes ReadAll(FILE *pFile)
{
    Bytes bytes;
    fflush(pFile);
    rewind(pFile);
    for (int c = fgetc(pFile); c != EOF; c = fgetc(pFile))
        bytes.push_back(static_cast<uint8_t>(c));
    fseek(pFile, 0, SEEK_END); // ready for appending again
    return bytes;
}

template <typename Write>
Bytes Fragment(Write write)
{
    FILE *pFile = tmpfile();
    write(pFile);
    Bytes bytes = ReadAll(pFile);
    fclose(pFile);
    return bytes;
}

int32_t WriteToBenchFile(XLStream *pStream, uint32_t, const uint8_t *, int32_t)
{
    if (pStream->pOutputFile != nullptr)
        fwrite(pStream->pbyBuffer, 1, static_cast<size_t>(pStream->nFillLength),
               pStream->pOutputFile);
    pStream->nFillLength = 0;
    return 0;
}

Ints Numbers(const XLOperation &op, uint16_t nAttribute)
{
    const XLAttribute *pAttribute = op.Find(nAttribute);
    if (pAttribute == nullptr)
        return {};
    return Ints(pAttribute->value.numbers.begin(), pAttribute->value.numbers.end());
}

struct Line {
    int x, y;
    std::u16string chars;
    Ints advances;
};

// SetCursor and Text pairs, in order.
std::vector<Line> LinesOf(const std::vector<XLOperation> &ops)
{
    std::vector<Line> lines;
    for (const XLOperation &op : ops) {
        if (op.op == 0x6B) {
            const Ints point = Numbers(op, 0x4C);
            lines.push_back({point.at(0), point.at(1), {}, {}});
        } else if (op.op == 0xA8 && !lines.empty()) {
            for (int ch : Numbers(op, 0xAB))
                lines.back().chars.push_back(static_cast<char16_t>(ch));
            lines.back().advances = Numbers(op, 0xAF);
        }
    }
    return lines;
}

std::vector<XLOperation> Decode(const Bytes &bytes)
{
    std::vector<XLOperation> ops;
    XLDecodeError error;
    EXPECT_TRUE(XLDecodeOperations(bytes, ops, error)) << error.message;
    return ops;
}

} // namespace

TEST(CoverPageFragments, AreExactBytes)
{
    const int y = 6780;
    EXPECT_EQ(Fragment([&](FILE *f) { WriteSetCursor(f, 100, &y); }),
              Bytes({0xD3, 0x64, 0x00, 0x7C, 0x1A, 0xF8, 0x4C, 0x6B}));
    EXPECT_EQ(Fragment([](FILE *f) { WriteTextLine(f, nullptr, 0, nullptr); }),
              Bytes({0xC9, 0xC1, 0x00, 0x00, 0xF8, 0xAB, 0xC9, 0xC1, 0x00, 0x00, 0xF8, 0xAF,
                     0xA8}));
    const WCHAR chars[] = {0x0041, 0x3000};
    const int advances[] = {100, -2};
    EXPECT_EQ(Fragment([&](FILE *f) { WriteTextLine(f, chars, 2, advances); }),
              Bytes({0xC9, 0xC1, 0x02, 0x00, 0x41, 0x00, 0x00, 0x30, 0xF8, 0xAB, 0xC9, 0xC1, 0x02,
                     0x00, 0x64, 0x00, 0xFE, 0xFF, 0xF8, 0xAF, 0xA8}));
    EXPECT_EQ(Fragment([](FILE *f) { WriteClipRectangle(f, 0, 0, 4900, 6400); }),
              Bytes({0xC0, 0x00, 0xF8, 0x53, 0xE3, 0x00, 0x00, 0x00, 0x00, 0x24, 0x13, 0x00, 0x19,
                     0xF8, 0x42, 0x68}));
    EXPECT_EQ(Fragment([](FILE *f) { WriteClipRectangle(f, -1, 0x12345, 0, 0); }),
              Bytes({0xC0, 0x00, 0xF8, 0x53, 0xE3, 0xFF, 0xFF, 0x45, 0x23, 0x00, 0x00, 0x00, 0x00,
                     0xF8, 0x42, 0x68}));
    EXPECT_EQ(Fragment([](FILE *f) { WriteSetROP(f, 0xF0); }),
              Bytes({0xC0, 0xF0, 0xF8, 0x2C, 0x7B}));
    EXPECT_EQ(Fragment([](FILE *f) { WriteSetPenSource(f, 0x05, 0); }),
              Bytes({0xC0, 0x00, 0xF8, 0x05, 0x79}));
    EXPECT_EQ(Fragment([](FILE *f) { WriteRectangle(f, 100, 210, -1, 220); }),
              Bytes({0x85, 0xE3, 0x64, 0x00, 0xD2, 0x00, 0xFF, 0xFF, 0xDC, 0x00, 0xF8, 0x42, 0xA1,
                     0x86}));
    // The Text buffer holds 1246 characters; more are cut, never overrun.
    std::vector<WCHAR> many(2000, 0x41);
    Ints wide(2000, 1);
    EXPECT_EQ(Fragment([&](FILE *f) { WriteTextLine(f, many.data(), 2000, wide.data()); }).size(),
              13u + 4u * 1246u);
}

// A session with one entry as the download leaves it, a stream into a temp
// file, and a font from a file: every character advances 100 dots
// (12 pt at 600 dpi), so 46 of them fit from x 100 to the limit 4725.
class CoverPageTest : public ::testing::Test {
protected:
    FontSession *session = nullptr;
    FontEntry *entry = nullptr;
    FILE *file = tmpfile();
    FNDL_TEXTINFOW text{};
    PageInfo page{};

    void SetUp() override
    {
        ResetLibraryState();
        session = static_cast<FontSession *>(GlobalAlloc(GPTR, sizeof(FontSession)));
        g_pSession = session;
        ASSERT_EQ(AddFontEntry(session), 1);
        entry = session->pCurrent;
        std::memset(entry, 0, sizeof(*entry));
        entry->pbDownloaded = static_cast<uint8_t *>(GlobalAlloc(GPTR, kDownloadedSetBytes));
        entry->pnCharToGlyph = static_cast<uint32_t *>(GlobalAlloc(GPTR, kCharTableEntries * 4));
        entry->nFontId = page.nFontId = 7;
        entry->nResolution = page.nResolution = 600;
        std::strcpy(entry->szXLFontName, "OT:7:Face:n");
        g_pStream = XLStreamCreate(4096, WriteToBenchFile, 0);
        g_pStream->pOutputFile = file;
        text.FontHeight = 120;
        text.nLeftMargin = 100;
        page.nLineSpacing = 50;
        page.nStopX = -1;
        page.bTTE = 1;
        g_nCursorX = 100;
        g_nCursorY = 200;
    }
    void TearDown() override
    {
        ResetLibraryState();
        fclose(file);
    }

    // The text as the download call hands it over: cut at the offset, with
    // a glyph for every character but those in noGlyph.
    void SetText(const std::u16string &whole, int nOffset = 0, Ints noGlyph = {})
    {
        const std::u16string rest = whole.substr(std::min<size_t>(nOffset, whole.size()));
        std::memset(text.szText, 0, sizeof(text.szText));
        std::copy(rest.begin(), rest.end(), text.szText);
        std::fill(std::begin(page.anGlyphIndex), std::end(page.anGlyphIndex), kGlyph);
        for (int i : noGlyph)
            page.anGlyphIndex[i] = kNoGlyph;
        text.nOffsetToText = nOffset;
    }
    // The call's status as the public result the download call gives for it.
    int Run()
    {
        switch (WriteToCoverPageW(session, file, &text, &page, &g_nCursorY)) {
        case Status::kOk:
            return FNDL_OK;
        case Status::kInvalidGlyph:
            return FNDL_INVALID_GLYPH_HANDLE;
        case Status::kPageEnd:
            return FNDL_PAGEEND;
        default:
            return FNDL_DOWNLOAD_FAILURE;
        }
    }

    std::vector<XLOperation> Ops() { return Decode(ReadAll(file)); }
    std::vector<Line> Lines() { return LinesOf(Ops()); }
};

TEST_F(CoverPageTest, SetsAndBreaksLines)
{
    SetText(u"Hello");
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Ops().size(), 3u); // clip box, cursor, text
    std::vector<Line> lines = Lines();
    EXPECT_EQ(lines.at(0).x, 100);
    EXPECT_EQ(lines.at(0).y, 200);
    EXPECT_EQ(lines.at(0).chars, u"Hello");
    EXPECT_EQ(lines.at(0).advances, Ints(5, 100));
    EXPECT_EQ(g_nCursorX, 100); // a fitting last line leaves the cursor
    EXPECT_EQ(g_nCursorY, 200);
    EXPECT_EQ(page.nStopX, -1);

    // After the last space before the limit, the space staying on the line.
    text.nLeftMargin = 300;
    SetText(std::u16string(40, u'a') + u" " + std::u16string(10, u'b'));
    EXPECT_EQ(Run(), 0);
    // Before the overflowing character when there is no space.
    SetText(std::u16string(60, u'c'));
    EXPECT_EQ(Run(), 0);
    lines = Lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[1].chars, std::u16string(40, u'a') + u" ");
    EXPECT_EQ(lines[2].chars, std::u16string(10, u'b'));
    EXPECT_EQ(lines[2].x, 300);
    EXPECT_EQ(lines[2].y, 250);
    EXPECT_EQ(lines[3].chars.size(), 44u); // from x 300
    EXPECT_EQ(lines[4].chars.size(), 16u);
    EXPECT_EQ(g_nCursorX, 300);
    EXPECT_EQ(g_nCursorY, 300);

    // An empty text still sets the clip box, and nothing else.
    const size_t nBefore = ReadAll(file).size();
    SetText(u"");
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(ReadAll(file).size(), nBefore + 16);
}

TEST_F(CoverPageTest, PageEndOffsetsAndReselection)
{
    // One line fits the clip box (bottom 6400) with its descent (the character
    // size without device-context metrics), the next would not.
    g_nCursorY = 6300;
    SetText(u"0123456789" + std::u16string(60, u'x'), 10);
    EXPECT_EQ(Run(), 2);
    ASSERT_EQ(Lines().size(), 1u);
    EXPECT_EQ(Lines()[0].chars.size(), 46u);
    EXPECT_EQ(text.nOffsetToText, 10 + 46); // a position in the caller's whole text
    EXPECT_EQ(text.bNewPage, 1);
    EXPECT_EQ(entry->bReselect, 1);

    // The next call selects the font again, before its clip box.
    const size_t nBefore = ReadAll(file).size();
    g_nCursorY = 200;
    text.bBold = text.bItalic = 1;
    SetText(u"Hi");
    EXPECT_EQ(Run(), 0);
    const Bytes all = ReadAll(file);
    EXPECT_EQ(Bytes(all.begin() + nBefore, all.begin() + nBefore + 57),
              Bytes({0xC8, 0xC1, 0x0B, 0x00, 'O', 'T', ':', '7', ':', 'F', 'a', 'c', 'e', ':', 'n',
                     0xF8, 0xA8, 0xC5, 0x00, 0x00, 0xC8, 0x42, 0xF8, 0xA6, 0xC1, 0x01, 0x00, 0xF8,
                     0xAA, 0x6F, 0xC5, 0x0A, 0xD7, 0x23, 0x3C, 0xF8, 0xB1, 0x7D, 0xD5, 0x65, 0x19,
                     0x22, 0x3E, 0x00, 0x00, 0x00, 0x00, 0xF8, 0xA5, 0x66, 0xC3, 0x00, 0x00, 0xF8,
                     0xA1, 0x64, 0xC0}));
    EXPECT_EQ(text.bNewPage, 0);
    EXPECT_EQ(entry->bReselect, 0);

    // A page that ends before its first line gives back the offset it got.
    g_nCursorY = 6781;
    SetText(u"abcdef", 3);
    EXPECT_EQ(Run(), 2);
    EXPECT_EQ(text.nOffsetToText, 3);
}

TEST_F(CoverPageTest, StopsAtACharacterWithoutGlyph)
{
    SetText(u"..abcXdef", 2, {3});
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(Lines().back().chars, u"abc");
    EXPECT_EQ(text.nOffsetToText, 5); // the X in the caller's text
    EXPECT_EQ(page.nStopX, 400);

    // Blanks and '=' are set without a glyph.
    SetText(u"a b=c\u3000d", 0, {1, 3, 5});
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Lines().back().chars, u"a b=c\u3000d");

    // After a first line of a single character the offset still counts it.
    g_nCursorX = 4625;
    SetText(u"abXc", 0, {2});
    EXPECT_EQ(Run(), 1);
    std::vector<Line> lines = Lines();
    EXPECT_EQ(lines[lines.size() - 2].chars, u"a");
    EXPECT_EQ(lines.back().chars, u"b");
    EXPECT_EQ(text.nOffsetToText, 2);
    EXPECT_EQ(page.nStopX, 200);

    // Characters before the stop are not set below the bottom limit: the
    // page ends and they wait for the next page.
    g_nCursorY = 6800;
    SetText(u"abX", 0, {2});
    const size_t nBefore = ReadAll(file).size();
    EXPECT_EQ(Run(), 2);
    EXPECT_EQ(text.nOffsetToText, 0);
    EXPECT_EQ(ReadAll(file).size(), nBefore + 16);
}

TEST_F(CoverPageTest, OverWideCharactersNeverLoop)
{
    text.FontHeight = 6000; // 5000 dots: wider than the whole line
    for (int nSpacing : {0, -50}) {
        page.nLineSpacing = nSpacing;
        SetText(u"abc");
        EXPECT_EQ(Run(), 0);
    }
    std::vector<Line> lines = Lines();
    ASSERT_EQ(lines.size(), 6u); // each character alone
    EXPECT_EQ(lines[5].chars, u"c");
    EXPECT_EQ(g_nCursorY, 50);

    // One that fits from the margin gets there by an empty line.
    text.FontHeight = 720; // 600 dots
    g_nCursorX = 4500;
    SetText(u"ab");
    EXPECT_EQ(Run(), 0);
    lines = Lines();
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[6].x, 4500);
    EXPECT_EQ(lines[6].chars, u"");
    EXPECT_EQ(lines[7].x, 100);
    EXPECT_EQ(lines[7].chars, u"ab");
}

TEST_F(CoverPageTest, CallerLoopSetsEveryCharacterOnce)
{
    std::u16string whole;
    for (int i = 1; whole.size() < 500; ++i)
        whole += std::u16string(1 + i % 9, static_cast<char16_t>(u'a' + i % 26)) + u" ";
    const size_t nMissing = 321;
    whole[nMissing] = u'#';

    // The caller keeps its whole text and passes back what it gets; the
    // download call cuts the text and writes back nonzero offsets.
    int nOffset = 0, nPages = 0;
    g_nCursorX = 4625; // a first line of a single character
    g_nCursorY = 6200; // three lines per page
    for (int nCalls = 0; nCalls < 50; ++nCalls) {
        Ints noGlyph;
        if (nOffset <= static_cast<int>(nMissing))
            noGlyph.push_back(static_cast<int>(nMissing) - nOffset);
        SetText(whole, nOffset, noGlyph);
        const int nResult = Run();
        if (text.nOffsetToText != 0)
            nOffset = text.nOffsetToText;
        if (nResult == 0)
            break;
        if (nResult == 1) {
            ++nOffset; // go on after the character
        } else {
            ASSERT_EQ(nResult, 2);
            g_nCursorX = 100; // the second page is full before its first line
            g_nCursorY = ++nPages == 1 ? 6800 : 6200;
        }
    }
    EXPECT_GE(nPages, 4);
    std::u16string set;
    for (const Line &line : Lines())
        set += line.chars;
    EXPECT_EQ(set, whole.substr(0, nMissing) + whole.substr(nMissing + 1));
}

TEST_F(CoverPageTest, DeviceContextWidthsAndUnderline)
{
    LOGFONTA lf{};
    lf.lfHeight = 120;
    std::strcpy(lf.lfFaceName, "DejaVu Sans");
    HDC hdc = CreateCompatibleDC(nullptr);
    SelectObject(hdc, CreateFontIndirectA(&lf));
    session->hdc = hdc;

    // Widths from the device context; above 0xFF the glyph's advance.
    page.bTTE = 0;
    SetText(u"Hi\u0141");
    page.anGlyphIndex[2] = 100;
    EXPECT_EQ(Run(), 0);
    int nH = 0, ni = 0;
    ASSERT_TRUE(GetCharWidthA(hdc, 'H', 'H', &nH) && GetCharWidthA(hdc, 'i', 'i', &ni));
    GLYPHMETRICS gm{};
    const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    ASSERT_NE(GetGlyphOutlineA(hdc, 100, GGO_METRICS | GGO_GLYPH_INDEX, &gm, 0, nullptr, &identity),
              GDI_ERROR);
    EXPECT_GT(nH, ni);
    EXPECT_EQ(Lines().at(0).advances,
              Ints({nH, ni, static_cast<int>(gm.gmCellIncX)}));

    // The underline bar of a second line is as long as that line: "aaaa "
    // ends exactly at the right limit, "bbb" goes on the next line.
    int na = 0, nSpace = 0, nb = 0;
    ASSERT_TRUE(GetCharWidthA(hdc, 'a', 'a', &na) && GetCharWidthA(hdc, ' ', ' ', &nSpace) &&
                GetCharWidthA(hdc, 'b', 'b', &nb));
    g_nCursorX = 4725 - 4 * na - nSpace;
    text.bUnderline = 1;
    SetText(u"aaaa bbb");
    EXPECT_EQ(Run(), 0);
    OUTLINETEXTMETRICA otm{};
    ASSERT_NE(GetOutlineTextMetricsA(hdc, sizeof(otm), &otm), 0u);
    const int nBelow = std::abs(otm.otmsUnderscorePosition);
    const int nHeight = std::abs(otm.otmsUnderscoreSize);
    const std::vector<XLOperation> ops = Ops();
    std::vector<Ints> bars;
    Bytes codes;
    for (const XLOperation &op : ops) {
        codes.push_back(op.op);
        if (op.op == 0xA1)
            bars.push_back(Numbers(op, 0x42));
    }
    ASSERT_EQ(bars.size(), 2u);
    EXPECT_EQ(bars[0], Ints({4725 - 4 * na - nSpace, 200 + nBelow, 4725, 200 + nBelow + nHeight}));
    EXPECT_EQ(bars[1], Ints({100, 250 + nBelow, 100 + 3 * nb, 250 + nBelow + nHeight}));
    // Text, SetROP, SetPenSource, NewPath, RectanglePath, PaintPath, SetROP.
    EXPECT_EQ(Bytes(codes.end() - 7, codes.end()),
              Bytes({0xA8, 0x7B, 0x79, 0x85, 0xA1, 0x86, 0x7B}));
}

TEST_F(CoverPageTest, MissingMetricsAndMemory)
{
    // No device-context metrics: the character size stands in.
    page.bTTE = 0;
    SetText(u"ab");
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Lines().at(0).advances, Ints({100, 100}));

    page.bTTE = 1;
    const size_t nBefore = ReadAll(file).size();
    const long nLive = PlatformLiveAllocations();
    PlatformFailNthAllocation(1);
    EXPECT_EQ(Run(), 3);
    EXPECT_EQ(ReadAll(file).size(), nBefore);

    // The underline's metrics fail after the line was set.
    text.bUnderline = 1;
    PlatformFailNthAllocation(2);
    EXPECT_EQ(Run(), 3);
    PlatformFailNthAllocation(0);
    EXPECT_EQ(ReadAll(file).size(), nBefore + 16 + 8 + 21);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(PlatformLiveAllocations(), nLive);
}

TEST_F(CoverPageTest, NoLineBelowTheClipBoxAtAnyResolution)
{
    // Without device-context metrics the descent is the character size.
    for (int nResolution : {600, 1200}) {
        page.nResolution = entry->nResolution = nResolution;
        const int nClipBottom = 6400 * nResolution / 600;
        const int nDescent = 12 * nResolution / 72;
        // Exactly at the clip bottom is set; one dot lower, or anywhere
        // between the clip bottom and the bottom limit, ends the page.
        for (int y : {nClipBottom - nDescent, nClipBottom - nDescent + 1, 6700 * nResolution / 600}) {
            g_nCursorY = y;
            SetText(u"ab");
            EXPECT_EQ(Run(), y == nClipBottom - nDescent ? 0 : 2) << nResolution << " " << y;
        }
        const std::vector<XLOperation> ops = Ops();
        EXPECT_EQ(Numbers(ops.back(), 0x42), Ints({0, 0, 4900 * nResolution / 600, nClipBottom}));
    }
    // The right limit scales too: 4725 at 600 dpi, 2362 at 300.
    page.nResolution = entry->nResolution = 300;
    g_nCursorY = 200;
    SetText(std::u16string(60, u'c')); // 50 dots each
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(Lines()[Lines().size() - 2].chars.size(), 45u);

    // Resolutions whose page the 16-bit coordinates cannot hold write nothing.
    const size_t nBefore = ReadAll(file).size();
    for (int nResolution : {0, -600, 2900, 1 << 30}) {
        page.nResolution = nResolution;
        EXPECT_EQ(Run(), 3) << nResolution;
    }
    // So do character sizes below one dot or beyond the 16-bit advances.
    page.nResolution = 600;
    for (int nHeight : {5, -120, 39330}) {
        text.FontHeight = nHeight;
        EXPECT_EQ(Run(), 3) << nHeight;
    }
    text.FontHeight = 39320; // 32766 dots: taller than the page, but a size
    EXPECT_EQ(Run(), 2);
    EXPECT_GT(ReadAll(file).size(), nBefore);
}

namespace {

// A served font (through the device context) with advances of its own:
// A 1229/2048 em, B a whole em, U+00A0 and U+2009 an empty glyph, U+3002 a
// small ring in a whole em, U+3177 glyph 32. The cell (usWinAscent +
// usWinDescent) is given.
Bytes AdvanceFont(uint16_t nWinAscent, uint16_t nWinDescent)
{
    const Bytes ink = MakeSimpleGlyph({{100, 0}, {100, 500}, {600, 500}, {600, 0}});
    std::vector<Bytes> glyphs(40, ink);
    glyphs[3] = {};
    std::vector<uint16_t> advances(40, 1000);
    advances[1] = 1229;
    advances[2] = 2048;
    advances[3] = 614;
    advances[5] = 2048;
    FontBuilder font = MakeSampleFont(
        {.glyphs = glyphs,
         .unicodeSegments = {{0x41, 0x42, -0x40}, {0xA0, 0xA0, -0x9D}, {0x2009, 0x2009, -0x2006},
                             {0x3002, 0x3002, -0x2FFD}, {0x3177, 0x3177, -0x3157}}});
    SetTable(font, "hmtx", MakeHmtx(advances));
    Bytes &os2 = *FindTable(font, "OS/2");
    PutU16(os2, 74, nWinAscent);
    PutU16(os2, 76, nWinDescent);
    return BuildFont(font);
}

const char *const kProse =
    "Every character a call reports as set is on the paper, at every resolution: lines "
    "break before the right limit and the page ends before a line whose descenders would "
    "fall below the clip box. Quickly jumping zebras vex a wizard; jagged gypsum. ";

struct ServedRequest {
    TempPath out;
    WideRequest r;
    ServedRequest(const Bytes &font, const std::string &text, int nResolution)
        : r(MakeWideRequest("Sample", out.path, text, 1, false))
    {
        r.page.nResolution = nResolution;
        PlatformServeFontData(font.data(), font.size());
    }
    ~ServedRequest() { PlatformServeFontData(nullptr, 0); }
    int Run() { return FNDLFontDownloadW(&r.text, &r.page); }
};

} // namespace

TEST(CoverPageOnPaper, AdvancesAreTheFontsOwnAtThePrintedSize)
{
    // A cell taller and a cell shorter than the em measure the same.
    for (const auto &[nAscent, nDescent] : {std::pair{2600, 600}, std::pair{1400, 300}}) {
        const Bytes font = AdvanceFont(static_cast<uint16_t>(nAscent), static_cast<uint16_t>(nDescent));
        for (int nResolution : {300, 600, 1200}) {
            ResetLibraryState();
            g_nCursorY = 300;
            ServedRequest request(font, "AB\xE3\x80\x82" "B", nResolution);
            ASSERT_EQ(request.Run(), 0);
            const int nSize = 12 * nResolution / 72; // the character size SetFont sends
            auto scaled = [nSize](int nUnits) { return (nUnits * nSize + 1024) / 2048; };
            const std::vector<Line> lines = LinesOf(Decode(request.out.Read()));
            ASSERT_EQ(lines.size(), 1u);
            // The ideographic full stop advances a whole em, not its ink.
            EXPECT_EQ(lines[0].advances, Ints({scaled(1229), nSize, nSize, nSize}))
                << nAscent << " " << nResolution;
        }
    }
    ResetLibraryState();
}

TEST(CoverPageOnPaper, CallsInTurnMeasureInTheirOwnSize)
{
    // A session reads its device context again only for the same logical
    // font: calls that alternate sizes, and a measure between them, each
    // measure the glyphs at their own size.
    ResetLibraryState();
    TempPath out;
    WideRequest small = MakeWideRequest("DejaVu Sans", out.path, "MW", 1, false);
    WideRequest large = MakeWideRequest("DejaVu Sans", out.path, "MW", 2, false);
    large.text.FontHeight = 2 * small.text.FontHeight;
    for (WideRequest *pRequest : {&small, &large, &small}) {
        int x = 300, y = 600;
        FNDLSetCursor(&x, &y);
        ASSERT_EQ(FNDLFontDownloadW(&pRequest->text, &pRequest->page), 0);
    }
    FNDL_TEXTMEASURE measure{};
    ASSERT_EQ(FNDLMeasureTextW(&large.text, &large.page, &measure), 0);
    const std::vector<Line> lines = LinesOf(Decode(out.Read()));
    ASSERT_EQ(lines.size(), 3u);
    ASSERT_EQ(lines[0].advances.size(), 2u);
    EXPECT_EQ(lines[2].advances, lines[0].advances);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_NEAR(lines[1].advances[i], 2 * lines[0].advances[i], 2) << i;
        EXPECT_EQ(measure.anAdvance[i], lines[1].advances[i]) << i;
    }
    ResetLibraryState();
}

TEST(CoverPageOnPaper, BlankAndGlyph32CharactersAreSet)
{
    ResetLibraryState();
    g_nCursorY = 300;
    ServedRequest request(AdvanceFont(1638, 410), "A\xC2\xA0" "B\xE2\x80\x89" "A\xE3\x85\xB7", 600);
    ASSERT_EQ(request.Run(), 0);
    const std::vector<XLOperation> ops = Decode(request.out.Read());
    const std::vector<Line> lines = LinesOf(ops);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].chars, u"A\u00A0B\u2009A\u3177");
    EXPECT_EQ(lines[0].advances, Ints({60, 30, 100, 30, 60, 49}));
    // Blanks are advances only; the glyph-32 character goes to the printer.
    Ints sent;
    for (const XLOperation &op : ops) {
        if (op.op == 0x53)
            sent.push_back(Numbers(op, 0xA2).at(0));
    }
    EXPECT_EQ(sent, Ints({0x41, 0x42, 0x3177}));
    ResetLibraryState();
}

TEST(CoverPageOnPaper, EveryLineInsideTheClipBoxAtAnyResolution)
{
    const std::string prose = kProse;
    for (int nResolution : {300, 600, 1200}) {
        ResetLibraryState();
        const int nScale100 = 100 * nResolution / 600;
        TempPath out;
        WideRequest r = MakeWideRequest("DejaVu Sans", out.path, prose + prose, 1, false);
        r.page.nResolution = nResolution;
        r.page.nLineSpacing = nScale100;
        r.text.nLeftMargin = nScale100;
        int x = nScale100, y = 5900 * nResolution / 600;
        FNDLSetCursor(&x, &y);
        int nResult = 2;
        for (int nPages = 0; nResult == 2 && nPages < 20; ++nPages) {
            nResult = FNDLFontDownloadW(&r.text, &r.page);
            FNDLSetCursor(&x, &y);
        }
        ASSERT_EQ(nResult, 0);

        LOGFONTA lf{};
        lf.lfHeight = -(12 * nResolution / 72);
        std::strcpy(lf.lfFaceName, "DejaVu Sans");
        HDC hdc = CreateCompatibleDC(nullptr);
        HFONT hFont = CreateFontIndirectA(&lf);
        SelectObject(hdc, hFont);
        OUTLINETEXTMETRICA otm{};
        ASSERT_NE(GetOutlineTextMetricsA(hdc, sizeof(otm), &otm), 0u);
        const std::vector<XLOperation> ops = Decode(out.Read());
        std::u16string set;
        for (const Line &line : LinesOf(ops)) {
            int nEnd = line.x;
            for (size_t i = 0; i < line.chars.size(); ++i) {
                int nWidth = 0;
                ASSERT_TRUE(GetCharWidthA(hdc, line.chars[i], line.chars[i], &nWidth));
                EXPECT_EQ(line.advances[i], nWidth);
                nEnd += nWidth;
            }
            EXPECT_LE(nEnd - (line.chars.back() == u' ' ? line.advances.back() : 0),
                      4725 * nResolution / 600);
            EXPECT_LE(line.y + otm.otmTextMetrics.tmDescent, 6400 * nResolution / 600);
            set += line.chars;
        }
        EXPECT_EQ(set, Utf16(prose + prose)) << nResolution;
        for (const XLOperation &op : ops) {
            if (op.op == 0x68) {
                EXPECT_EQ(Numbers(op, 0x42),
                          Ints({0, 0, 4900 * nResolution / 600, 6400 * nResolution / 600}));
            }
        }
        DeleteDC(hdc);
        DeleteObject(hFont);

        // Resolutions the page arithmetic cannot hold write nothing.
        TempPath none;
        WideRequest bad = MakeWideRequest("DejaVu Sans", none.path, "Hello", 2, false);
        for (int nBad : {0, -600, 2900, 1 << 30}) {
            bad.page.nResolution = nBad;
            EXPECT_EQ(FNDLFontDownloadW(&bad.text, &bad.page), 3);
        }
        EXPECT_TRUE(none.Read().empty());
    }
    ResetLibraryState();
}

TEST(CoverPageOnPaper, ZeroResultsAreNotWrittenBack)
{
    ResetLibraryState();
    TempPath out;
    WideRequest r = MakeWideRequest("DejaVu Sans", out.path, "Hello", 1, false);
    int x = 100, y = 7000;
    FNDLSetCursor(&x, &y);
    ASSERT_EQ(FNDLFontDownloadW(&r.text, &r.page), 2);
    EXPECT_EQ(r.text.bNewPage, 1);
    // On the next page the font is selected again and the call's own
    // bNewPage goes back to 0, which is not written back.
    y = 300;
    FNDLSetCursor(&x, &y);
    r.page.nStopX = 77;
    ASSERT_EQ(FNDLFontDownloadW(&r.text, &r.page), 0);
    EXPECT_EQ(r.text.bNewPage, 1);
    EXPECT_EQ(r.text.nOffsetToText, 0);
    EXPECT_EQ(r.page.nStopX, 0);
    ResetLibraryState();
}

TEST(CoverPageOnPaper, FontFileLaysOutAsItsFaceName)
{
    // The same text through the font file and through the face name of the
    // same font: the same lines, each advance within one device unit.
    std::vector<Line> layouts[2];
    const long nLiveObjects = PlatformLiveGdiObjects();
    for (int bFromFile : {0, 1}) {
        ResetLibraryState();
        TempPath out;
        WideRequest r = MakeWideRequest(bFromFile ? kDejaVuSans : "DejaVu Sans", out.path,
                                        kProse, 1, bFromFile != 0);
        int x = 100, y = 300;
        FNDLSetCursor(&x, &y);
        ASSERT_EQ(FNDLFontDownloadW(&r.text, &r.page), 0);
        layouts[bFromFile] = LinesOf(Decode(out.Read()));
    }
    ASSERT_EQ(layouts[0].size(), layouts[1].size());
    ASSERT_GT(layouts[0].size(), 1u);
    for (size_t i = 0; i < layouts[0].size(); ++i) {
        const Line &byName = layouts[0][i], &byFile = layouts[1][i];
        EXPECT_EQ(byFile.chars, byName.chars);
        EXPECT_EQ(byFile.y, byName.y);
        ASSERT_EQ(byFile.advances.size(), byName.advances.size());
        for (size_t k = 0; k < byName.advances.size(); ++k)
            EXPECT_LE(std::abs(byFile.advances[k] - byName.advances[k]), 1) << i << " " << k;
    }

    // A font file that no installed font stands for measures its own
    // advances, and gives back what it opened to measure them.
    ResetLibraryState();
    TempFile file(AdvanceFont(2600, 600));
    TempPath out;
    WideRequest r = MakeWideRequest(file.path, out.path, "AB\xE3\x80\x82", 1, true);
    ASSERT_EQ(FNDLFontDownloadW(&r.text, &r.page), 0);
    EXPECT_EQ(LinesOf(Decode(out.Read())).at(0).advances, Ints({60, 100, 100}));
    ResetLibraryState();
    EXPECT_EQ(PlatformLiveGdiObjects(), nLiveObjects);
}
