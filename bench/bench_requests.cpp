// SPDX-License-Identifier: MIT
#include "bench_requests.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

#include "support/requests.h"

#include <ft2build.h>
#include FT_FREETYPE_H

namespace {

// Kanji of the first school grades, in the usual order.
const char *const kKanji =
    "一右雨円王音下火花貝学気九休玉金空月犬見五口校左三山子四糸字耳七車手十出女小上森人水正生青夕石赤"
    "千川先早草足村大男竹中虫町天田土二日入年白八百文木本名目立力林六"
    "引羽雲園遠何科夏家歌画回会海絵外角楽活間丸岩顔汽記帰弓牛魚京強教近兄形計元言原戸古午後語工公広交光"
    "考行高黄合谷国黒今才細作算止市矢姉思紙寺自時室社弱首秋週春書少場色食心新親図数西声星晴切雪船線前組"
    "走多太体台地池知茶昼長鳥朝直通弟店点電刀冬当東答頭同道読内南肉馬売買麦半番父風分聞米歩母方北毎妹万"
    "明鳴毛門夜野友用曜来里理話"
    "悪安暗医委意育員院飲運泳駅央横屋温化荷界開階寒感漢館岸起期客究急級宮球去橋業曲局銀区苦具君係軽血決"
    "研県庫湖向幸港号根祭皿仕死使始指歯詩次事持式実写者主守取酒受州拾終習集住重宿所暑助昭消商章勝乗植申"
    "身神真深進世整昔全相送想息速族他打対待代第題炭短談着注柱丁帳調追定庭笛鉄転都度投豆島湯登等動童農波"
    "配倍箱畑発反坂板皮悲美鼻筆氷表秒病品負部服福物平返勉放味命面問役薬由油有遊予羊洋葉陽様落流旅両緑礼"
    "列練路和";

bool FontMaps(FT_Face face, char16_t ch)
{
    return face == nullptr || FT_Get_Char_Index(face, ch) != 0;
}

} // namespace

BenchRequest MakeBenchRequest(const std::string &font, bool bFromFile,
                              const std::u16string &text, const std::string &outputPath,
                              int nFontId)
{
    BenchRequest r;
    std::memset(&r, 0, sizeof(r));
    r.text.FontHeight = 120;
    r.text.nLeftMargin = 100;
    r.page.nFontId = nFontId;
    r.page.nResolution = 600;
    r.page.nLineSpacing = 100;
    r.page.lfWeight = 400;
    r.page.bTTE = bFromFile ? 1 : 0;
    const std::u16string wFont = Utf16(font), wPath = Utf16(outputPath);
    std::memcpy(r.text.szText, text.data(), std::min<size_t>(text.size(), 511) * 2);
    std::memcpy(r.page.chFont, wFont.data(), std::min<size_t>(wFont.size(), 255) * 2);
    std::memcpy(r.page.szOutputPath, wPath.data(), std::min<size_t>(wPath.size(), 255) * 2);
    return r;
}

std::u16string JapaneseText(const char *szFontPath, size_t nCount)
{
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) == 0 && FT_New_Face(library, szFontPath, 0, &face) != 0)
        face = nullptr;

    std::u16string kana;
    for (char16_t ch = 0x3042; ch <= 0x3093; ++ch) // hiragana
        kana.push_back(ch);
    for (char16_t ch = 0x30A2; ch <= 0x30F3; ++ch) // katakana
        kana.push_back(ch);
    const std::u16string kanji = Utf16(kKanji);

    // Two kanji, then a kana, as running Japanese text mixes them; every
    // character once.
    std::u16string text;
    std::set<char16_t> used;
    size_t nKanji = 0, nKana = 0;
    auto take = [&](const std::u16string &from, size_t &next) {
        while (next < from.size()) {
            const char16_t ch = from[next++];
            if (used.count(ch) == 0 && FontMaps(face, ch)) {
                used.insert(ch);
                text.push_back(ch);
                return;
            }
        }
    };
    while (text.size() < nCount && (nKanji < kanji.size() || nKana < kana.size())) {
        take(kanji, nKanji);
        if (text.size() < nCount)
            take(kanji, nKanji);
        if (text.size() < nCount)
            take(kana, nKana);
    }
    if (face != nullptr)
        FT_Done_Face(face);
    if (library != nullptr)
        FT_Done_FreeType(library);
    return text;
}

namespace {

// The font file's face through FreeType, released when it goes.
struct FreeTypeFace {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    explicit FreeTypeFace(const char *szPath)
    {
        if (FT_Init_FreeType(&library) == 0 && FT_New_Face(library, szPath, 0, &face) != 0)
            face = nullptr;
    }
    ~FreeTypeFace()
    {
        if (face != nullptr)
            FT_Done_Face(face);
        if (library != nullptr)
            FT_Done_FreeType(library);
    }
    FreeTypeFace(const FreeTypeFace &) = delete;
    FreeTypeFace &operator=(const FreeTypeFace &) = delete;
};

constexpr int kEmDots = 100; // 12 pt at 600 dpi

} // namespace

std::vector<FNDL_GLYPH> ShapedRun(const char *szFontPath, size_t nCount)
{
    const FreeTypeFace font(szFontPath);
    std::vector<FNDL_GLYPH> run;
    if (font.face == nullptr)
        return run;
    const FT_Face face = font.face;
    for (FT_Long nGlyph = 1; nGlyph < face->num_glyphs && run.size() < nCount; ++nGlyph) {
        if (FT_Load_Glyph(face, static_cast<FT_UInt>(nGlyph), FT_LOAD_NO_SCALE) != 0 ||
            face->glyph->outline.n_points == 0)
            continue;
        const bool bMark = run.size() % 4 == 3;
        const int nAdvance = static_cast<int>(face->glyph->advance.x * kEmDots / face->units_per_EM);
        run.push_back({static_cast<int>(nGlyph), bMark ? 0 : nAdvance, bMark ? -30 : 0, bMark ? -20 : 0});
    }
    return run;
}

std::vector<FNDL_GLYPH> GlyphsOfText(const char *szFontPath, const std::u16string &text)
{
    const FreeTypeFace font(szFontPath);
    std::vector<FNDL_GLYPH> run;
    for (char16_t ch : text) {
        const FT_UInt nGlyph = font.face != nullptr ? FT_Get_Char_Index(font.face, ch) : 0;
        run.push_back({static_cast<int>(nGlyph), kEmDots, 0, 0});
    }
    return run;
}

BenchGlyphRun MakeBenchGlyphRun(const std::string &font, bool bFromFile,
                                const std::vector<FNDL_GLYPH> &glyphs,
                                const std::string &outputPath, int nFontId)
{
    BenchGlyphRun r;
    r.run = {120, 0, 0, static_cast<int>(glyphs.size()), 0, 0};
    r.glyphs = glyphs;
    r.page = MakeBenchRequest(font, bFromFile, u"", outputPath, nFontId).page;
    return r;
}

std::u16string LatinText(size_t nCount)
{
    static const char *const kParagraph =
        "The quick brown fox jumps over the lazy dog while five wizards box jolly quickly. "
        "Pack my box with five dozen liquor jugs, and sphinx of black quartz, judge my vow! "
        "Job producers send cover pages in many languages: Zwei Boxkampfer jagen Eva quer "
        "durch Sylt (1234567890). ";
    std::string text;
    while (text.size() < nCount)
        text += kParagraph;
    text.resize(nCount);
    return Utf16(text);
}

bool FileExists(const char *szPath)
{
    return access(szPath, R_OK) == 0;
}

BenchOutput::BenchOutput()
{
    char sz[256];
    std::snprintf(sz, sizeof(sz), "/tmp/fndl-bench-%d.pxl", static_cast<int>(getpid()));
    path = sz;
    Truncate();
}

BenchOutput::~BenchOutput() { std::remove(path.c_str()); }

void BenchOutput::Truncate() const
{
    if (FILE *pFile = std::fopen(path.c_str(), "wb"))
        std::fclose(pFile);
}

std::vector<uint8_t> BenchOutput::Read() const
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void ResetCursor()
{
    int nX = 100;
    int nY = 100;
    FNDLSetCursor(&nX, &nY);
}

void EndSession(int nFontId)
{
    FNDLRemoveFontW(&nFontId);
}
