// SPDX-License-Identifier: MIT
// Drawing a preview page: rectangles with area coverage, glyphs rasterized by
// FreeType from the job's rebuilt soft fonts, and the page written as PNG.
#include "inspect/preview.h"

#include FT_OUTLINE_H
#include <png.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kFixed26Dot6 = 64.0;
constexpr double kFixed16Dot16 = 65536.0;
// Unhinted: glyphs sit where their outlines put them at any size, as the
// explicit advances of a Text operator expect.
constexpr FT_Int32 kLoadFlags = FT_LOAD_NO_BITMAP | FT_LOAD_NO_HINTING;
// Beyond these a job's numbers are not drawn: they would overflow FreeType's
// fixed-point values or the page's pixel coordinates.
constexpr double kMaxCoordinate = 1e7;
constexpr double kMaxEmPixels = 1e4;
constexpr double kMaxFactor = 100;

bool Within(double value, double limit) { return std::isfinite(value) && std::fabs(value) <= limit; }

// Blends an ink coverage (0-255) of the gray level into a page pixel.
void Blend(uint8_t &pixel, unsigned coverage, uint8_t gray)
{
    const int delta = static_cast<int>(pixel) - gray;
    pixel = static_cast<uint8_t>(pixel - delta * static_cast<int>(coverage) / 255);
}

const char *FreeTypeReason(FT_Error error)
{
    const char *text = FT_Error_String(error);
    return text ? text : "FreeType error";
}

} // namespace

PixelRect Intersect(const PixelRect &a, const PixelRect &b)
{
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

void PaintRect(PreviewPage &page, const PixelRect &rect, const PixelRect &clip, uint8_t gray)
{
    const PixelRect area =
        Intersect(Intersect(rect, clip), {0, 0, double(page.width), double(page.height)});
    // Written so that a NaN edge leaves nothing to paint.
    if (!(area.right > area.left && area.bottom > area.top))
        return;
    const int x0 = static_cast<int>(std::floor(area.left));
    const int x1 = static_cast<int>(std::ceil(area.right));
    const int y0 = static_cast<int>(std::floor(area.top));
    const int y1 = static_cast<int>(std::ceil(area.bottom));
    for (int y = y0; y < y1; ++y) {
        const double coverY = std::min<double>(y + 1, area.bottom) - std::max<double>(y, area.top);
        for (int x = x0; x < x1; ++x) {
            const double coverX =
                std::min<double>(x + 1, area.right) - std::max<double>(x, area.left);
            const auto coverage = static_cast<unsigned>(std::lround(255 * coverX * coverY));
            Blend(page.gray[static_cast<size_t>(y) * page.width + x], coverage, gray);
        }
    }
}

bool DrawGlyph(PreviewPage &page, FT_Face face, unsigned glyph, double x, double y,
               const GlyphStyle &style, const PixelRect &clip, uint8_t gray, std::string &reason)
{
    if (!Within(x, kMaxCoordinate) || !Within(y, kMaxCoordinate) ||
        !Within(style.emPixels, kMaxEmPixels) || !Within(style.bold, kMaxFactor) ||
        !Within(style.shearX, kMaxFactor) || !Within(style.shearY, kMaxFactor) ||
        !Within(style.scaleX, kMaxFactor) || !Within(style.scaleY, kMaxFactor)) {
        reason = "position, size, bold, shear or scale out of range";
        return false;
    }
    const auto em = static_cast<FT_F26Dot6>(std::lround(style.emPixels * kFixed26Dot6));
    if (em <= 0)
        return true; // nothing to see at that size
    FT_Error error = FT_Set_Char_Size(face, 0, em, 72, 72);
    if (!error)
        error = FT_Load_Glyph(face, glyph, kLoadFlags);
    if (!error && face->glyph->format != FT_GLYPH_FORMAT_OUTLINE) {
        reason = "not an outline glyph";
        return false;
    }
    FT_Outline &outline = face->glyph->outline;
    if (!error && style.bold > 0)
        error = FT_Outline_Embolden(
            &outline, static_cast<FT_Pos>(std::lround(style.bold * style.emPixels * kFixed26Dot6)));
    if (error) {
        reason = FreeTypeReason(error);
        return false;
    }
    // y up in FreeType: a positive x shear leans the tops to the right.
    FT_Matrix matrix{static_cast<FT_Fixed>(std::lround(style.scaleX * kFixed16Dot16)),
                     static_cast<FT_Fixed>(std::lround(style.shearX * style.scaleY * kFixed16Dot16)),
                     static_cast<FT_Fixed>(std::lround(style.shearY * style.scaleX * kFixed16Dot16)),
                     static_cast<FT_Fixed>(std::lround(style.scaleY * kFixed16Dot16))};
    FT_Outline_Transform(&outline, &matrix);
    // The fraction of a pixel goes into the outline, the whole pixels into
    // where the bitmap lands.
    const double originX = std::floor(x);
    const double originY = std::floor(y);
    FT_Outline_Translate(&outline, std::lround((x - originX) * kFixed26Dot6),
                         -std::lround((y - originY) * kFixed26Dot6));
    error = FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL);
    if (error) {
        reason = FreeTypeReason(error);
        return false;
    }
    const FT_Bitmap &bitmap = face->glyph->bitmap;
    const long left = static_cast<long>(originX) + face->glyph->bitmap_left;
    const long top = static_cast<long>(originY) - face->glyph->bitmap_top;
    for (unsigned row = 0; row < bitmap.rows; ++row) {
        const long py = top + row;
        if (py < 0 || py >= page.height || py + 0.5 < clip.top || py + 0.5 >= clip.bottom)
            continue;
        const uint8_t *source = bitmap.buffer + static_cast<long>(row) * bitmap.pitch;
        for (unsigned column = 0; column < bitmap.width; ++column) {
            const long px = left + column;
            if (px < 0 || px >= page.width || px + 0.5 < clip.left || px + 0.5 >= clip.right ||
                source[column] == 0)
                continue;
            Blend(page.gray[static_cast<size_t>(py) * page.width + px], source[column], gray);
        }
    }
    return true;
}

namespace {

struct PngWrite {
    png_structp png = nullptr;
    png_infop info = nullptr;
    char message[256] = "";
};

void PngError(png_structp png, png_const_charp message)
{
    auto *write = static_cast<PngWrite *>(png_get_error_ptr(png));
    std::snprintf(write->message, sizeof write->message, "%s", message);
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// libpng reports errors by longjmp: nothing with a destructor lives in here.
bool WriteRows(PngWrite &write, FILE *file, const PreviewPage &page, bool mono,
               png_bytep packedRow)
{
    if (setjmp(png_jmpbuf(write.png)))
        return false;
    png_init_io(write.png, file);
    png_set_IHDR(write.png, write.info, static_cast<png_uint_32>(page.width),
                 static_cast<png_uint_32>(page.height), mono ? 1 : 8, PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(write.png, write.info);
    for (int y = 0; y < page.height; ++y) {
        const uint8_t *row = page.gray.data() + static_cast<size_t>(y) * page.width;
        if (mono) {
            std::fill(packedRow, packedRow + (page.width + 7) / 8, 0);
            for (int x = 0; x < page.width; ++x) {
                if (row[x] >= 128)
                    packedRow[x / 8] |= static_cast<png_byte>(0x80 >> (x % 8));
            }
            png_write_row(write.png, packedRow);
        } else {
            png_write_row(write.png, row);
        }
    }
    png_write_end(write.png, write.info);
    return true;
}

} // namespace

bool WritePng(FILE *file, const PreviewPage &page, bool mono, std::string &reason)
{
    PngWrite write;
    write.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &write, PngError, PngWarning);
    if (write.png)
        write.info = png_create_info_struct(write.png);
    std::vector<png_byte> packedRow(static_cast<size_t>(page.width + 7) / 8);
    const bool written = write.info && WriteRows(write, file, page, mono, packedRow.data());
    if (!written)
        reason = write.message[0] ? write.message : "libpng cannot start";
    png_destroy_write_struct(&write.png, &write.info);
    return written;
}

// The pixels a glyph's bitmap takes at most at this style.
double GlyphPixels(const GlyphStyle &style)
{
    const double grow = 1 + 2 * std::fabs(style.bold) + std::fabs(style.shearX) + std::fabs(style.shearY);
    const double width = style.emPixels * std::fabs(style.scaleX) * grow + 2;
    const double height = style.emPixels * std::fabs(style.scaleY) * grow + 2;
    return std::isfinite(width * height) ? width * height : HUGE_VAL;
}
