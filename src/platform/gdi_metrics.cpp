// SPDX-License-Identifier: MIT
// Character widths, glyph metrics and outline text metrics of the selected
// font, in the device context's pixels, from FreeType.
//
// The em in pixels follows the logical font's height as GDI's font mapper
// does: lfHeight > 0 is the cell height (usWinAscent + usWinDescent, or the
// hhea ascender - descender without an OS/2 table), lfHeight < 0 minus the
// em, 0 a default size. Widths are hinted advances at that integer ppem,
// which is what GDI reports for TrueType fonts.
#include "platform_hooks.h"
#include "platform_internal.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include FT_TRUETYPE_TABLES_H
#include FT_MODULE_H
#include FT_DRIVER_H
#include FT_SIZES_H

namespace {

constexpr int kDefaultPpem = 12;
constexpr int kMaxPpem = 0xFFFF; // FreeType's limit for pixel sizes
constexpr int32_t kUnknownAdvance = INT32_MIN;
constexpr uint8_t kTmpfFixedPitch = 0x01; // set when the font is NOT fixed pitch
constexpr uint8_t kTmpfVector = 0x02;
constexpr uint8_t kTmpfTrueType = 0x04;
constexpr LONG kScreenDpi = 96;

// v * numerator / denominator, rounded half away from zero (GDI's MulDiv).
int64_t MulDivRounded(int64_t v, int64_t numerator, int64_t denominator)
{
    const int64_t product = v * numerator;
    const int64_t half = denominator / 2;
    return product >= 0 ? (product + half) / denominator : -((-product + half) / denominator);
}

int ComputePpem(LONG lfHeight, FT_Face face)
{
    int64_t em;
    if (lfHeight == 0) {
        em = kDefaultPpem;
    } else if (lfHeight < 0) {
        em = -static_cast<int64_t>(lfHeight);
    } else {
        const auto *os2 = static_cast<const TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        const auto *hhea = static_cast<const TT_HoriHeader *>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
        int64_t cell = os2 ? int64_t{os2->usWinAscent} + os2->usWinDescent : 0;
        if (cell <= 0 && hhea)
            cell = int64_t{hhea->Ascender} - hhea->Descender;
        if (cell <= 0)
            cell = face->units_per_EM;
        em = MulDivRounded(lfHeight, face->units_per_EM, cell);
    }
    return static_cast<int>(em < 1 ? 1 : (em > kMaxPpem ? kMaxPpem : em));
}

} // namespace

FT_Library PlatformFreeType()
{
    static FT_Library library = nullptr;
    static bool initialised = false;
    if (!initialised) {
        initialised = true;
        if (FT_Init_FreeType(&library) != 0) {
            library = nullptr;
        } else {
            // Pin the hinting engine so widths do not depend on the
            // environment (FREETYPE_PROPERTIES) or the build's default.
            FT_UInt interpreter = TT_INTERPRETER_VERSION_40;
            FT_Property_Set(library, "truetype", "interpreter-version", &interpreter);
        }
    }
    return library;
}

// Hinted glyph metrics as GetGlyphOutlineA reports them.
struct RealizedGlyphBox {
    bool known;
    UINT blackBoxX;
    UINT blackBoxY;
    LONG originX;
    LONG originY;
    SHORT cellIncX;
};

// A FreeType face of one file and face index, opened once for every height
// it is realized at (each realization has a size of its own): opening a
// face reads its tables, which for a large CFF font costs more than a
// hundred glyphs.
struct SharedFace {
    FontFile *file; // a reference of its own: the face reads the file's bytes
    int faceIndex;
    FT_Face ftFace;
    bool ftSymbolCmap;
    long users; // realizations using it
    SharedFace *next;
};

// FreeType state of one file, face and logical height: the face at its
// pixel size and the hinted glyph metrics measured so far. Shared by every
// logical font that realizes to it; kept for a while after the last one
// goes (see ReleaseFontMetrics).
struct FaceRealization {
    FontFile *file; // a reference of its own: the face reads the file's bytes
    int faceIndex;
    LONG lfHeight;
    struct SharedFace *shared; // null when FreeType cannot use the font
    FT_Face ftFace;            // the shared face, null with it
    FT_Size ftSize;            // the realization's own size of it
    bool ftSymbolCmap;         // only a Microsoft symbol cmap: codes live at U+F0xx
    int ppem;
    int32_t *advanceCache; // hinted advance per glyph, kUnknownAdvance until loaded
    RealizedGlyphBox *boxCache; // GetGlyphOutlineA metrics per glyph
    // Glyph + 1 per BMP code in pages of 256 codes made as they are asked
    // for (0: not looked up yet): a text measures the same codes line after
    // line.
    uint32_t *codeGlyphPages[0x10000 / 256];
    long users;            // fonts using it
    unsigned long lastUse; // when the last user went, for dropping the oldest
    FaceRealization *next;
};

namespace {

// Bytes that realizations without a font keep at most (FreeType face and
// the per-glyph caches, estimated); the oldest goes first. Bounded by
// memory, not by count, so that a job switching among many fonts realizes
// each once: a Latin font takes a few hundred kilobytes, a CJK font a few
// megabytes.
constexpr size_t kMaxKeptRealizationBytes = size_t{48} << 20;
// What a FreeType face with its size and hinting state takes, about.
constexpr size_t kFaceBytes = size_t{64} << 10;

FaceRealization *g_realizations = nullptr;
SharedFace *g_sharedFaces = nullptr;
unsigned long g_realizationClock = 0;

void DestroyRealization(FaceRealization *realization)
{
    for (uint32_t *page : realization->codeGlyphPages)
        free(page);
    if (realization->ftSize)
        FT_Done_Size(realization->ftSize);
    if (SharedFace *shared = realization->shared; shared && --shared->users == 0) {
        SharedFace **link = &g_sharedFaces;
        while (*link != shared)
            link = &(*link)->next;
        *link = shared->next;
        FT_Done_Face(shared->ftFace);
        ReleaseFontFile(shared->file);
        free(shared);
    }
    free(realization->advanceCache);
    free(realization->boxCache);
    ReleaseFontFile(realization->file);
    free(realization);
}

size_t RealizationBytes(const FaceRealization &realization)
{
    const size_t glyphs = realization.ftFace ? static_cast<size_t>(realization.ftFace->num_glyphs) : 0;
    size_t bytes = kFaceBytes;
    if (realization.advanceCache)
        bytes += glyphs * sizeof(int32_t);
    if (realization.boxCache)
        bytes += glyphs * sizeof(RealizedGlyphBox);
    for (const uint32_t *page : realization.codeGlyphPages)
        bytes += page ? 256 * sizeof(uint32_t) : 0;
    return bytes;
}

// Drops the least recently used realizations without fonts beyond the
// bytes kept.
void TrimUnusedRealizations()
{
    for (;;) {
        size_t unusedBytes = 0;
        FaceRealization **oldest = nullptr;
        for (FaceRealization **link = &g_realizations; *link; link = &(*link)->next) {
            if ((*link)->users > 0)
                continue;
            unusedBytes += RealizationBytes(**link);
            if (!oldest || (*link)->lastUse < (*oldest)->lastUse)
                oldest = link;
        }
        if (unusedBytes <= kMaxKeptRealizationBytes)
            return;
        FaceRealization *dropped = *oldest;
        *oldest = dropped->next;
        DestroyRealization(dropped);
    }
}

// The FreeType face of the file and face index, shared with the other
// realizations of it; null when FreeType cannot use the font or memory runs
// out.
SharedFace *OpenSharedFace(FontFile *file, int faceIndex)
{
    for (SharedFace *shared = g_sharedFaces; shared; shared = shared->next)
        if (shared->file == file && shared->faceIndex == faceIndex)
            return shared;
    FT_Library library = PlatformFreeType();
    FT_Face face = nullptr;
    if (!library ||
        FT_New_Memory_Face(library, file->bytes, static_cast<FT_Long>(file->size), faceIndex, &face) != 0)
        return nullptr;
    auto *shared = static_cast<SharedFace *>(calloc(1, sizeof(SharedFace)));
    if (!shared || !FT_IS_SFNT(face) || !FT_IS_SCALABLE(face) || face->units_per_EM == 0 ||
        face->num_glyphs <= 0) {
        free(shared);
        FT_Done_Face(face);
        return nullptr;
    }
    // FreeType picks a Unicode cmap when there is one; a symbol font has
    // only (3,0), whose codes GDI reaches at U+F020..U+F0FF.
    if (!face->charmap && FT_Select_Charmap(face, FT_ENCODING_MS_SYMBOL) == 0)
        shared->ftSymbolCmap = true;
    shared->file = RetainFontFile(file);
    shared->faceIndex = faceIndex;
    shared->ftFace = face;
    shared->next = g_sharedFaces;
    g_sharedFaces = shared;
    return shared;
}

// The realization's face, with its size the one FreeType scales by.
FT_Face ActiveFace(const FaceRealization &realization)
{
    FT_Activate_Size(realization.ftSize);
    return realization.ftFace;
}

// Opens the FreeType face (shared) and a size of it at the pixels for the
// logical height; false when FreeType cannot use the font.
bool OpenFace(FaceRealization &realization)
{
    SharedFace *shared = OpenSharedFace(realization.file, realization.faceIndex);
    if (!shared)
        return false;
    ++shared->users;
    realization.shared = shared;
    FT_Face face = shared->ftFace;
    if (FT_New_Size(face, &realization.ftSize) != 0) {
        realization.ftSize = nullptr;
        return false;
    }
    FT_Activate_Size(realization.ftSize);
    realization.ppem = ComputePpem(realization.lfHeight, face);
    if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(realization.ppem)) != 0)
        return false;
    realization.ftSymbolCmap = shared->ftSymbolCmap;
    realization.ftFace = face;
    return true;
}

// The font's realization, found among the kept ones or made on first use;
// null when out of memory. Its ftFace is null when FreeType cannot use the
// font (then every metrics call on it fails).
FaceRealization *Realize(FontObject &font)
{
    if (font.realization)
        return font.realization;
    FaceRealization *realization = g_realizations;
    while (realization && !(realization->file == font.file && realization->faceIndex == font.faceIndex &&
                            realization->lfHeight == font.logfont.lfHeight))
        realization = realization->next;
    if (!realization) {
        realization = static_cast<FaceRealization *>(calloc(1, sizeof(FaceRealization)));
        if (!realization)
            return nullptr;
        realization->file = RetainFontFile(font.file);
        realization->faceIndex = font.faceIndex;
        realization->lfHeight = font.logfont.lfHeight;
        OpenFace(*realization);
        realization->next = g_realizations;
        g_realizations = realization;
    }
    ++realization->users;
    font.realization = realization;
    return realization;
}

// The font's FreeType face, null when there is none.
FaceRealization *PrepareFace(FontObject &font)
{
    FaceRealization *realization = Realize(font);
    return realization && realization->ftFace ? realization : nullptr;
}

FT_UInt LookUpGlyphForCode(const FaceRealization &font, UINT code)
{
    FT_UInt glyph = FT_Get_Char_Index(font.ftFace, code);
    if (glyph == 0 && font.ftSymbolCmap && code <= 0xFF)
        glyph = FT_Get_Char_Index(font.ftFace, 0xF000 | code);
    return glyph;
}

FT_UInt GlyphForCode(FaceRealization &font, UINT code)
{
    if (code >= 0x10000)
        return LookUpGlyphForCode(font, code);
    uint32_t *&page = font.codeGlyphPages[code / 256];
    if (!page)
        page = static_cast<uint32_t *>(calloc(256, sizeof(uint32_t)));
    if (!page) // out of memory: looked up every time
        return LookUpGlyphForCode(font, code);
    uint32_t &kept = page[code % 256];
    if (kept == 0)
        kept = LookUpGlyphForCode(font, code) + 1;
    return kept - 1;
}

bool LoadHintedGlyph(const FaceRealization &font, FT_UInt glyph)
{
    return glyph < static_cast<FT_ULong>(font.ftFace->num_glyphs) &&
           FT_Load_Glyph(ActiveFace(font), glyph, FT_LOAD_DEFAULT) == 0;
}

int RoundedPixels(FT_Pos value26dot6) { return static_cast<int>((value26dot6 + 32) >> 6); }

// Hinted advance of a glyph in whole pixels, cached per glyph.
bool HintedAdvance(FaceRealization &font, FT_UInt glyph, int *advance)
{
    const auto glyphCount = static_cast<size_t>(font.ftFace->num_glyphs);
    if (!font.advanceCache) {
        font.advanceCache = static_cast<int32_t *>(malloc(glyphCount * sizeof(int32_t)));
        if (font.advanceCache)
            for (size_t i = 0; i < glyphCount; ++i)
                font.advanceCache[i] = kUnknownAdvance;
    }
    if (font.advanceCache && glyph < glyphCount && font.advanceCache[glyph] != kUnknownAdvance) {
        *advance = font.advanceCache[glyph];
        return true;
    }
    if (!LoadHintedGlyph(font, glyph))
        return false;
    *advance = RoundedPixels(font.ftFace->glyph->advance.x);
    if (font.advanceCache)
        font.advanceCache[glyph] = *advance;
    return true;
}

// Hinted black box, origin and advance of a glyph, cached per glyph.
bool HintedGlyphBox(FaceRealization &font, FT_UInt glyph, RealizedGlyphBox *box)
{
    const auto glyphCount = static_cast<size_t>(font.ftFace->num_glyphs);
    if (!font.boxCache)
        font.boxCache = static_cast<RealizedGlyphBox *>(calloc(glyphCount, sizeof(RealizedGlyphBox)));
    if (font.boxCache && glyph < glyphCount && font.boxCache[glyph].known) {
        *box = font.boxCache[glyph];
        return true;
    }
    if (!LoadHintedGlyph(font, glyph))
        return false;
    // Hinted metrics are grid-fitted already; flooring and ceiling keeps the
    // black box whole pixels for any glyph format.
    const FT_Glyph_Metrics &metrics = font.ftFace->glyph->metrics;
    const FT_Pos left = metrics.horiBearingX & -64;
    const FT_Pos right = (metrics.horiBearingX + metrics.width + 63) & -64;
    const FT_Pos top = (metrics.horiBearingY + 63) & -64;
    const FT_Pos bottom = (metrics.horiBearingY - metrics.height) & -64;
    // GDI reports an empty glyph (a space) as a 1 x 1 black box.
    const auto width = static_cast<UINT>((right - left) >> 6);
    const auto height = static_cast<UINT>((top - bottom) >> 6);
    box->known = true;
    box->blackBoxX = width ? width : 1;
    box->blackBoxY = height ? height : 1;
    box->originX = static_cast<LONG>(left >> 6);
    box->originY = static_cast<LONG>(top >> 6);
    box->cellIncX = static_cast<SHORT>(RoundedPixels(font.ftFace->glyph->advance.x));
    if (font.boxCache)
        font.boxCache[glyph] = *box;
    return true;
}

bool IsIdentity(const MAT2 &m)
{
    return m.eM11.value == 1 && m.eM11.fract == 0 && m.eM12.value == 0 && m.eM12.fract == 0 &&
           m.eM21.value == 0 && m.eM21.fract == 0 && m.eM22.value == 1 && m.eM22.fract == 0;
}

// Writes n bytes at offset of a caller's block of capacity bytes, clipped to it.
void CopyClipped(void *block, size_t capacity, size_t offset, const void *bytes, size_t n)
{
    if (offset >= capacity)
        return;
    memcpy(static_cast<uint8_t *>(block) + offset, bytes, n < capacity - offset ? n : capacity - offset);
}

struct FaceNames {
    const char *family;
    const char *style;
    char face[256]; // family and style, as GDI's face name
};

void MakeFaceNames(FT_Face face, FaceNames *names)
{
    names->family = face->family_name ? face->family_name : "";
    names->style = face->style_name ? face->style_name : "";
    const bool regular = names->style[0] == '\0' || strcmp(names->style, "Regular") == 0;
    snprintf(names->face, sizeof names->face, regular ? "%s" : "%s %s", names->family, names->style);
}

void FillTextMetrics(const FontObject &font, const FaceRealization &realization, TEXTMETRICA *tm)
{
    const FT_Face face = realization.ftFace;
    const auto *os2 = static_cast<const TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    const auto *hhea = static_cast<const TT_HoriHeader *>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
    const int64_t upem = face->units_per_EM;
    auto scale = [&](int64_t v) { return static_cast<LONG>(MulDivRounded(v, realization.ppem, upem)); };

    int64_t ascent = os2 ? os2->usWinAscent : 0;
    int64_t descent = os2 ? os2->usWinDescent : 0;
    if (ascent + descent == 0 && hhea) {
        ascent = hhea->Ascender;
        descent = -int64_t{hhea->Descender};
    }
    tm->tmAscent = scale(ascent);
    tm->tmDescent = scale(descent);
    tm->tmHeight = tm->tmAscent + tm->tmDescent;
    tm->tmInternalLeading = tm->tmHeight - realization.ppem;
    if (hhea) {
        const int64_t gap =
            hhea->Line_Gap - ((ascent + descent) - (int64_t{hhea->Ascender} - hhea->Descender));
        tm->tmExternalLeading = gap > 0 ? scale(gap) : 0;
        tm->tmMaxCharWidth = scale(hhea->advance_Width_Max);
    }
    tm->tmAveCharWidth = os2 ? scale(os2->xAvgCharWidth) : 0;
    tm->tmWeight = os2 ? os2->usWeightClass : (font.logfont.lfWeight > 0 ? font.logfont.lfWeight : FW_NORMAL);
    tm->tmDigitizedAspectX = kScreenDpi;
    tm->tmDigitizedAspectY = kScreenDpi;
    tm->tmBreakChar = 0x20;
    tm->tmItalic = font.logfont.lfItalic;
    tm->tmUnderlined = font.logfont.lfUnderline;
    tm->tmStruckOut = font.logfont.lfStrikeOut;
    tm->tmPitchAndFamily =
        static_cast<BYTE>(kTmpfVector | kTmpfTrueType | (FT_IS_FIXED_WIDTH(face) ? 0 : kTmpfFixedPitch));
    tm->tmCharSet = font.logfont.lfCharSet;
}

void FillOutlineMetrics(const FontObject &font, const FaceRealization &realization,
                        OUTLINETEXTMETRICA *otm)
{
    const FT_Face face = realization.ftFace;
    const auto *os2 = static_cast<const TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    const auto *hhea = static_cast<const TT_HoriHeader *>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
    const auto *head = static_cast<const TT_Header *>(FT_Get_Sfnt_Table(face, FT_SFNT_HEAD));
    const auto *post = static_cast<const TT_Postscript *>(FT_Get_Sfnt_Table(face, FT_SFNT_POST));
    const int64_t upem = face->units_per_EM;
    auto scale = [&](int64_t v) { return static_cast<int>(MulDivRounded(v, realization.ppem, upem)); };

    FillTextMetrics(font, realization, &otm->otmTextMetrics);
    otm->otmEMSquare = static_cast<UINT>(upem);
    if (os2) {
        memcpy(&otm->otmPanoseNumber, os2->panose, sizeof otm->otmPanoseNumber);
        otm->otmfsSelection = os2->fsSelection;
        otm->otmfsType = os2->fsType;
        otm->otmAscent = scale(os2->sTypoAscender);
        otm->otmDescent = scale(os2->sTypoDescender);
        otm->otmLineGap = static_cast<UINT>(scale(os2->sTypoLineGap));
        if (os2->version >= 2) {
            otm->otmsCapEmHeight = static_cast<UINT>(scale(os2->sCapHeight));
            otm->otmsXHeight = static_cast<UINT>(scale(os2->sxHeight));
        }
        otm->otmptSubscriptSize = POINT{scale(os2->ySubscriptXSize), scale(os2->ySubscriptYSize)};
        otm->otmptSubscriptOffset = POINT{scale(os2->ySubscriptXOffset), scale(os2->ySubscriptYOffset)};
        otm->otmptSuperscriptSize = POINT{scale(os2->ySuperscriptXSize), scale(os2->ySuperscriptYSize)};
        otm->otmptSuperscriptOffset =
            POINT{scale(os2->ySuperscriptXOffset), scale(os2->ySuperscriptYOffset)};
        otm->otmsStrikeoutSize = static_cast<UINT>(scale(os2->yStrikeoutSize));
        otm->otmsStrikeoutPosition = scale(os2->yStrikeoutPosition);
    }
    if (hhea) {
        otm->otmsCharSlopeRise = hhea->caret_Slope_Rise;
        otm->otmsCharSlopeRun = hhea->caret_Slope_Run;
        otm->otmMacAscent = scale(hhea->Ascender);
        otm->otmMacDescent = scale(hhea->Descender);
        otm->otmMacLineGap = static_cast<UINT>(scale(hhea->Line_Gap));
    }
    if (head) {
        otm->otmrcFontBox = RECT{scale(head->xMin), scale(head->yMax), scale(head->xMax), scale(head->yMin)};
        otm->otmusMinimumPPEM = head->Lowest_Rec_PPEM;
    }
    if (post) {
        // italicAngle is 16.16 degrees; GDI counts tenths of a degree.
        otm->otmItalicAngle = static_cast<int>(MulDivRounded(post->italicAngle, 10, 65536));
        otm->otmsUnderscoreSize = scale(post->underlineThickness);
        otm->otmsUnderscorePosition = scale(post->underlinePosition);
    }
}

} // namespace

void ReleaseFontMetrics(FontObject *font)
{
    free(font->outlineMetrics);
    font->outlineMetrics = nullptr;
    font->outlineMetricsSize = 0;
    FaceRealization *realization = font->realization;
    font->realization = nullptr;
    if (!realization || --realization->users > 0)
        return;
    realization->lastUse = ++g_realizationClock;
    TrimUnusedRealizations();
}

void PlatformForgetFontRealizations()
{
    for (FaceRealization **link = &g_realizations; *link;) {
        FaceRealization *realization = *link;
        if (realization->users > 0) {
            link = &realization->next;
            continue;
        }
        *link = realization->next;
        DestroyRealization(realization);
    }
}

BOOL GetCharWidthA(HDC hdc, UINT iFirst, UINT iLast, int *lpBuffer)
{
    FontObject *font = SelectedFont(hdc);
    FaceRealization *realization = font && lpBuffer && iLast >= iFirst ? PrepareFace(*font) : nullptr;
    if (!realization)
        return FALSE;
    BOOL allMeasured = TRUE;
    for (UINT code = iFirst;; ++code) {
        // A code without a glyph measures as glyph 0 (.notdef), as in GDI.
        int advance = 0;
        if (!HintedAdvance(*realization, GlyphForCode(*realization, code), &advance))
            allMeasured = FALSE;
        lpBuffer[code - iFirst] = advance;
        if (code == iLast)
            break;
    }
    return allMeasured;
}

DWORD GetGlyphOutlineA(HDC hdc, UINT uChar, UINT fuFormat, GLYPHMETRICS *lpgm, DWORD cjBuffer,
                       LPVOID pvBuffer, const MAT2 *lpmat2)
{
    FontObject *font = SelectedFont(hdc);
    // Metrics and native outlines, untransformed, are provided.
    const UINT format = fuFormat & ~(GGO_GLYPH_INDEX | GGO_UNHINTED);
    if (!font || !lpgm || !lpmat2 || (format != GGO_METRICS && format != GGO_NATIVE) ||
        !IsIdentity(*lpmat2))
        return GDI_ERROR;
    FaceRealization *realization = PrepareFace(*font);
    if (!realization)
        return GDI_ERROR;
    const FT_UInt glyph =
        (fuFormat & GGO_GLYPH_INDEX) ? uChar : GlyphForCode(*realization, uChar);
    if (format == GGO_NATIVE)
        return NativeGlyphOutline(ActiveFace(*realization), glyph, !(fuFormat & GGO_UNHINTED), lpgm, cjBuffer,
                                  pvBuffer);
    RealizedGlyphBox box;
    if (!HintedGlyphBox(*realization, glyph, &box))
        return GDI_ERROR;
    lpgm->gmBlackBoxX = box.blackBoxX;
    lpgm->gmBlackBoxY = box.blackBoxY;
    lpgm->gmptGlyphOrigin.x = box.originX;
    lpgm->gmptGlyphOrigin.y = box.originY;
    lpgm->gmCellIncX = box.cellIncX;
    lpgm->gmCellIncY = 0;
    return 1;
}

UINT GetOutlineTextMetricsA(HDC hdc, UINT cjCopy, OUTLINETEXTMETRICA *potm)
{
    FontObject *font = SelectedFont(hdc);
    if (font && font->outlineMetrics) {
        const size_t kept = font->outlineMetricsSize;
        if (potm)
            CopyClipped(potm, cjCopy, 0, font->outlineMetrics, kept);
        return static_cast<UINT>(potm && cjCopy < kept ? cjCopy : kept);
    }
    FaceRealization *realization = font ? PrepareFace(*font) : nullptr;
    if (!realization)
        return 0;
    FaceNames names;
    MakeFaceNames(realization->ftFace, &names);
    // The four names follow the record; its name fields hold their offsets
    // from the start of the record, as in GDI.
    const char *strings[4] = {names.family, names.face, names.style, names.face};
    size_t needed = sizeof(OUTLINETEXTMETRICA);
    for (const char *s : strings)
        needed += strlen(s) + 1;
    if (!potm)
        return static_cast<UINT>(needed);

    OUTLINETEXTMETRICA otm = {};
    otm.otmSize = static_cast<UINT>(needed);
    FillOutlineMetrics(*font, *realization, &otm);
    LPSTR *nameFields[4] = {&otm.otmpFamilyName, &otm.otmpFaceName, &otm.otmpStyleName,
                            &otm.otmpFullName};
    size_t offset = sizeof(OUTLINETEXTMETRICA);
    for (int i = 0; i < 4; ++i) {
        const size_t length = strlen(strings[i]) + 1;
        *nameFields[i] = reinterpret_cast<LPSTR>(static_cast<uintptr_t>(offset));
        CopyClipped(potm, cjCopy, offset, strings[i], length);
        offset += length;
    }
    // A smaller block gets only its first cjCopy bytes.
    CopyClipped(potm, cjCopy, 0, &otm, sizeof otm);
    // The whole block is kept for the font's later calls (not when memory
    // is short: then each call makes it again).
    if (auto *block = static_cast<uint8_t *>(malloc(needed))) {
        memcpy(block, &otm, sizeof otm);
        offset = sizeof(OUTLINETEXTMETRICA);
        for (const char *string : strings) {
            const size_t length = strlen(string) + 1;
            memcpy(block + offset, string, length);
            offset += length;
        }
        font->outlineMetrics = block;
        font->outlineMetricsSize = needed;
    }
    return static_cast<UINT>(cjCopy < needed ? cjCopy : needed);
}
