// SPDX-License-Identifier: MIT
// Shaping runs of text with HarfBuzz.
#include "shaping.h"

#include <cmath>

namespace {

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
        const std::unique_ptr<hb_face_t, HbFaceFree> hbFace(
            hb_face_create(blob.get(), static_cast<unsigned>(face.index)));
        if (hb_face_get_glyph_count(hbFace.get()) == 0)
            return nullptr;
        hb_font_t *font = hb_font_create(hbFace.get());
        const auto upem = static_cast<int>(hb_face_get_upem(hbFace.get()));
        hb_font_set_scale(font, upem, upem);
        shaping.fonts[index].reset(font);
    }
    return shaping.fonts[index].get();
}

void ShapeRun(hb_font_t *font, const ShapingRun &run, long characterSize,
              std::vector<ShapedGlyph> &glyphs)
{
    glyphs.clear();
    const std::unique_ptr<hb_buffer_t, HbBufferFree> buffer(hb_buffer_create());
    std::vector<uint32_t> text(run.text.begin(), run.text.end());
    hb_buffer_add_utf32(buffer.get(), text.data(), static_cast<int>(text.size()),
                        static_cast<unsigned>(run.start),
                        static_cast<int>(run.end - run.start));
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
        glyph.cluster = infos[i].cluster;
        const long from = ToDevice(pen, upem, characterSize);
        pen += positions[i].x_advance;
        glyph.advance = ToDevice(pen, upem, characterSize) - from;
        glyph.offsetX = ToDevice(positions[i].x_offset, upem, characterSize);
        glyph.offsetY = -ToDevice(positions[i].y_offset, upem, characterSize);
    }
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
