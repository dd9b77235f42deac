// SPDX-License-Identifier: MIT
// Shaping runs of text with HarfBuzz.
#include "layout/shaping.h"

#include <hb-ot.h>

#include <algorithm>
#include <cmath>

#include "fonts/fontruns.h"

namespace {

constexpr char32_t kReplacementChar = 0xFFFD;
constexpr char32_t kWhiteSquare = 0x25A1;

struct HbBlobFree {
    void operator()(hb_blob_t *blob) const { hb_blob_destroy(blob); }
};
struct HbFaceFree {
    void operator()(hb_face_t *face) const { hb_face_destroy(face); }
};
struct HbBufferFree {
    void operator()(hb_buffer_t *buffer) const { hb_buffer_destroy(buffer); }
};

// Font units (the font's scale is its em) to device units.
long ToDevice(int64_t units, unsigned upem, long characterSize)
{
    return std::lround(static_cast<double>(units) * static_cast<double>(characterSize) /
                       static_cast<double>(upem));
}

unsigned UpemOf(hb_font_t *font)
{
    const unsigned upem = hb_face_get_upem(hb_font_get_face(font));
    return upem > 0 ? upem : 1000;
}

} // namespace

hb_font_t *ShapingFont(ShapingFonts &shaping, const JobFonts &fonts, size_t index)
{
    if (index >= fonts.fonts.size())
        return nullptr;
    if (shaping.fonts.size() < fonts.fonts.size()) {
        shaping.fonts.resize(fonts.fonts.size());
        shaping.opened.resize(fonts.fonts.size(), false);
    }
    if (!shaping.opened[index]) {
        shaping.opened[index] = true;
        const FaceInfo &face = fonts.fonts[index].face;
        const std::unique_ptr<hb_blob_t, HbBlobFree> blob(
            hb_blob_create_from_file_or_fail(face.file.c_str()));
        if (!blob)
            return nullptr;
        // A face index's upper 16 bits name a variable face's named
        // instance, which shapes with that instance's advances.
        const auto faceIndex = static_cast<unsigned>(face.index);
        const std::unique_ptr<hb_face_t, HbFaceFree> hbFace(hb_face_create(blob.get(), faceIndex & 0xFFFF));
        if (hb_face_get_glyph_count(hbFace.get()) == 0)
            return nullptr;
        hb_font_t *font = hb_font_create(hbFace.get());
        if (faceIndex >> 16)
            hb_font_set_var_named_instance(font, (faceIndex >> 16) - 1);
        const auto upem = static_cast<int>(hb_face_get_upem(hbFace.get()));
        hb_font_set_scale(font, upem, upem);
        shaping.fonts[index].reset(font);
    }
    return shaping.fonts[index].get();
}

namespace {

// The run's characters into the buffer with kShapingContext characters of
// context on each side; cluster values count from the window's first
// character, which is returned. Marks past a stack's bound stay out.
size_t AddRunText(hb_buffer_t *buffer, const ShapingRun &run, std::span<const size_t> stacked)
{
    const size_t from = run.start > kShapingContext ? run.start - kShapingContext : 0;
    const size_t to = std::min(run.text.size(), run.end + kShapingContext);
    const std::vector<uint32_t> window(run.text.begin() + static_cast<ptrdiff_t>(from),
                                       run.text.begin() + static_cast<ptrdiff_t>(to));
    const auto length = static_cast<int>(window.size());
    if (stacked.empty()) {
        hb_buffer_add_utf32(buffer, window.data(), length, static_cast<unsigned>(run.start - from),
                            static_cast<int>(run.end - run.start));
        return from;
    }
    // The context before (taken while the buffer is empty), the characters
    // one by one, then the context after.
    hb_buffer_add_utf32(buffer, window.data(), length, static_cast<unsigned>(run.start - from), 0);
    auto next = stacked.begin();
    for (size_t i = run.start; i < run.end; ++i) {
        if (next != stacked.end() && *next == i + run.stackedBase) {
            ++next;
            continue;
        }
        hb_buffer_add(buffer, run.text[i], static_cast<unsigned>(i - from));
    }
    hb_buffer_add_utf32(buffer, window.data(), length, static_cast<unsigned>(run.end - from), 0);
    return from;
}

// The marks left out of the stack set on top of it: each drawn where the
// highest (or lowest) glyph of its character's cluster is, without
// advance, as its nominal glyph.
void SetStackedMarks(hb_font_t *font, const ShapingRun &run, std::span<const size_t> stacked,
                     std::vector<ShapedGlyph> &glyphs)
{
    // Each cluster and its tallest glyph: a cluster's glyphs stand together
    // (HarfBuzz keeps cluster values monotonic).
    std::vector<std::pair<size_t, size_t>> tops; // cluster, glyph index
    for (size_t g = 0; g < glyphs.size(); ++g) {
        if (tops.empty() || tops.back().first != glyphs[g].cluster)
            tops.emplace_back(glyphs[g].cluster, g);
        else if (std::labs(glyphs[g].offsetY) >= std::labs(glyphs[tops.back().second].offsetY))
            tops.back().second = g;
    }
    std::sort(tops.begin(), tops.end());
    std::vector<std::vector<ShapedGlyph>> before(glyphs.size() + 1);
    for (const size_t index : stacked) {
        const size_t i = index - run.stackedBase;
        hb_codepoint_t nominal = 0;
        hb_font_get_nominal_glyph(font, run.text[i], &nominal);
        ShapedGlyph mark{nominal, 0, 0, 0, i};
        // The cluster the mark belongs to: the last one starting before it.
        auto top = std::upper_bound(tops.begin(), tops.end(), std::make_pair(i, SIZE_MAX));
        size_t at = glyphs.size();
        if (top != tops.begin()) {
            --top;
            const ShapedGlyph &anchor = glyphs[top->second];
            mark = {nominal, 0, anchor.offsetX, anchor.offsetY, anchor.cluster};
            at = top->second;
        }
        before[at].push_back(mark);
    }
    std::vector<ShapedGlyph> merged;
    merged.reserve(glyphs.size() + stacked.size());
    for (size_t g = 0; g <= glyphs.size(); ++g) {
        merged.insert(merged.end(), before[g].begin(), before[g].end());
        if (g < glyphs.size())
            merged.push_back(glyphs[g]);
    }
    glyphs = std::move(merged);
}

} // namespace

void ShapeRun(hb_font_t *font, const ShapingRun &run, long characterSize,
              std::vector<ShapedGlyph> &glyphs)
{
    glyphs.clear();
    const std::unique_ptr<hb_buffer_t, HbBufferFree> buffer(hb_buffer_create());
    const auto firstStacked = std::lower_bound(run.stacked.begin(), run.stacked.end(),
                                               run.start + run.stackedBase);
    const auto endStacked = std::lower_bound(firstStacked, run.stacked.end(), run.end + run.stackedBase);
    const std::span<const size_t> stacked(firstStacked, endStacked);
    const size_t windowStart = AddRunText(buffer.get(), run, stacked);
    hb_buffer_set_direction(buffer.get(), run.rightToLeft ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
    hb_buffer_set_script(buffer.get(), run.script);
    unsigned flags = HB_BUFFER_FLAG_DEFAULT;
    if (run.start == 0)
        flags |= HB_BUFFER_FLAG_BOT;
    if (run.end == run.text.size())
        flags |= HB_BUFFER_FLAG_EOT;
    hb_buffer_set_flags(buffer.get(), static_cast<hb_buffer_flags_t>(flags));
    hb_shape(font, buffer.get(), nullptr, 0);

    unsigned count = 0;
    const hb_glyph_info_t *infos = hb_buffer_get_glyph_infos(buffer.get(), &count);
    const hb_glyph_position_t *positions = hb_buffer_get_glyph_positions(buffer.get(), &count);
    const unsigned upem = UpemOf(font);
    glyphs.resize(count);
    int64_t pen = 0;
    for (unsigned i = 0; i < count; ++i) {
        ShapedGlyph &glyph = glyphs[i];
        glyph.glyph = infos[i].codepoint;
        glyph.cluster = infos[i].cluster + windowStart;
        const long from = ToDevice(pen, upem, characterSize);
        pen += positions[i].x_advance;
        glyph.advance = ToDevice(pen, upem, characterSize) - from;
        glyph.offsetX = ToDevice(positions[i].x_offset, upem, characterSize);
        glyph.offsetY = -ToDevice(positions[i].y_offset, upem, characterSize);
    }
    if (!stacked.empty())
        SetStackedMarks(font, run, stacked, glyphs);
}

bool IsCmapRun(hb_font_t *font, const ShapingRun &run, const std::vector<ShapedGlyph> &glyphs)
{
    if (run.rightToLeft || glyphs.size() != run.end - run.start)
        return false;
    for (size_t i = 0; i < glyphs.size(); ++i) {
        const char32_t c = run.text[run.start + i];
        hb_codepoint_t nominal = 0;
        if (c > 0xFFFF || glyphs[i].cluster != run.start + i || glyphs[i].offsetX != 0 ||
            glyphs[i].offsetY != 0 || !hb_font_get_nominal_glyph(font, c, &nominal) ||
            nominal != glyphs[i].glyph)
            return false;
    }
    return true;
}

long CmapAdvance(hb_font_t *font, char32_t c, long characterSize)
{
    hb_codepoint_t glyph = 0;
    hb_font_get_nominal_glyph(font, c, &glyph);
    return GlyphAdvance(font, glyph, characterSize);
}

long GlyphAdvance(hb_font_t *font, uint32_t glyph, long characterSize)
{
    return ToDevice(hb_font_get_glyph_h_advance(font, glyph), UpemOf(font), characterSize);
}

void UnderlineMetrics(hb_font_t *font, long characterSize, long &offset, long &thickness)
{
    // Half away from zero, as MulDiv.
    const auto scale = [&](hb_position_t units) {
        const int64_t product = int64_t{units < 0 ? -units : units} * characterSize;
        const int64_t upem = UpemOf(font);
        return static_cast<long>((product + upem / 2) / upem);
    };
    hb_position_t position = 0;
    hb_position_t size = 0;
    hb_ot_metrics_get_position(font, HB_OT_METRICS_TAG_UNDERLINE_OFFSET, &position);
    hb_ot_metrics_get_position(font, HB_OT_METRICS_TAG_UNDERLINE_SIZE, &size);
    offset = scale(position);
    thickness = scale(size);
}

std::vector<hb_script_t> ScriptsOf(std::u32string_view text)
{
    hb_unicode_funcs_t *unicode = hb_unicode_funcs_get_default();
    std::vector<hb_script_t> scripts(text.size(), HB_SCRIPT_COMMON);
    const auto isReal = [](hb_script_t script) {
        return script != HB_SCRIPT_COMMON && script != HB_SCRIPT_INHERITED &&
               script != HB_SCRIPT_UNKNOWN;
    };
    hb_script_t last = HB_SCRIPT_COMMON;
    for (size_t i = 0; i < text.size(); ++i) {
        const hb_script_t script = hb_unicode_script(unicode, text[i]);
        if (isReal(script))
            last = script;
        scripts[i] = isReal(script) ? script : last;
    }
    // Characters before the first letter take its script.
    hb_script_t next = HB_SCRIPT_COMMON;
    for (size_t i = text.size(); i-- > 0;) {
        if (isReal(scripts[i]))
            next = scripts[i];
        else
            scripts[i] = next;
    }
    return scripts;
}

bool IsInvisible(char32_t c)
{
    return (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2060 && c <= 0x2064) || (c >= 0x2066 && c <= 0x2069) ||
           (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xE0100 && c <= 0xE01EF) || c == 0xFEFF ||
           c == 0x034F || c == 0x061C || (c >= 0x180B && c <= 0x180E);
}

namespace {

// A character that goes on the one before it: a combining mark, or a
// joiner or selector between marks.
bool IsMarkOrJoiner(hb_unicode_funcs_t *unicode, char32_t c)
{
    switch (hb_unicode_general_category(unicode, c)) {
    case HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK:
    case HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK:
    case HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK:
        return true;
    default:
        return IsInvisible(c);
    }
}

} // namespace

Replacement ChooseReplacement(JobFonts &fonts)
{
    for (const char32_t c : {kReplacementChar, kWhiteSquare}) {
        if (const int font = FontForChar(fonts, c, 0); font >= 0)
            return {font, c, false};
    }
    return {0, 0, true};
}

std::string ReplacementName(const JobFonts &fonts, const Replacement &replacement)
{
    return replacement.notdef ? "the missing-glyph box of " + fonts.fonts.front().face.family
                              : CodePointName(replacement.codePoint);
}

bool TextNeedsShaping(JobFonts &fonts, TextDirection direction, std::u16string_view text)
{
    if (direction == TextDirection::RightToLeft)
        return !text.empty();
    SetParagraphLanguage(fonts, text);
    for (size_t i = 0; i < text.size();) {
        size_t length = 1;
        const char32_t c = CodePointAt(text, i, length);
        // ASCII needs neither shaping nor bidi and holds no invisible
        // character: only whether the font has it is asked.
        const bool bAscii = c < 0x80;
        if (!bAscii && (c > kLastLibraryCode || ScriptNeedingShaping(c) || NeedsBidiOrShaping(c)))
            return true;
        if (c != kFormFeed && c != kTabChar && (bAscii || !IsInvisible(c)) &&
            FontForChar(fonts, c, kLeftOut) < 0)
            return true;
        i += length;
    }
    return false;
}

long PrepareText(JobFonts &fonts, TextDirection direction, std::u16string_view text,
                 ShapedText &shaped)
{
    SetParagraphLanguage(fonts, text);
    const Replacement replacement = ChooseReplacement(fonts);
    hb_unicode_funcs_t *unicode = hb_unicode_funcs_get_default();
    long replaced = 0;
    int previous = kLeftOut;
    size_t marksInARow = 0;
    for (size_t i = 0; i < text.size();) {
        size_t length = 1;
        char32_t c = CodePointAt(text, i, length);
        if (IsMarkOrJoiner(unicode, c)) {
            if (++marksInARow > kMostStackedMarks)
                shaped.stacked.push_back(shaped.text.size());
        } else {
            marksInARow = 0;
        }
        int font = kLeftOut;
        bool notdef = false;
        shaped.tabs.push_back(c == kTabChar);
        if (c == kTabChar)
            c = u' ';
        if (IsInvisible(c))
            font = std::max(previous, 0);
        else
            font = FontForChar(fonts, c, previous);
        if (font < 0) {
            ++replaced;
            font = replacement.font;
            notdef = replacement.notdef;
            c = replacement.codePoint;
        }
        shaped.text.push_back(c);
        shaped.fonts.push_back(font);
        shaped.notdef.push_back(notdef);
        previous = font;
        i += length;
    }
    BidiLevels(shaped.text, direction, shaped.levels, shaped.rightToLeft);
    const std::vector<hb_script_t> scripts = ScriptsOf(shaped.text);
    for (size_t i = 0; i < shaped.text.size(); ++i) {
        // Right to left, a tab is a space; left to right, a stop of its own.
        const bool tab = shaped.tabs[i] && !shaped.rightToLeft;
        shaped.tabs[i] = tab;
        const ShapedItem *last = shaped.items.empty() ? nullptr : &shaped.items.back();
        if (!last || tab || last->tab || last->font != shaped.fonts[i] ||
            last->level != shaped.levels[i] || last->script != scripts[i] ||
            last->notdef != shaped.notdef[i])
            shaped.items.push_back({i, i, shaped.fonts[i], shaped.levels[i], scripts[i],
                                    shaped.notdef[i], tab});
        shaped.items.back().end = i + 1;
    }
    return replaced;
}

void ShapeItem(ShapingFonts &shaping, const JobFonts &fonts, long characterSize,
               const ShapedItem &item, std::u32string_view context, size_t contextStart,
               std::vector<ShapedGlyph> &glyphs, bool &cmap, std::span<const size_t> stacked)
{
    hb_font_t *font = ShapingFont(shaping, fonts, static_cast<size_t>(item.font));
    const ShapingRun run{context,      item.start - contextStart, item.end - contextStart,
                         item.level % 2 == 1, item.script,         stacked,
                         contextStart};
    glyphs.clear();
    cmap = false;
    if (!font || item.notdef) {
        // Glyph 0 (or the box of a font HarfBuzz cannot open) for each.
        const long advance = font ? GlyphAdvance(font, 0, characterSize) : characterSize / 2;
        for (size_t i = item.start; i < item.end; ++i)
            glyphs.push_back({0, advance, 0, 0, i - contextStart});
        return;
    }
    ShapeRun(font, run, characterSize, glyphs);
    cmap = IsCmapRun(font, run, glyphs);
}

namespace {

template <typename Char>
size_t FirstPieceEnd(std::basic_string_view<Char> text, size_t start, size_t end, size_t most)
{
    if (end - start <= most)
        return end;
    const size_t last = start + most;
    for (size_t i = last; i > start; --i) {
        if (text[i] == u' ')
            return i;
    }
    hb_unicode_funcs_t *unicode = hb_unicode_funcs_get_default();
    for (size_t i = last; i > start; --i) {
        const char32_t c = text[i];
        if ((c < 0xDC00 || c > 0xDFFF) && !IsMarkOrJoiner(unicode, c))
            return i;
    }
    return last;
}

} // namespace

size_t PieceEnd(std::u32string_view text, size_t start, size_t end, size_t most)
{
    return FirstPieceEnd(text, start, end, most);
}

size_t PieceEnd(std::u16string_view text, size_t start, size_t end, size_t most)
{
    return FirstPieceEnd(text, start, end, most);
}
