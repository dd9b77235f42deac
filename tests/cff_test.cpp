// SPDX-License-Identifier: MIT
// OpenType fonts with PostScript (CFF) outlines: GGO_NATIVE outlines from
// the platform layer, and their download as TrueType soft fonts.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "download/download.h"
#include "download/outlineconvert.h"
#include "platform/platform_hooks.h"
#include "support/requests.h"
#include "xldecode/xldecode.h"

namespace {

const MAT2 kIdentity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};

// A memory DC with a font one em high (upem units) selected.
struct EmFont {
    HDC hdc = CreateCompatibleDC(nullptr);
    HFONT font;
    EmFont(const char *face, LONG upem)
    {
        LOGFONTA lf = {};
        lf.lfHeight = -upem;
        std::strncpy(lf.lfFaceName, face, sizeof lf.lfFaceName - 1);
        font = CreateFontIndirectA(&lf);
        SelectObject(hdc, font);
    }
    ~EmFont()
    {
        DeleteDC(hdc);
        DeleteObject(font);
    }
};

// Record counts by type of a GGO_NATIVE buffer; empty when its framing is wrong.
std::map<WORD, int> CurveTypes(const std::vector<uint8_t> &buffer)
{
    std::map<WORD, int> types;
    size_t at = 0;
    while (at < buffer.size()) {
        TTPOLYGONHEADER polygon;
        std::memcpy(&polygon, buffer.data() + at, sizeof polygon);
        if (polygon.dwType != TT_POLYGON_TYPE || polygon.cb > buffer.size() - at)
            return {};
        for (size_t c = at + sizeof polygon; c < at + polygon.cb;) {
            WORD header[2];
            std::memcpy(header, buffer.data() + c, sizeof header);
            ++types[header[0]];
            c += sizeof header + header[1] * sizeof(POINTFX);
        }
        at += polygon.cb;
    }
    return types;
}

std::vector<uint8_t> NativeOutline(HDC hdc, UINT glyph, UINT format = GGO_NATIVE | GGO_UNHINTED)
{
    GLYPHMETRICS gm;
    const DWORD size = GetGlyphOutlineA(hdc, glyph, format, &gm, 0, nullptr, &kIdentity);
    if (size == GDI_ERROR || size == 0)
        return {};
    std::vector<uint8_t> buffer(size);
    EXPECT_EQ(GetGlyphOutlineA(hdc, glyph, format, &gm, size, buffer.data(), &kIdentity), size);
    return buffer;
}

std::vector<XLOperation> Operations(const std::vector<uint8_t> &bytes)
{
    std::vector<XLOperation> ops;
    XLDecodeError error;
    EXPECT_TRUE(XLDecodeOperations(bytes, ops, error)) << error.message << " at " << error.offset;
    return ops;
}

constexpr uint8_t kBeginFontHeader = 0x4F, kReadFontHeader = 0x50, kEndFontHeader = 0x51,
                  kBeginChar = 0x52, kReadChar = 0x53, kEndChar = 0x54;

DWORD FontTag(const char (&tag)[5])
{
    return static_cast<DWORD>(tag[0] | tag[1] << 8 | tag[2] << 16 | tag[3] << 24);
}

uint16_t BE16(const std::vector<uint8_t> &b, size_t at) { return static_cast<uint16_t>(b[at] << 8 | b[at + 1]); }

} // namespace

TEST(NativeOutlines, CubicsForCffQuadraticsForTrueType)
{
    EmFont cff("Nimbus Sans", 1000);
    if (GetOutlineTextMetricsA(cff.hdc, 0, nullptr) == 0)
        GTEST_SKIP() << "Nimbus Sans (fonts-urw-base35) not installed";
    const std::vector<uint8_t> s = NativeOutline(cff.hdc, 'S', GGO_NATIVE | GGO_UNHINTED);
    std::map<WORD, int> types = CurveTypes(s);
    EXPECT_GT(types[TT_PRIM_CSPLINE], 0);
    EXPECT_EQ(types[TT_PRIM_QSPLINE], 0);
    // One em high in font units: the outline converts to an 'S' of about
    // cap height (729 units in Nimbus Sans) above the baseline.
    uint8_t *pbyGlyph = nullptr;
    uint32_t nLength = 0;
    ASSERT_EQ(ConvertNativeOutline(s, 1000, &pbyGlyph, &nLength), 1);
    const auto yMax = static_cast<int16_t>(pbyGlyph[8] << 8 | pbyGlyph[9]);
    EXPECT_NEAR(yMax, 741, 20);
    GlobalFree(pbyGlyph);
    // A converted glyph's box is its drawn outline's, which is what the
    // font's left side bearings give: a TrueType rasterizer places it by
    // the difference, so any other would shift it sideways.
    const DWORD hmtxSize = GetFontData(cff.hdc, FontTag("hmtx"), 0, nullptr, 0);
    std::vector<uint8_t> hhea(36), hmtx(hmtxSize == GDI_ERROR ? 0 : hmtxSize);
    ASSERT_EQ(GetFontData(cff.hdc, FontTag("hhea"), 0, hhea.data(), 36), 36u);
    ASSERT_EQ(GetFontData(cff.hdc, FontTag("hmtx"), 0, hmtx.data(), hmtxSize), hmtxSize);
    const uint16_t longMetrics = BE16(hhea, 34);
    int shifted = 0, compared = 0;
    for (UINT glyph = 1; glyph < 300 && 4u * glyph + 4 <= hmtx.size() && glyph < longMetrics; ++glyph) {
        const std::vector<uint8_t> native = NativeOutline(cff.hdc, glyph, GGO_NATIVE | GGO_UNHINTED | GGO_GLYPH_INDEX);
        if (native.empty() || ConvertNativeOutline(native, 1000, &pbyGlyph, &nLength) != 1 || nLength == 0)
            continue;
        const auto xMin = static_cast<int16_t>(pbyGlyph[2] << 8 | pbyGlyph[3]);
        const auto lsb = static_cast<int16_t>(BE16(hmtx, 4 * glyph + 2));
        shifted += std::abs(xMin - lsb) > 1;
        ++compared;
        GlobalFree(pbyGlyph);
    }
    EXPECT_GT(compared, 100);
    EXPECT_EQ(shifted, 0) << "of " << compared;
    // Asked again, 'S' is the same outline;
    // at half the height it is another outline.
    EXPECT_EQ(NativeOutline(cff.hdc, 'S', GGO_NATIVE | GGO_UNHINTED), s);
    EmFont half("Nimbus Sans", 500);
    EXPECT_NE(NativeOutline(half.hdc, 'S', GGO_NATIVE | GGO_UNHINTED), s);

    EmFont trueType("DejaVu Sans", 2048);
    types = CurveTypes(NativeOutline(trueType.hdc, 'S'));
    EXPECT_GT(types[TT_PRIM_QSPLINE], 0);
    EXPECT_EQ(types[TT_PRIM_CSPLINE], 0);

    // A space has no outline; a glyph index beyond the font, a buffer too
    // small and a transformation fail.
    GLYPHMETRICS gm;
    EXPECT_EQ(GetGlyphOutlineA(cff.hdc, ' ', GGO_NATIVE, &gm, 0, nullptr, &kIdentity), 0u);
    EXPECT_EQ(GetGlyphOutlineA(cff.hdc, 60000, GGO_NATIVE | GGO_GLYPH_INDEX, &gm, 0, nullptr, &kIdentity),
              GDI_ERROR);
    std::vector<uint8_t> small(s.size() - 1);
    EXPECT_EQ(GetGlyphOutlineA(cff.hdc, 'S', GGO_NATIVE | GGO_UNHINTED, &gm, static_cast<DWORD>(small.size()),
                               small.data(), &kIdentity),
              GDI_ERROR);
    MAT2 twice = kIdentity;
    twice.eM11.value = 2;
    EXPECT_EQ(GetGlyphOutlineA(cff.hdc, 'S', GGO_NATIVE, &gm, 0, nullptr, &twice), GDI_ERROR);
}

TEST(CffDownload, SendsATrueTypeSoftFontWithConvertedGlyphs)
{
    ResetLibraryState();
    {
        EmFont probe("Nimbus Sans", 1000);
        if (GetOutlineTextMetricsA(probe.hdc, 0, nullptr) == 0)
            GTEST_SKIP() << "Nimbus Sans (fonts-urw-base35) not installed";
    }
    const long nGdiObjects = PlatformLiveGdiObjects();
    TempPath out;
    WideRequest first = MakeWideRequest("Nimbus Sans", out.path, "H H", 7, false);
    ASSERT_EQ(FNDLFontDownloadW(&first.text, &first.page), FNDL_OK);
    const std::vector<XLOperation> ops = Operations(out.Read());
    std::vector<uint8_t> codes;
    std::vector<std::vector<uint8_t>> header, chars;
    for (const XLOperation &op : ops) {
        codes.push_back(op.op);
        if (op.op == kReadFontHeader)
            header.push_back(op.data);
        if (op.op == kReadChar)
            chars.push_back(op.data);
    }
    // Header: descriptor, GT segment of head, hhea, hmtx and a built maxp 1.0.
    ASSERT_EQ(codes[0], kBeginFontHeader);
    ASSERT_EQ(header.size(), 8u);
    EXPECT_EQ(header[0], (std::vector<uint8_t>{0, 0, 0, 1, 1, 0, 0x03, 0x57})); // 855 glyphs
    const std::vector<uint8_t> &directory = header[2];
    ASSERT_EQ(directory.size(), 92u);
    EXPECT_EQ(std::vector<uint8_t>(directory.begin(), directory.begin() + 16),
              (std::vector<uint8_t>{0, 1, 0, 0, 0, 5, 0, 64, 0, 2, 0, 16, 'g', 'd', 'i', 'r'}));
    const char *tags[] = {"head", "hhea", "hmtx", "maxp"};
    uint32_t offset = 92;
    for (int k = 0; k < 4; ++k) {
        const size_t at = 28 + 16 * k;
        EXPECT_EQ(std::string(directory.begin() + at, directory.begin() + at + 4), tags[k]);
        EXPECT_EQ(BE16(directory, at + 10), offset);
        const uint32_t length = BE16(directory, at + 14);
        EXPECT_EQ(header[3 + k].size(), (length + 3) & ~3u);
        offset += (length + 3) & ~3u;
    }
    EXPECT_EQ(BE16(header[1], 4), offset); // segment size
    const std::vector<uint8_t> maxp = {0, 1, 0, 0, 0x03, 0x57, 0x0F, 0xA0, 0x03, 0xE8, 0, 0, 0, 0, 0, 2,
                                       0, 0,    0, 0,    0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(header[6], maxp);
    EXPECT_EQ(BE16(maxp, 6), kMaxConvertedPoints);
    EXPECT_EQ(BE16(maxp, 8), kMaxConvertedContours);
    EXPECT_EQ(codes[header.size() + 1], kEndFontHeader);

    // One character for "H H": glyph 41 as a simple glyph, box from the outline.
    ASSERT_EQ(chars.size(), 1u);
    const std::vector<uint8_t> &h = chars[0];
    EXPECT_EQ(std::vector<uint8_t>(h.begin(), h.begin() + 16),
              (std::vector<uint8_t>{1, 0, 0, 0x34, 0, 41, 0, 1, 0, 83, 0, 0, 0x02, 0x84, 0x02, 0xD9}));
    EXPECT_EQ(BE16(h, 16), 11); // twelve points, corners only
    EXPECT_EQ(std::count(codes.begin(), codes.end(), kBeginChar), 1);
    EXPECT_EQ(std::count(codes.begin(), codes.end(), kEndChar), 1);

    // The next request sends only what is new; the font goes, and with it
    // every GDI object the conversion used.
    const size_t nBefore = out.Read().size();
    WideRequest second = MakeWideRequest("Nimbus Sans", out.path, "Hi", 7, false);
    ASSERT_EQ(FNDLFontDownloadW(&second.text, &second.page), FNDL_OK);
    std::vector<uint8_t> all = out.Read();
    const std::vector<XLOperation> more = Operations(std::vector<uint8_t>(all.begin() + nBefore, all.end()));
    EXPECT_EQ(std::count_if(more.begin(), more.end(), [](const XLOperation &op) { return op.op == kReadChar; }), 1);
    EXPECT_EQ(std::count_if(more.begin(), more.end(), [](const XLOperation &op) { return op.op == kBeginFontHeader; }), 0);
    int nFontId = 7;
    FNDLRemoveFontW(&nFontId);
    EXPECT_EQ(PlatformLiveGdiObjects(), nGdiObjects);

    // From the font file: the same header and characters.
    TempPath fromFile;
    WideRequest file = MakeWideRequest("/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf",
                                       fromFile.path, "H H", 8, true);
    ASSERT_EQ(FNDLFontDownloadW(&file.text, &file.page), FNDL_OK);
    std::vector<std::vector<uint8_t>> fileHeader, fileChars;
    for (const XLOperation &op : Operations(fromFile.Read())) {
        if (op.op == kReadFontHeader)
            fileHeader.push_back(op.data);
        if (op.op == kReadChar)
            fileChars.push_back(op.data);
    }
    EXPECT_EQ(fileHeader, header);
    EXPECT_EQ(fileChars, chars);
    nFontId = 8;
    FNDLRemoveFontW(&nFontId);
    EXPECT_EQ(PlatformLiveGdiObjects(), nGdiObjects);
    ResetLibraryState();
}

// Converted glyphs are kept for the process by face: a later job on the
// face sends the same bytes without converting, and a face with the same
// glyph indices gets its own glyphs, not the other's.
TEST(CffDownload, KeptGlyphsAreTheirFacesOwn)
{
    {
        EmFont probe("Nimbus Roman", 1000);
        if (GetOutlineTextMetricsA(probe.hdc, 0, nullptr) == 0)
            GTEST_SKIP() << "Nimbus Sans and Roman (fonts-urw-base35) not installed";
    }
    auto characters = [](const char *face) {
        ResetLibraryState();
        TempPath out;
        WideRequest request = MakeWideRequest(face, out.path, "Sog", 9, false);
        EXPECT_EQ(FNDLFontDownloadW(&request.text, &request.page), FNDL_OK) << face;
        std::vector<std::vector<uint8_t>> chars;
        for (const XLOperation &op : Operations(out.Read()))
            if (op.op == kReadChar)
                chars.push_back(op.data);
        ResetLibraryState();
        return chars;
    };
    ForgetConvertedGlyphs();
    const auto sans = characters("Nimbus Sans");
    ASSERT_EQ(sans.size(), 3u);
    const auto roman = characters("Nimbus Roman");
    ASSERT_EQ(roman.size(), 3u);
    for (size_t k = 0; k < sans.size(); ++k)
        EXPECT_NE(sans[k], roman[k]) << k;
    EXPECT_EQ(characters("Nimbus Sans"), sans) << "kept";
    EXPECT_EQ(characters("Nimbus Roman"), roman) << "kept";
    ForgetConvertedGlyphs();
    EXPECT_EQ(characters("Nimbus Sans"), sans) << "converted again";
}
