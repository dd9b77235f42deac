// SPDX-License-Identifier: MIT
// GetGlyphOutlineA with GGO_NATIVE: a glyph's outline as TTPOLYGONHEADER
// and TTPOLYCURVE records in 16.16 fixed point, from FreeType's outline
// decomposition. As on Windows, quadratic (TrueType) outlines come as
// TT_PRIM_QSPLINE records, whose on-curve points between two controls are
// implied, and cubic (CFF) outlines as TT_PRIM_CSPLINE records; straight
// segments as TT_PRIM_LINE. Consecutive segments of one kind share a record.
#include "platform_internal.h"

#include <cstdlib>
#include <cstring>

#include FT_OUTLINE_H

namespace {

constexpr size_t kPolygonHeaderSize = sizeof(TTPOLYGONHEADER);
constexpr size_t kCurveHeaderSize = 2 * sizeof(WORD);
constexpr size_t kNoRecord = SIZE_MAX;
constexpr FT_Pos kMaxPixels26Dot6 = (FT_Pos{1} << 21) - 1; // what 16.16 can hold

struct NativeWriter {
    uint8_t *buffer;
    size_t capacity;
    size_t size;
    size_t polygonAt; // kNoRecord before the first contour
    size_t curveAt;   // the open curve record, kNoRecord when none
    WORD curveType;
    FT_Vector start;
    FT_Vector current;
    FT_Vector lastControl; // of the open TT_PRIM_QSPLINE record
    bool failed;
};

void PutFixed(NativeWriter &w, FT_Pos v26dot6)
{
    const auto fixed = static_cast<int32_t>(static_cast<uint32_t>(v26dot6) << 10);
    memcpy(w.buffer + w.size, &fixed, 4);
    w.size += 4;
}

bool Room(NativeWriter &w, size_t n)
{
    if (w.capacity - w.size < n)
        w.failed = true;
    return !w.failed;
}

bool InRange(const FT_Vector &v)
{
    return v.x >= -kMaxPixels26Dot6 && v.x <= kMaxPixels26Dot6 && v.y >= -kMaxPixels26Dot6 &&
           v.y <= kMaxPixels26Dot6;
}

void ClosePolygon(NativeWriter &w)
{
    if (w.polygonAt == kNoRecord)
        return;
    // The polygon closes by itself: a last straight step back to its start
    // is left out.
    if (w.curveAt != kNoRecord && w.curveType == TT_PRIM_LINE && w.current.x == w.start.x &&
        w.current.y == w.start.y) {
        WORD count;
        memcpy(&count, w.buffer + w.curveAt + 2, 2);
        w.size -= sizeof(POINTFX);
        if (--count == 0)
            w.size = w.curveAt;
        else
            memcpy(w.buffer + w.curveAt + 2, &count, 2);
    }
    const auto cb = static_cast<DWORD>(w.size - w.polygonAt);
    memcpy(w.buffer + w.polygonAt, &cb, 4);
    w.polygonAt = kNoRecord;
    w.curveAt = kNoRecord;
}

// Appends points to the open record of the type, opening one when needed.
void AddPoints(NativeWriter &w, WORD type, const FT_Vector *points, int n)
{
    for (int i = 0; i < n; ++i)
        if (!InRange(points[i]))
            w.failed = true;
    if (w.failed || w.polygonAt == kNoRecord)
        return;
    if (w.curveAt == kNoRecord || w.curveType != type) {
        if (!Room(w, kCurveHeaderSize))
            return;
        w.curveAt = w.size;
        w.curveType = type;
        const WORD header[2] = {type, 0};
        memcpy(w.buffer + w.size, header, sizeof header);
        w.size += kCurveHeaderSize;
    }
    if (!Room(w, n * sizeof(POINTFX)))
        return;
    WORD count;
    memcpy(&count, w.buffer + w.curveAt + 2, 2);
    count = static_cast<WORD>(count + n);
    memcpy(w.buffer + w.curveAt + 2, &count, 2);
    for (int i = 0; i < n; ++i) {
        PutFixed(w, points[i].x);
        PutFixed(w, points[i].y);
    }
    w.current = points[n - 1];
}

int MoveTo(const FT_Vector *to, void *user)
{
    auto &w = *static_cast<NativeWriter *>(user);
    ClosePolygon(w);
    if (!InRange(*to))
        w.failed = true;
    if (w.failed || !Room(w, kPolygonHeaderSize))
        return 1;
    w.polygonAt = w.size;
    const DWORD header[2] = {0, TT_POLYGON_TYPE};
    memcpy(w.buffer + w.size, header, sizeof header);
    w.size += sizeof header;
    PutFixed(w, to->x);
    PutFixed(w, to->y);
    w.start = *to;
    w.current = *to;
    return 0;
}

int LineTo(const FT_Vector *to, void *user)
{
    auto &w = *static_cast<NativeWriter *>(user);
    AddPoints(w, TT_PRIM_LINE, to, 1);
    return w.failed ? 1 : 0;
}

int ConicTo(const FT_Vector *control, const FT_Vector *to, void *user)
{
    auto &w = *static_cast<NativeWriter *>(user);
    // FreeType splits a run of controls at their midpoints; a record keeps
    // them together, the midpoint implied.
    if (w.curveAt != kNoRecord && w.curveType == TT_PRIM_QSPLINE &&
        w.current.x == (w.lastControl.x + control->x) / 2 &&
        w.current.y == (w.lastControl.y + control->y) / 2) {
        w.size -= sizeof(POINTFX);
        WORD count;
        memcpy(&count, w.buffer + w.curveAt + 2, 2);
        --count;
        memcpy(w.buffer + w.curveAt + 2, &count, 2);
    }
    const FT_Vector points[2] = {*control, *to};
    AddPoints(w, TT_PRIM_QSPLINE, points, 2);
    w.lastControl = *control;
    return w.failed ? 1 : 0;
}

int CubicTo(const FT_Vector *control1, const FT_Vector *control2, const FT_Vector *to, void *user)
{
    auto &w = *static_cast<NativeWriter *>(user);
    const FT_Vector points[3] = {*control1, *control2, *to};
    AddPoints(w, TT_PRIM_CSPLINE, points, 3);
    return w.failed ? 1 : 0;
}

void FillMetrics(const FT_GlyphSlot slot, GLYPHMETRICS *lpgm)
{
    FT_BBox box;
    FT_Outline_Get_CBox(&slot->outline, &box);
    const FT_Pos left = box.xMin & -64, bottom = box.yMin & -64;
    const FT_Pos right = (box.xMax + 63) & -64, top = (box.yMax + 63) & -64;
    const auto width = static_cast<UINT>((right - left) >> 6);
    const auto height = static_cast<UINT>((top - bottom) >> 6);
    lpgm->gmBlackBoxX = width ? width : 1;
    lpgm->gmBlackBoxY = height ? height : 1;
    lpgm->gmptGlyphOrigin.x = static_cast<LONG>(left >> 6);
    lpgm->gmptGlyphOrigin.y = static_cast<LONG>(top >> 6);
    lpgm->gmCellIncX = static_cast<SHORT>((slot->advance.x + 32) >> 6);
    lpgm->gmCellIncY = 0;
}

} // namespace

NativeOutline *LoadNativeOutline(FT_Face face, FT_UInt glyph, bool hinted)
{
    const FT_Int32 flags = FT_LOAD_NO_BITMAP | (hinted ? FT_LOAD_DEFAULT : FT_LOAD_NO_HINTING);
    if (glyph >= static_cast<FT_ULong>(face->num_glyphs) || FT_Load_Glyph(face, glyph, flags) != 0 ||
        face->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
        return nullptr;
    const FT_Outline &outline = face->glyph->outline;
    // An outline point gives at most two POINTFX (a control and the midpoint
    // FreeType makes after it), each in a record of its own at worst; a
    // contour adds its header and the step back to its start.
    const size_t perPoint = 2 * (kCurveHeaderSize + sizeof(POINTFX));
    const size_t capacity = static_cast<size_t>(outline.n_contours) * (kPolygonHeaderSize + perPoint) +
                            static_cast<size_t>(outline.n_points) * perPoint;
    auto *block = static_cast<NativeOutline *>(malloc(sizeof(NativeOutline) + capacity));
    if (!block)
        return nullptr;
    FillMetrics(face->glyph, &block->metrics);
    NativeWriter w{};
    w.buffer = reinterpret_cast<uint8_t *>(block + 1);
    w.capacity = capacity;
    w.polygonAt = kNoRecord;
    w.curveAt = kNoRecord;
    const FT_Outline_Funcs funcs = {MoveTo, LineTo, ConicTo, CubicTo, 0, 0};
    const bool decomposed =
        capacity == 0 || FT_Outline_Decompose(const_cast<FT_Outline *>(&outline), &funcs, &w) == 0;
    ClosePolygon(w);
    if (!decomposed || w.failed || w.size >= GDI_ERROR) {
        free(block);
        return nullptr;
    }
    block->size = static_cast<DWORD>(w.size);
    // The capacity is a worst case; a kept outline keeps only its bytes.
    auto *fitted = static_cast<NativeOutline *>(realloc(block, sizeof(NativeOutline) + w.size));
    return fitted ? fitted : block;
}

DWORD CopyNativeOutline(const NativeOutline &outline, GLYPHMETRICS *lpgm, DWORD cjBuffer, LPVOID pvBuffer)
{
    *lpgm = outline.metrics;
    if (!pvBuffer || cjBuffer == 0)
        return outline.size;
    if (cjBuffer < outline.size)
        return GDI_ERROR;
    memcpy(pvBuffer, &outline + 1, outline.size);
    return outline.size;
}
