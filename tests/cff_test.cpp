// SPDX-License-Identifier: MIT
// OpenType fonts with PostScript (CFF) outlines: GGO_NATIVE outlines from
// the platform layer, and their download as TrueType soft fonts.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <map>
#include <vector>

#include "download/outlineconvert.h"

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
