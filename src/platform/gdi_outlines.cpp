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

// Writes the records into buffer, or only counts their bytes when buffer
// is null; the box of every point given (on and off the curve) comes along.
struct NativeWriter {
    uint8_t *buffer;
    size_t capacity;
    size_t size;
    size_t polygonAt; // kNoRecord before the first contour
    size_t curveAt;   // the open curve record, kNoRecord when none
    WORD curveType;
    WORD curveCount;
    FT_Vector start;
    FT_Vector current;
    FT_Vector lastControl; // of the open TT_PRIM_QSPLINE record
    FT_BBox box;
    bool anyPoint;
    bool closingLine; // a straight step back to the start, not written yet
    bool failed;
};

void PutFixed(NativeWriter &w, FT_Pos v26dot6)
{
    if (w.buffer) {
        const auto fixed = static_cast<int32_t>(static_cast<uint32_t>(v26dot6) << 10);
        memcpy(w.buffer + w.size, &fixed, 4);
    }
    w.size += 4;
}

void PutCurveCount(NativeWriter &w)
{
    if (w.buffer)
        memcpy(w.buffer + w.curveAt + 2, &w.curveCount, 2);
}

bool Room(NativeWriter &w, size_t n)
{
    if (w.capacity - w.size < n)
        w.failed = true;
    return !w.failed;
}

// Checks that the point fits 16.16 fixed point and adds it to the box.
void TakePoint(NativeWriter &w, const FT_Vector &v)
{
    if (v.x < -kMaxPixels26Dot6 || v.x > kMaxPixels26Dot6 || v.y < -kMaxPixels26Dot6 || v.y > kMaxPixels26Dot6)
        w.failed = true;
    if (!w.anyPoint) {
        w.box = {v.x, v.y, v.x, v.y};
        w.anyPoint = true;
        return;
    }
    w.box.xMin = v.x < w.box.xMin ? v.x : w.box.xMin;
    w.box.yMin = v.y < w.box.yMin ? v.y : w.box.yMin;
    w.box.xMax = v.x > w.box.xMax ? v.x : w.box.xMax;
    w.box.yMax = v.y > w.box.yMax ? v.y : w.box.yMax;
}

void ClosePolygon(NativeWriter &w)
{
    if (w.polygonAt == kNoRecord)
        return;
    // The polygon closes by itself: a last straight step back to its start
    // is left out (held back until it is known to be the last).
    w.closingLine = false;
    const auto cb = static_cast<DWORD>(w.size - w.polygonAt);
    if (w.buffer)
        memcpy(w.buffer + w.polygonAt, &cb, 4);
    w.polygonAt = kNoRecord;
    w.curveAt = kNoRecord;
}

void AddPoints(NativeWriter &w, WORD type, const FT_Vector *points, int n);

// Writes a held-back step to the start: the contour goes on after it.
void FlushClosingLine(NativeWriter &w)
{
    if (!w.closingLine)
        return;
    w.closingLine = false;
    AddPoints(w, TT_PRIM_LINE, &w.start, 1);
}

// Appends points to the open record of the type, opening one when needed.
void AddPoints(NativeWriter &w, WORD type, const FT_Vector *points, int n)
{
    for (int i = 0; i < n; ++i)
        TakePoint(w, points[i]);
    if (w.failed || w.polygonAt == kNoRecord)
        return;
    if (w.curveAt == kNoRecord || w.curveType != type) {
        if (!Room(w, kCurveHeaderSize))
            return;
        w.curveAt = w.size;
        w.curveType = type;
        w.curveCount = 0;
        if (w.buffer)
            memcpy(w.buffer + w.size, &type, 2);
        w.size += kCurveHeaderSize;
    }
    if (!Room(w, n * sizeof(POINTFX)))
        return;
    w.curveCount = static_cast<WORD>(w.curveCount + n);
    PutCurveCount(w);
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
    TakePoint(w, *to);
    if (w.failed || !Room(w, kPolygonHeaderSize))
        return 1;
    w.polygonAt = w.size;
    if (w.buffer) {
        const DWORD header[2] = {0, TT_POLYGON_TYPE};
        memcpy(w.buffer + w.size, header, sizeof header);
    }
    w.size += 2 * sizeof(DWORD);
    PutFixed(w, to->x);
    PutFixed(w, to->y);
    w.start = *to;
    w.current = *to;
    return 0;
}

int LineTo(const FT_Vector *to, void *user)
{
    auto &w = *static_cast<NativeWriter *>(user);
    FlushClosingLine(w);
    if (w.polygonAt != kNoRecord && to->x == w.start.x && to->y == w.start.y) {
        TakePoint(w, *to);
        w.closingLine = true;
        w.current = *to;
        return w.failed ? 1 : 0;
    }
    AddPoints(w, TT_PRIM_LINE, to, 1);
    return w.failed ? 1 : 0;
}

int ConicTo(const FT_Vector *control, const FT_Vector *to, void *user)
{
    auto &w = *static_cast<NativeWriter *>(user);
    FlushClosingLine(w);
    // FreeType splits a run of controls at their midpoints; a record keeps
    // them together, the midpoint implied.
    if (w.curveAt != kNoRecord && w.curveType == TT_PRIM_QSPLINE &&
        w.current.x == (w.lastControl.x + control->x) / 2 &&
        w.current.y == (w.lastControl.y + control->y) / 2) {
        w.size -= sizeof(POINTFX);
        --w.curveCount;
        PutCurveCount(w);
    }
    const FT_Vector points[2] = {*control, *to};
    AddPoints(w, TT_PRIM_QSPLINE, points, 2);
    w.lastControl = *control;
    return w.failed ? 1 : 0;
}

int CubicTo(const FT_Vector *control1, const FT_Vector *control2, const FT_Vector *to, void *user)
{
    auto &w = *static_cast<NativeWriter *>(user);
    FlushClosingLine(w);
    const FT_Vector points[3] = {*control1, *control2, *to};
    AddPoints(w, TT_PRIM_CSPLINE, points, 3);
    return w.failed ? 1 : 0;
}

// GDI's metrics from the box of the outline's points (FreeType's control
// box) and the advance.
void FillMetrics(const FT_GlyphSlot slot, const FT_BBox &box, GLYPHMETRICS *lpgm)
{
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

DWORD NativeGlyphOutline(FT_Face face, FT_UInt glyph, bool hinted, GLYPHMETRICS *lpgm, DWORD cjBuffer,
                         LPVOID pvBuffer)
{
    const FT_Int32 flags = FT_LOAD_NO_BITMAP | (hinted ? FT_LOAD_DEFAULT : FT_LOAD_NO_HINTING);
    if (glyph >= static_cast<FT_ULong>(face->num_glyphs) || FT_Load_Glyph(face, glyph, flags) != 0 ||
        face->glyph->format != FT_GLYPH_FORMAT_OUTLINE)
        return GDI_ERROR;
    const FT_Outline &outline = face->glyph->outline;
    // Written straight into the caller's block; without one, only counted.
    const bool write = pvBuffer != nullptr && cjBuffer != 0;
    NativeWriter w{};
    w.buffer = write ? static_cast<uint8_t *>(pvBuffer) : nullptr;
    w.capacity = write ? cjBuffer : SIZE_MAX;
    w.polygonAt = kNoRecord;
    w.curveAt = kNoRecord;
    const FT_Outline_Funcs funcs = {MoveTo, LineTo, ConicTo, CubicTo, 0, 0};
    const bool decomposed =
        outline.n_points == 0 || FT_Outline_Decompose(const_cast<FT_Outline *>(&outline), &funcs, &w) == 0;
    ClosePolygon(w);
    // A block too small for the outline fails, as in GDI; so does an
    // outline with a coordinate beyond 16.16.
    if (!decomposed || w.failed || w.size >= GDI_ERROR)
        return GDI_ERROR;
    FillMetrics(face->glyph, w.box, lpgm);
    return static_cast<DWORD>(w.size);
}
