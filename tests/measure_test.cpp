// SPDX-License-Identifier: MIT
// The measuring calls: what they say a download would set is what the
// download then sets (its lines, advances, stops and page ends, decoded
// back from the file), and measuring writes nothing and changes no state.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform_hooks.h"
#include "qorvfndl.h"
#include "session/session.h"
#include "support/fontbuilder.h"
#include "support/requests.h"
#include "xldecode/xldecode.h"

namespace {

using Ints = std::vector<int>;

struct Line {
    int x, y;
    std::u16string chars;
    Ints advances;
};

Ints Numbers(const XLOperation &op, uint16_t nAttribute)
{
    const XLAttribute *pAttribute = op.Find(nAttribute);
    if (pAttribute == nullptr)
        return {};
    return Ints(pAttribute->value.numbers.begin(), pAttribute->value.numbers.end());
}

// The SetCursor and Text pairs of the bytes the download appended.
std::vector<Line> LinesWritten(const std::vector<uint8_t> &bytes)
{
    std::vector<XLOperation> ops;
    XLDecodeError error;
    EXPECT_TRUE(XLDecodeOperations(bytes, ops, error)) << error.message;
    std::vector<Line> lines;
    for (const XLOperation &op : ops) {
        if (op.op == 0x6B) { // SetCursor
            const Ints point = Numbers(op, 0x4C);
            lines.push_back({point.at(0), point.at(1), {}, {}});
        } else if (op.op == 0xA8 && !lines.empty()) { // Text
            for (int ch : Numbers(op, 0xAB))
                lines.back().chars.push_back(static_cast<char16_t>(ch));
            lines.back().advances = Numbers(op, 0xAF);
        }
    }
    return lines;
}

// The lines the measure says the download sets, as the file would show them.
std::vector<Line> LinesMeasured(const FNDL_TEXTMEASURE &measure, const FNDL_TEXTINFOW &text,
                                int nLineSpacing)
{
    std::vector<Line> lines;
    for (int k = 0; k < measure.nLines; ++k) {
        const int nStart = measure.anLineStart[k];
        const int nLength = measure.anLineLength[k];
        Line line{k == 0 ? measure.nCursorX : text.nLeftMargin,
                  measure.nCursorY + k * nLineSpacing,
                  std::u16string(text.szText + nStart, text.szText + nStart + nLength),
                  Ints(measure.anAdvance + nStart, measure.anAdvance + nStart + nLength)};
        lines.push_back(line);
    }
    return lines;
}

void ExpectSameLines(const std::vector<Line> &measured, const std::vector<Line> &written)
{
    ASSERT_EQ(measured.size(), written.size());
    for (size_t i = 0; i < written.size(); ++i) {
        EXPECT_EQ(measured[i].x, written[i].x) << i;
        EXPECT_EQ(measured[i].y, written[i].y) << i;
        EXPECT_EQ(measured[i].chars, written[i].chars) << i;
        EXPECT_EQ(measured[i].advances, written[i].advances) << i;
    }
}

// What the process holds between calls, to see that a measure leaves it.
struct LibraryState {
    FontSession *pSession;
    uint32_t nFonts;
    XLStream *pStream;
    int nCursorX, nCursorY;
    int nFontFileError;
    bool operator==(const LibraryState &) const = default;
};

LibraryState StateNow()
{
    return {g_pSession, g_pSession != nullptr ? g_pSession->nCount : 0u, g_pStream, g_nCursorX,
            g_nCursorY, bFontFileError};
}

// Measures, checks that nothing changed, downloads from the same cursor and
// checks that the download did what the measure said.
void MeasureThenDownload(WideRequest &r, const TempPath &out, int nCursorX, int nCursorY)
{
    FNDLSetCursor(&nCursorX, &nCursorY);
    const size_t nBefore = out.Read().size();
    const LibraryState before = StateNow();
    const std::vector<uint8_t> fileBefore = out.Read();
    FNDL_TEXTMEASURE measure;
    std::memset(&measure, 0x5A, sizeof(measure)); // every out field is written
    measure.nCursorX = nCursorX;
    measure.nCursorY = nCursorY;
    const FNDL_TEXTINFOW textBefore = r.text;
    const int nMeasured = FNDLMeasureTextW(&r.text, &r.page, &measure);
    EXPECT_EQ(StateNow(), before);
    EXPECT_EQ(out.Read(), fileBefore);
    EXPECT_EQ(std::memcmp(&textBefore, &r.text, sizeof(r.text)), 0);
    EXPECT_EQ(measure.nResult, nMeasured);

    r.text.bNewPage = 0;
    r.page.nStopX = 0;
    const int nDownloaded = FNDLFontDownloadW(&r.text, &r.page);
    ASSERT_EQ(nMeasured, nDownloaded);
    const std::vector<uint8_t> all = out.Read();
    ExpectSameLines(LinesMeasured(measure, textBefore, r.page.nLineSpacing),
                    LinesWritten(std::vector<uint8_t>(all.begin() + static_cast<std::ptrdiff_t>(nBefore),
                                                      all.end())));
    EXPECT_EQ(measure.nEndX, g_nCursorX);
    EXPECT_EQ(measure.nEndY, FNDLGetCursor());
    EXPECT_EQ(measure.bNewPage, r.text.bNewPage);
    EXPECT_EQ(measure.nStopX, r.page.nStopX);
    if (nDownloaded != 0) {
        EXPECT_EQ(measure.nOffsetToText, r.text.nOffsetToText);
    }
    EXPECT_EQ(measure.nReserved1, 0);
}

const char *const kProse =
    "A job producer centres a heading, right-aligns a line or sizes a column by the widths "
    "the library will set: \xC3\x85ngstr\xC3\xB6m, \xE2\x82\xAC" "42, \xCE\xA9\xCE\xBC\xCE\xAD"
    "\xCE\xB3\xCE\xB1, WAVY Tj ffi. The quick brown fox jumps over the lazy dog. ";

} // namespace

TEST(MeasureText, SaysWhatTheDownloadSets)
{
    // Through the face name and from the font file; on a page that ends
    // after two lines, underlined, bold and italic; then the rest of the
    // text from the offset the page end gave.
    for (int bFromFile : {0, 1}) {
        ResetLibraryState();
        TempPath out;
        WideRequest r = MakeWideRequest(bFromFile ? kDejaVuSans : "DejaVu Sans", out.path,
                                        std::string(kProse) + kProse + kProse, 1, bFromFile != 0);
        r.text.bUnderline = 1;
        r.text.bBold = r.text.bItalic = 1;
        MeasureThenDownload(r, out, 1700, 6500);
        ASSERT_EQ(r.text.bNewPage, 1);
        MeasureThenDownload(r, out, 100, 300);
        ASSERT_EQ(r.text.bNewPage, 0);

        // Glyph indexes and advances of every unit, the skipped ones 0.
        FNDL_TEXTMEASURE measure{};
        WideRequest whole = MakeWideRequest("DejaVu Sans", out.path, "  AB", 5, false);
        whole.text.nOffsetToText = 1;
        ASSERT_EQ(FNDLMeasureTextW(&whole.text, &whole.page, &measure), 0) << bFromFile;
        EXPECT_EQ(measure.nUnits, 4);
        EXPECT_EQ(Ints(measure.anGlyph, measure.anGlyph + 5), Ints({0, 3, 36, 37, 0}));
        EXPECT_EQ(Ints(measure.anAdvance, measure.anAdvance + 5), Ints({0, 32, 68, 69, 0}));
        EXPECT_EQ(measure.nLines, 1);
        EXPECT_EQ(measure.anLineStart[0], 1);
        EXPECT_EQ(measure.anLineLength[0], 3);
        EXPECT_EQ(measure.nEndX, 0); // a fitting line leaves the cursor
    }

    // The ANSI form measures the text it converts, the same as the wide.
    ResetLibraryState();
    TempPath out;
    WideRequest wide = MakeWideRequest("DejaVu Sans", out.path, kProse, 2, false);
    AnsiRequest ansi = MakeAnsiRequest("DejaVu Sans", out.path, kProse, 2, false);
    FNDL_TEXTMEASURE byWide{}, byAnsi{};
    byWide.nCursorX = byAnsi.nCursorX = 2000;
    byWide.nCursorY = byAnsi.nCursorY = 400;
    ASSERT_EQ(FNDLMeasureTextW(&wide.text, &wide.page, &byWide), 0);
    ASSERT_EQ(FNDLMeasureTextA(&ansi.text, &ansi.page, &byAnsi), 0);
    EXPECT_GT(byWide.nLines, 1);
    EXPECT_EQ(std::memcmp(&byWide, &byAnsi, sizeof(byWide)), 0);
    EXPECT_TRUE(out.Read().empty());
    ResetLibraryState();
}

TEST(MeasureText, StopsWhereTheDownloadStops)
{
    // The letter font has no Z: the text stops there, as the download does,
    // with the x where the Z would have gone.
    ResetLibraryState();
    TempFile font(MakeLetterFont());
    TempPath out;
    WideRequest r = MakeWideRequest(font.path, out.path, "AB ZZ CD", 3, true);
    MeasureThenDownload(r, out, 100, 400);
    EXPECT_EQ(r.text.nOffsetToText, 3);
    EXPECT_GT(r.page.nStopX, 100);
    r.text.nOffsetToText = 4;
    MeasureThenDownload(r, out, r.page.nStopX, 400);
    EXPECT_EQ(r.text.nOffsetToText, 4);
    r.text.nOffsetToText = 5;
    MeasureThenDownload(r, out, r.page.nStopX, 400);

    FNDL_TEXTMEASURE measure{};
    r.text.nOffsetToText = 0;
    ASSERT_EQ(FNDLMeasureTextW(&r.text, &r.page, &measure), 1);
    EXPECT_EQ(Ints(measure.anGlyph, measure.anGlyph + 8), Ints({2, 3, 1, 0, 0, 1, 4, 5}));
    // The units it stops at have no advance; those beyond have theirs.
    EXPECT_EQ(measure.anAdvance[3], 0);
    EXPECT_EQ(measure.anAdvance[4], 0);
    EXPECT_GT(measure.anAdvance[7], 0);
    ResetLibraryState();
}

TEST(MeasureText, FailuresChangeNothing)
{
    ResetLibraryState();
    TempPath out;
    WideRequest r = MakeWideRequest("DejaVu Sans", out.path, "Hello", 1, false);
    int x = 100, y = 300;
    FNDLSetCursor(&x, &y);
    ASSERT_EQ(FNDLFontDownloadW(&r.text, &r.page), 0);
    const std::vector<uint8_t> written = out.Read();
    const LibraryState before = StateNow();

    FNDL_TEXTMEASURE measure;
    const auto expectFailure = [&](const FNDL_TEXTINFOW *pText, const FNDL_PAGEINFOW *pPage) {
        std::memset(&measure, 0x5A, sizeof(measure));
        EXPECT_EQ(FNDLMeasureTextW(pText, pPage, &measure), 3);
        EXPECT_EQ(measure.nResult, 3);
        EXPECT_EQ(measure.nLines, 0);
        EXPECT_EQ(measure.anAdvance[0], 0);
        EXPECT_EQ(StateNow(), before);
        EXPECT_EQ(out.Read(), written);
    };
    EXPECT_EQ(FNDLMeasureTextW(&r.text, &r.page, nullptr), 3);
    EXPECT_EQ(FNDLMeasureTextA(nullptr, nullptr, nullptr), 3);
    expectFailure(nullptr, &r.page);
    expectFailure(&r.text, nullptr);
    WideRequest bad = r;
    bad.text.nOffsetToText = -1;
    expectFailure(&bad.text, &bad.page);
    // Another font under a font id the session holds is refused, as the
    // download refuses it.
    TempFile letters(MakeLetterFont());
    bad = MakeWideRequest(letters.path, out.path, "AB", 1, true);
    expectFailure(&bad.text, &bad.page);
    // A font file that cannot be read, a resolution the page cannot hold,
    // a negative line spacing, a refused page box.
    bad = MakeWideRequest("/no/such/font.ttf", out.path, "AB", 4, true);
    expectFailure(&bad.text, &bad.page);
    bad = r;
    bad.page.nResolution = 2900;
    expectFailure(&bad.text, &bad.page);
    bad = r;
    bad.page.nLineSpacing = -1;
    expectFailure(&bad.text, &bad.page);
    const FNDL_PAGEBOX tooLarge = {1500, 40000, 0, 0, 1600, 2000};
    EXPECT_EQ(FNDLSetPageBox(&tooLarge), 3);
    expectFailure(&r.text, &r.page);
    EXPECT_EQ(FNDLSetPageBox(nullptr), 0);

    // A measure after them still agrees with the download.
    MeasureThenDownload(r, out, 100, 400);
    ResetLibraryState();
}

// Memory that runs out anywhere in a measure (a font table or glyph read
// among others, through a face name and through a font file) fails it
// with every out field cleared and nothing changed, or it measures what a
// sound measure does.
TEST(MeasureText, AllocationFailuresFailTheMeasureAndChangeNothing)
{
    for (bool bFromFile : {false, true}) {
        SCOPED_TRACE(bFromFile ? "font file" : "face name");
        ResetLibraryState();
        TempPath out;
        WideRequest r =
            MakeWideRequest(bFromFile ? kDejaVuSans : "DejaVu Sans", out.path, "Hello world", 1, bFromFile);
        const LibraryState before = StateNow();
        FNDL_TEXTMEASURE sound;
        std::memset(&sound, 0, sizeof(sound));
        const long nStart = PlatformAllocationCount();
        ASSERT_EQ(FNDLMeasureTextW(&r.text, &r.page, &sound), 0);
        const long nAllocations = PlatformAllocationCount() - nStart;
        ASSERT_GT(nAllocations, 3);
        for (long n = 1; n <= nAllocations; ++n) {
            FNDL_TEXTMEASURE measure;
            std::memset(&measure, 0, sizeof(measure));
            PlatformFailNthAllocation(n);
            const int nResult = FNDLMeasureTextW(&r.text, &r.page, &measure);
            PlatformFailNthAllocation(0);
            if (nResult == 0) {
                EXPECT_EQ(std::memcmp(&measure, &sound, sizeof(measure)), 0) << "allocation " << n;
            } else {
                EXPECT_EQ(nResult, 3) << "allocation " << n;
                EXPECT_EQ(measure.nResult, 3);
                EXPECT_EQ(measure.nUnits, 0);
                EXPECT_EQ(measure.anAdvance[0], 0);
            }
            EXPECT_EQ(StateNow(), before) << "allocation " << n;
            EXPECT_TRUE(out.Read().empty());
            if (HasFailure())
                return;
        }
    }
    ResetLibraryState();
}
