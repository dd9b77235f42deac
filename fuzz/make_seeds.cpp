// SPDX-License-Identifier: MIT
// Writes the seed corpora at fuzz time, so that none is kept in the
// repository: small synthetic fonts (simple, composite and nested composite
// glyphs, long loca, symbol and format 12 cmaps, empty tables at shared
// offsets, a collection) and the first glyphs of DejaVu Sans when it is
// installed, each with a text and options, into DIR/font; the library's
// output for some of them into DIR/xldecode; GGO_NATIVE outlines of
// installed fonts into DIR/outline.
//
// Usage: fndl_fuzz_seeds DIR
#include <sys/stat.h>
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_request.h"
#include "qorvfndl.h"
#include "support/fontbuilder.h"
#include "support/requests.h"

namespace {

void WriteFile(const std::string &path, const Bytes &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Glyph 0 .notdef, 1 space, 2-96 the printable ASCII characters, then marks
// and composites: 100 é (e + acute), 101 ü (u + diaeresis), 102 ǖ (ü +
// macron, nested), 103 ё (e + diaeresis).
FontBuilder LatinFont(bool longLoca, std::vector<CmapSegment> extraSegments = {})
{
    std::vector<Bytes> glyphs = {MakeSimpleGlyph({{0, 0}, {500, 0}, {500, 700}}), Bytes{}};
    for (int16_t i = 2; i < 97; ++i)
        glyphs.push_back(MakeSimpleGlyph({{0, 0}, {static_cast<int16_t>(10 * i), 700}, {900, 0}}));
    glyphs.push_back(MakeSimpleGlyph({{200, 800}, {300, 900}, {350, 850}})); // 97 acute
    glyphs.push_back(MakeSimpleGlyph({{100, 800}, {150, 850}, {400, 800}})); // 98 diaeresis
    glyphs.push_back(MakeSimpleGlyph({{100, 900}, {500, 900}, {500, 950}})); // 99 macron
    const uint16_t e = 'e' - 0x1F, u = 'u' - 0x1F;
    glyphs.push_back(MakeCompositeOf({e, 97}));
    glyphs.push_back(MakeCompositeOf({u, 98}));
    glyphs.push_back(MakeCompositeOf({101, 99}));
    glyphs.push_back(MakeCompositeOf({e, 98}));
    std::vector<CmapSegment> segments = {{0x20, 0x7E, -0x1F},
                                         {0xE9, 0xE9, 100 - 0xE9},
                                         {0xFC, 0xFC, 101 - 0xFC},
                                         {0x1D6, 0x1D6, 102 - 0x1D6},
                                         {0x451, 0x451, 103 - 0x451}};
    segments.insert(segments.end(), extraSegments.begin(), extraSegments.end());
    return MakeSampleFont({.glyphs = glyphs, .longLoca = longLoca, .unicodeSegments = segments});
}

// The Latin font made variable: one axis (wght 100 to 900, a named
// instance at 900), every glyph's points and advance moved at its end.
Bytes VariableFont()
{
    FontBuilder font = LatinFont(false);
    Bytes fvar;
    for (const uint16_t value : {1, 0, 16, 2, 1, 20, 1, 8})
        AppendU16(fvar, value);
    AppendTag(fvar, "wght");
    AppendU32(fvar, 100u << 16), AppendU32(fvar, 400u << 16), AppendU32(fvar, 900u << 16);
    AppendU16(fvar, 0), AppendU16(fvar, 256), AppendU16(fvar, 257), AppendU16(fvar, 0);
    AppendU32(fvar, 900u << 16);
    AddTable(font, "fvar", fvar);
    constexpr uint16_t kGlyphs = 104;
    Bytes data;
    std::vector<uint32_t> offsets;
    for (uint16_t g = 0; g < kGlyphs; ++g) {
        offsets.push_back(static_cast<uint32_t>(data.size()));
        if (g == 1)
            continue; // the space has no points
        const uint8_t nPoints = g < 100 ? 3 + 4 : 2 + 4;
        const Bytes tuple = {0x00, 0x01, 0x00, 10, 0x00, static_cast<uint8_t>(3 + 2 * nPoints), 0xA0, 0x00, 0x40, 0x00};
        AppendBytes(data, tuple);
        AppendU8(data, 0x00); // every point
        for (int axis = 0; axis < 2; ++axis) {
            AppendU8(data, nPoints - 1);
            for (uint8_t p = 0; p < nPoints; ++p)
                AppendU8(data, static_cast<uint8_t>(p + 1 == nPoints - 2 ? 40 : axis == 0 ? 5 * p : 3));
        }
    }
    offsets.push_back(static_cast<uint32_t>(data.size()));
    Bytes gvar;
    AppendU16(gvar, 1), AppendU16(gvar, 0), AppendU16(gvar, 1), AppendU16(gvar, 0);
    AppendU32(gvar, 0), AppendU16(gvar, kGlyphs), AppendU16(gvar, 1);
    AppendU32(gvar, static_cast<uint32_t>(20 + 4 * offsets.size()));
    for (const uint32_t offset : offsets)
        AppendU32(gvar, offset);
    AppendBytes(gvar, data);
    AddTable(font, "gvar", gvar);
    return BuildFont(font);
}

// A symbol cmap first, then format 12 and a Unicode format 4.
Bytes SymbolFont()
{
    FontBuilder font = LatinFont(false);
    SetTable(font, "cmap",
             MakeCmap({{0, 3, MakeCmapFormat4({{0x20, 0x7E, -0x1F}})},
                       {3, 0, MakeCmapFormat4({{0xF020, 0xF07E, static_cast<int16_t>(-0xF01F)}})},
                       {3, 10, MakeCmapFormat12({{0x20, 0x7E, 1}})}}));
    return BuildFont(font);
}

// Segments that overlap earlier ones (the first segment decides a code), one
// through glyphIdArray, and a second cmap record after the first: the
// character table's slow paths, built without coverage callbacks, so the
// fuzzer needs a seed that reaches them.
Bytes OverlappingCmapFont()
{
    FontBuilder font = LatinFont(false, {{0x41, 0x5A, 0, {5, 6, 7, 0, 9}}, {0x3000, 0x3001, 0, {10, 0}},
                                         {0xE0, 0xFF, 3}});
    AddTable(font, "cmap", MakeCmap({{3, 1, MakeCmapFormat4({{0x20, 0x7E, 1}})}}));
    return BuildFont(font);
}

// Empty tables among the header's, each at the offset of the table after
// it: runs of equal offsets in the directory, whose order the header keeps
// (computed without coverage callbacks, so the fuzzer needs a seed that
// reaches it).
Bytes EqualOffsetsFont()
{
    FontBuilder font = LatinFont(false);
    for (const char *tag : {"cvt ", "fpgm", "prep", "zed0", "zed1", "zed2"})
        AddTable(font, tag, Bytes{});
    font.layout.clear();
    for (size_t k = font.tables.size(); k-- > 0;)
        font.layout.push_back(k);
    return BuildFont(font);
}

// The first glyphs of a real font with its hinting tables: enough for ASCII
// and the Latin-1 composites, a few tens of KB.
Bytes FirstGlyphsOf(const Bytes &font, uint16_t keep)
{
    FontBuilder subset;
    const uint16_t numTables = GetU16(font, 4);
    Bytes glyf, loca, head, hhea, hmtx, maxp;
    for (const char *tag : {"cmap", "cvt ", "fpgm", "prep", "glyf", "loca", "head", "hhea", "hmtx", "maxp"}) {
        for (uint16_t k = 0; k < numTables; ++k) {
            const size_t record = DirectoryRecordPosition(k);
            if (std::string(font.begin() + static_cast<long>(record), font.begin() + static_cast<long>(record) + 4) != tag)
                continue;
            const uint32_t offset = GetU32(font, record + 8), length = GetU32(font, record + 12);
            AddTable(subset, tag, Bytes(font.begin() + offset, font.begin() + offset + length));
        }
    }
    Bytes *pHead = FindTable(subset, "head"), *pLoca = FindTable(subset, "loca"), *pGlyf = FindTable(subset, "glyf"),
          *pMaxp = FindTable(subset, "maxp"), *pHhea = FindTable(subset, "hhea"), *pHmtx = FindTable(subset, "hmtx");
    if (!pHead || !pLoca || !pGlyf || !pMaxp || !pHhea || !pHmtx)
        return {};
    const bool longLoca = GetU16(*pHead, 50) != 0;
    const uint32_t glyfEnd = longLoca ? GetU32(*pLoca, 4u * keep) : 2u * GetU16(*pLoca, 2u * keep);
    pLoca->resize((keep + 1u) * (longLoca ? 4u : 2u));
    pGlyf->resize(glyfEnd);
    PutU16(*pMaxp, 4, keep);
    PutU16(*pHhea, 34, keep);
    pHmtx->resize(4u * keep);
    return BuildFont(subset);
}

// The library's output for a seed, read through the font-file source.
Bytes OutputOf(const Bytes &seed)
{
    const FuzzRequest request = SplitFuzzInput(seed.data(), seed.size());
    TempFile font(Bytes(request.font.begin(), request.font.end()));
    TempPath output;
    WideRequest r = MakeWideRequest(font.path, output.path, "", 1, true);
    std::copy(request.text.begin(), request.text.end(), r.text.szText);
    r.text.bUnderline = 1;
    FNDLFontDownloadW(&r.text, &r.page);
    int id = 1;
    FNDLRemoveFontW(&id);
    ResetLibraryState();
    return output.Read();
}

// GGO_NATIVE outlines of a few glyphs of an installed font at an em of
// upem units, each after its unitsPerEm, into DIR/outline: cubics from a
// font with PostScript outlines, quadratics from a TrueType one.
size_t WriteOutlineSeeds(const std::string &dir, const char *face, uint16_t upem)
{
    const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    LOGFONTA lf = {};
    lf.lfHeight = -upem;
    std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", face);
    HFONT font = CreateFontIndirectA(&lf);
    HDC hdc = CreateCompatibleDC(nullptr);
    SelectObject(hdc, font);
    size_t written = 0;
    for (const char ch : std::string("SOg@&%8")) {
        GLYPHMETRICS gm;
        const UINT format = GGO_NATIVE | GGO_UNHINTED;
        const DWORD size = GetGlyphOutlineA(hdc, static_cast<UINT>(ch), format, &gm, 0, nullptr, &identity);
        if (size == GDI_ERROR || size == 0)
            continue;
        Bytes input = {static_cast<uint8_t>(upem), static_cast<uint8_t>(upem >> 8)};
        input.resize(2 + size);
        if (GetGlyphOutlineA(hdc, static_cast<UINT>(ch), format, &gm, size, input.data() + 2, &identity) != size)
            continue;
        WriteFile(dir + "/outline/" + face + "-" + std::to_string(static_cast<int>(ch)), input);
        ++written;
    }
    DeleteDC(hdc);
    DeleteObject(font);
    return written;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    mkdir(dir.c_str(), 0755);
    mkdir((dir + "/font").c_str(), 0755);
    mkdir((dir + "/xldecode").c_str(), 0755);
    mkdir((dir + "/outline").c_str(), 0755);

    const std::u16string longText =
        u"\u00e9 \u01d6 \u0451 \u00fc and enough words after them to fill two or three lines of the page";
    struct Seed {
        const char *name;
        std::u16string text;
        uint8_t options;
        Bytes font;
    };
    std::vector<Seed> seeds = {
        {"latin", u"Hello, World!", 0, BuildFont(LatinFont(false))},
        {"composites", longText, kFuzzSameIdAgain | kFuzzSecondId, BuildFont(LatinFont(false))},
        {"long-loca", u"Bold italic underlined", kFuzzBold | kFuzzItalic | kFuzzUnderline | kFuzzLargeFont,
         BuildFont(LatinFont(true))},
        {"page-end", longText, kFuzzNearPageEnd | kFuzzNarrowMargin | kFuzzSameIdAgain, BuildFont(LatinFont(false))},
        {"odd-text", std::u16string(u"a\uffffb\u3000=") + char16_t(0xD800) + u"\u00e9", kFuzzSameIdAgain,
         BuildFont(LatinFont(false, {{0x3000, 0x3000, 0}}))},
        {"symbol", u"Symbol", 0, SymbolFont()},
        {"overlapping-cmap", u"AZ \u3000\u3001 \u00e9\u00fc", kFuzzSameIdAgain, OverlappingCmapFont()},
        {"equal-offsets", u"Equal", kFuzzSecondId, EqualOffsetsFont()},
        {"collection", u"Collection", kFuzzSecondId, BuildCollection({LatinFont(false), LatinFont(true)})},
        {"variable", u"X variable \u00e9\u01d6", 0, VariableFont()},
    };
    const Bytes dejaVu = ReadFile(kDejaVuSans);
    if (!dejaVu.empty())
        seeds.push_back({"dejavu-first-glyphs", u"A\u00e9 \u01d6 \u0451 Hello", kFuzzUnderline,
                         FirstGlyphsOf(dejaVu, 256)});

    for (const Seed &seed : seeds) {
        const Bytes input = JoinFuzzInput(seed.text, seed.options, seed.font);
        WriteFile(dir + "/font/" + seed.name, input);
        const Bytes output = OutputOf(input);
        WriteFile(dir + "/xldecode/" + seed.name, output);
        if (std::string(seed.name) == "latin") {
            const std::string header = ") HP-PCL XL;2;0;Comment\r\n";
            Bytes withHeader(header.begin(), header.end());
            withHeader.insert(withHeader.end(), output.begin(), output.end());
            WriteFile(dir + "/xldecode/with-stream-header", withHeader);
        }
    }
    // Text files for the text path: the first byte picks the encoding
    // (0 auto, 1 Windows-1252, 2 UTF-7, 3 UTF-16).
    mkdir((dir + "/text").c_str(), 0755);
    std::string marks = std::string(1, '\0') + "a";
    for (int i = 0; i < 60; ++i)
        marks += "\xCC\x81";
    const std::vector<std::pair<std::string, std::string>> texts = {
        {"mixed", std::string("\0Hello \xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7 "
                              "\xE0\xA4\xA8\xE0\xA4\xAE\xE0\xA4\xB8\xE0\xA5\x8D\xE0\xA4\xA4\xE0\xA5\x87\n"
                              "\xE2\x81\xA7isolate \xF0\x9F\x98\x80\tend", 65)},
        {"marks", marks},
        {"latin1", "\x01" "caf\xE9 \x93q\x94\n"},
        {"utf7", "\x02" "a+AGE\xFF\nb+AGE-c"},
        {"utf16", std::string("\x03\xFF\xFEH\0i\0\n\0\xD0\x05", 11)},
    };
    for (const auto &[name, bytes] : texts)
        WriteFile(dir + "/text/" + name, Bytes(bytes.begin(), bytes.end()));

    const size_t outlines = WriteOutlineSeeds(dir, "Nimbus Sans", 1000) + WriteOutlineSeeds(dir, "DejaVu Sans", 2048);
    std::printf("%zu font seeds in %s/font, %zu outline seeds in %s/outline\n", seeds.size(), dir.c_str(),
                outlines, dir.c_str());
    return 0;
}
