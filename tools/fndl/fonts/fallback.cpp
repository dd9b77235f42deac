// SPDX-License-Identifier: MIT
// Fallback fonts: the face that sets each character a job's main font lacks,
// in fontconfig's order for the family and for the language of the
// character's script.
#include "fonts/fonts.h"

#include <cstdlib>

#include <fontconfig/fontconfig.h>
#include <hb.h>

#include "cli/requestparts.h"
#include "fonts/fontpattern.h"
#include "platform/face_resolution.h"

namespace {

constexpr size_t kPathCapacity = 4096;

// The fallback order: every installed face, best first for the family,
// weight and slant asked for, and the language when one is given.
_FcFontSet *FallbackOrder(const JobFonts &fonts, const std::string &language = "")
{
    FcPattern *pattern = FcPatternCreate();
    if (!pattern)
        return nullptr;
    FcPatternAddString(pattern, FC_FAMILY,
                       reinterpret_cast<const FcChar8 *>(fonts.requested.c_str()));
    if (!language.empty())
        FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8 *>(language.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(static_cast<int>(fonts.weight)));
    FcPatternAddInteger(pattern, FC_SLANT, fonts.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcFontSet *set = nullptr;
    FcConfig *config = PlatformFontconfig();
    if (config && FcConfigSubstitute(config, pattern, FcMatchPattern)) {
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        set = FcFontSort(config, pattern, FcFalse, nullptr, &result);
    }
    FcPatternDestroy(pattern);
    return set;
}


// that resolves to this very face, else by its file when it is the file's
// first face. False when neither reaches it.
bool LibraryNameOf(const FaceInfo &face, long weight, bool italic, std::string &name,
                   bool &fromFile)
{
    char path[kPathCapacity] = {};
    int index = 0;
    if (!face.family.empty() &&
        PlatformResolveFace(face.family.c_str(), static_cast<int>(weight), italic, path,
                            sizeof path, &index) &&
        face.file == path && face.index == index) {
        name = face.family;
        fromFile = false;
        return true;
    }
    if (face.index == 0) {
        name = face.file;
        fromFile = true;
        return true;
    }
    return false;
}

int NextFontId(const JobFonts &fonts)
{
    const auto first = static_cast<uint32_t>(fonts.fonts.front().fontId);
    return static_cast<int>(first + static_cast<uint32_t>(fonts.fonts.size()));
}

bool FontSetsChar(const JobFonts &fonts, int font, char32_t codePoint)
{
    return FaceHasChar(fonts.fonts[static_cast<size_t>(font)].face, codePoint) &&
           (fonts.rejected.empty() || !fonts.rejected.contains({font, codePoint}));
}

} // namespace

void RejectChar(JobFonts &fonts, int font, char32_t codePoint)
{
    fonts.rejected.insert({font, codePoint});
    fonts.chosen.erase(codePoint);
}

namespace {

// The first face of order that has codePoint and that the library can
// download: one of the job already, or added to it. -1 when none.
int FirstInOrder(JobFonts &fonts, const FcFontSet *order, char32_t codePoint)
{
    for (int n = 0; order && n < order->nfont; ++n) {
        FcPattern *candidate = order->fonts[n];
        FcCharSet *chars = nullptr;
        if (FcPatternGetCharSet(candidate, FC_CHARSET, 0, &chars) != FcResultMatch ||
            FcCharSetHasChar(chars, codePoint) != FcTrue)
            continue;
        const std::string file = PatternString(candidate, FC_FILE);
        int index = 0;
        FcPatternGetInteger(candidate, FC_INDEX, 0, &index);
        index &= kFaceIndexMask;
        // A face already in the job sets it, or rejected it.
        bool inJob = false;
        for (size_t f = 0; f < fonts.fonts.size(); ++f) {
            if (fonts.fonts[f].face.file != file || fonts.fonts[f].face.index != index)
                continue;
            inJob = true;
            if (FontSetsChar(fonts, static_cast<int>(f), codePoint))
                return static_cast<int>(f);
        }
        if (inJob)
            continue;
        JobFont font;
        font.face.file = file;
        font.face.index = index;
        ReadPattern(candidate, font.face);
        if (!IsDownloadableFace(font.face) ||
            !LibraryNameOf(font.face, fonts.weight, fonts.italic, font.libraryName, font.fromFile))
            continue;
        font.fontId = NextFontId(fonts);
        fonts.fonts.push_back(std::move(font));
        return static_cast<int>(fonts.fonts.size() - 1);
    }
    return -1;
}

// A language that writes in the script, for fontconfig to prefer the faces
// made for it; "" for scripts of no one language (Latin, Common), which
// keep the family's own order.
std::string LanguageOfScript(hb_script_t script, const JobFonts &fonts)
{
    switch (script) {
    case HB_SCRIPT_HAN: return fonts.hanLanguage;
    case HB_SCRIPT_HIRAGANA:
    case HB_SCRIPT_KATAKANA: return "ja";
    case HB_SCRIPT_HANGUL: return "ko";
    case HB_SCRIPT_BOPOMOFO: return "zh-tw";
    case HB_SCRIPT_DEVANAGARI: return "hi";
    case HB_SCRIPT_BENGALI: return "bn";
    case HB_SCRIPT_GURMUKHI: return "pa";
    case HB_SCRIPT_GUJARATI: return "gu";
    case HB_SCRIPT_ORIYA: return "or";
    case HB_SCRIPT_TAMIL: return "ta";
    case HB_SCRIPT_TELUGU: return "te";
    case HB_SCRIPT_KANNADA: return "kn";
    case HB_SCRIPT_MALAYALAM: return "ml";
    case HB_SCRIPT_SINHALA: return "si";
    case HB_SCRIPT_THAI: return "th";
    case HB_SCRIPT_LAO: return "lo";
    case HB_SCRIPT_TIBETAN: return "bo";
    case HB_SCRIPT_MYANMAR: return "my";
    case HB_SCRIPT_KHMER: return "km";
    case HB_SCRIPT_ETHIOPIC: return "am";
    case HB_SCRIPT_HEBREW: return "he";
    case HB_SCRIPT_ARABIC: return "ar";
    case HB_SCRIPT_SYRIAC: return "syr";
    case HB_SCRIPT_THAANA: return "dv";
    case HB_SCRIPT_ARMENIAN: return "hy";
    case HB_SCRIPT_GEORGIAN: return "ka";
    case HB_SCRIPT_GREEK: return "el";
    case HB_SCRIPT_CYRILLIC: return "ru";
    case HB_SCRIPT_MONGOLIAN: return "mn";
    case HB_SCRIPT_CHEROKEE: return "chr";
    default: return "";
    }
}

// The Han language of the locale the job runs in (CUPS gives filters the
// job's LANG), or "" when it is none of Chinese, Japanese and Korean.
std::string LocaleHanLanguage()
{
    const char *locale = nullptr;
    for (const char *name : {"LC_ALL", "LC_CTYPE", "LANG"})
        if (const char *value = std::getenv(name); !locale && value && *value)
            locale = value;
    const std::string lower = AsciiLower(locale ? locale : "");
    if (lower.starts_with("zh_tw") || lower.starts_with("zh_hk") || lower.starts_with("zh_mo"))
        return "zh-tw";
    if (lower.starts_with("zh"))
        return "zh-cn";
    if (lower.starts_with("ja"))
        return "ja";
    if (lower.starts_with("ko"))
        return "ko";
    return "";
}

} // namespace

void SetParagraphLanguage(JobFonts &fonts, std::u16string_view paragraph)
{
    static const std::string locale = LocaleHanLanguage();
    fonts.hanLanguage = locale.empty() ? "zh-cn" : locale;
    for (const char16_t unit : paragraph) {
        if ((unit >= 0x3040 && unit <= 0x30FF) || (unit >= 0x31F0 && unit <= 0x31FF) ||
            (unit >= 0xFF66 && unit <= 0xFF9F)) {
            fonts.hanLanguage = "ja";
            return;
        }
        if ((unit >= 0xAC00 && unit <= 0xD7A3) || (unit >= 0x1100 && unit <= 0x11FF) ||
            (unit >= 0x3130 && unit <= 0x318F)) {
            fonts.hanLanguage = "ko";
            return;
        }
        if ((unit >= 0x3100 && unit <= 0x312F) || (unit >= 0x31A0 && unit <= 0x31BF))
            fonts.hanLanguage = "zh-tw";
    }
}

int FontForChar(JobFonts &fonts, char32_t codePoint, int previous)
{
    if (!fonts.coverageKnown)
        return fonts.rejected.contains({0, codePoint}) ? -1 : 0;
    // Without a fallback font before it, a character the main font has is
    // the main font's whatever its script: no script lookup (the common
    // case, every character of a text in the main font's script).
    if (previous <= 0 && FontSetsChar(fonts, 0, codePoint))
        return 0;
    const hb_script_t script = hb_unicode_script(hb_unicode_funcs_get_default(), codePoint);
    const bool ownScript = script != HB_SCRIPT_COMMON && script != HB_SCRIPT_INHERITED &&
                           script != HB_SCRIPT_UNKNOWN;
    // A space, a digit or a mark of punctuation keeps the run's fallback
    // font: a line of one script is one Text.
    if (!ownScript && previous > 0 && fonts.fallback && FontSetsChar(fonts, previous, codePoint))
        return previous;
    if (FontSetsChar(fonts, 0, codePoint))
        return 0;
    if (!fonts.fallback)
        return -1;
    // One font for a script's run, chosen for its language.
    const std::string language = ownScript ? LanguageOfScript(script, fonts) : "";
    if (!language.empty()) {
        const std::pair<uint32_t, std::string> key{static_cast<uint32_t>(script), language};
        if (const auto known = fonts.scriptFonts.find(key);
            known != fonts.scriptFonts.end() && known->second >= 0 &&
            FontSetsChar(fonts, known->second, codePoint))
            return known->second;
        auto &order = fonts.languageOrders[language];
        if (!order)
            order.reset(FallbackOrder(fonts, language));
        // The first character of the script chooses its font; one that
        // font lacks takes another without changing the choice.
        if (const int found = FirstInOrder(fonts, order.get(), codePoint); found >= 0) {
            fonts.scriptFonts.try_emplace(key, found);
            return found;
        }
    }
    // A character keeps the font it was first given for the whole job, so
    // that it prints in one style and goes to the printer once.
    if (const auto known = fonts.chosen.find(codePoint); known != fonts.chosen.end())
        return known->second;
    if (previous > 0 && FontSetsChar(fonts, previous, codePoint)) {
        fonts.chosen[codePoint] = previous;
        return previous;
    }
    if (!fonts.orderBuilt) {
        fonts.order.reset(FallbackOrder(fonts));
        fonts.orderBuilt = true;
    }
    const int found = FirstInOrder(fonts, fonts.order.get(), codePoint);
    fonts.chosen[codePoint] = found;
    return found;
}
