// SPDX-License-Identifier: MIT
// GGO_NATIVE outlines to TrueType simple glyphs.
//
// A cubic is cut into n pieces of equal parameter length and each piece is
// replaced by the quadratic whose control point is (3(c1 + c2) - p0 - p3) / 4.
// That quadratic stays within sqrt(3)/36 |p3 - 3c2 + 3c1 - p0| of its piece,
// and cutting a cubic into n pieces divides that third difference by n^3, so
// n follows in closed form from the tolerance: no search, no recursion, and
// a bounded number of points per cubic.
#include "download/outlineconvert.h"

#include <windows.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "memory/globalblock.h"
#include "truetype/bereader.h"
#include "truetype/tables.h"
#include "truetype/truetype.h"

namespace {

constexpr uint32_t kPolygonHeaderSize = 16; // cb, dwType, pfxStart
constexpr uint32_t kCurveHeaderSize = 4;    // wType, cpfx
constexpr uint32_t kPointSize = 8;          // POINTFX
constexpr uint32_t kPolygonType = 24;       // TT_POLYGON_TYPE
constexpr uint16_t kPrimLine = 1;
constexpr uint16_t kPrimQSpline = 2;
constexpr uint16_t kPrimCSpline = 3;
const double kMidpointErrorFactor = std::sqrt(3.0) / 36.0;

struct Vec {
    double x;
    double y;
};

Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y}; }
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y}; }
Vec operator*(double s, Vec a) { return {s * a.x, s * a.y}; }

struct Point {
    int32_t x;
    int32_t y;
    bool bOnCurve;
};


} // namespace

// The blocks a conversion works in, sized for the maxima: points, contour
// ends, and the packed flags and steps (at most five bytes a point).
struct ConvertScratch {
    GlobalBlock<Point[]> points;
    GlobalBlock<uint16_t[]> contourEnds;
    GlobalBlock<uint8_t[]> packed;
};

namespace {

// The glyph being built: points of closed contours, and the contour open now.
struct GlyphBuilder {
    Point *points;
    uint16_t *contourEnds;
    uint8_t *packed;
    uint32_t nPoints = 0;
    uint32_t nContours = 0;
    uint32_t nContourStart = 0;
    bool bOverflow = false;
};

int32_t RoundToUnit(double v)
{
    // Clamped so that a wild value still converts; it is refused later as
    // out of the 16-bit range.
    if (!(v > -1e9))
        return -1000000000;
    if (v > 1e9)
        return 1000000000;
    // Half away from zero, as lround, without a library call per
    // coordinate: v - trunc(v) is exact at this magnitude.
    const auto whole = static_cast<int32_t>(v);
    const double fraction = v - whole;
    return whole + (fraction >= 0.5) - (fraction <= -0.5);
}

[[gnu::always_inline]] inline void AddPoint(GlyphBuilder &glyph, Vec v, bool bOnCurve)
{
    const Point point{RoundToUnit(v.x), RoundToUnit(v.y), bOnCurve};
    const uint32_t nInContour = glyph.nPoints - glyph.nContourStart;
    if (nInContour > 0) {
        const Point &last = glyph.points[glyph.nPoints - 1];
        // A line of zero length adds nothing.
        if (bOnCurve && last.bOnCurve && last.x == point.x && last.y == point.y)
            return;
        // An on-curve point halfway between two off-curve points is implied.
        if (!bOnCurve && last.bOnCurve && nInContour >= 3) {
            const Point &before = glyph.points[glyph.nPoints - 2];
            if (!before.bOnCurve && 2 * int64_t{last.x} == int64_t{before.x} + point.x &&
                2 * int64_t{last.y} == int64_t{before.y} + point.y)
                --glyph.nPoints;
        }
    }
    if (glyph.nPoints >= kMaxConvertedPoints) {
        glyph.bOverflow = true;
        return;
    }
    glyph.points[glyph.nPoints++] = point;
}

// Ends the open contour: drops a last point that repeats the first (the
// contour closes by itself) and reverses it to clockwise, first point kept.
void CloseContour(GlyphBuilder &glyph)
{
    const uint32_t nStart = glyph.nContourStart;
    if (glyph.nPoints == nStart)
        return;
    const Point &first = glyph.points[nStart];
    const Point &last = glyph.points[glyph.nPoints - 1];
    if (glyph.nPoints - nStart > 1 && last.bOnCurve && last.x == first.x && last.y == first.y)
        --glyph.nPoints;
    for (uint32_t i = nStart + 1, j = glyph.nPoints - 1; i < j; ++i, --j) {
        const Point swap = glyph.points[i];
        glyph.points[i] = glyph.points[j];
        glyph.points[j] = swap;
    }
    if (glyph.nContours >= kMaxConvertedContours) {
        glyph.bOverflow = true;
        return;
    }
    glyph.contourEnds[glyph.nContours++] = static_cast<uint16_t>(glyph.nPoints - 1);
    glyph.nContourStart = glyph.nPoints;
}

// The squared distance from p to the segment from a to b.
double Distance2ToSegment(Vec p, Vec a, Vec b)
{
    const Vec ab = b - a;
    const Vec ap = p - a;
    const double length2 = ab.x * ab.x + ab.y * ab.y;
    double t = length2 > 0 ? (ap.x * ab.x + ap.y * ab.y) / length2 : 0;
    t = t < 0 ? 0 : (t > 1 ? 1 : t);
    const Vec d = ap - t * ab;
    return d.x * d.x + d.y * d.y;
}

void AddCubic(GlyphBuilder &glyph, Vec p0, Vec c1, Vec c2, Vec p3, double tolerance)
{
    // Controls on the chord (degenerate and collinear cubics): a line. The
    // curve lies in the hull of its controls, so it stays that close.
    const double tolerance2 = tolerance * tolerance;
    if (Distance2ToSegment(c1, p0, p3) <= tolerance2 && Distance2ToSegment(c2, p0, p3) <= tolerance2) {
        AddPoint(glyph, p3, true);
        return;
    }
    // The cubic as a polynomial, a t^3 + b t^2 + c t + p0; a is its third
    // difference.
    const Vec a = p3 - 3.0 * c2 + 3.0 * c1 - p0;
    const Vec b = 3.0 * (p0 - 2.0 * c1 + c2);
    const Vec c = 3.0 * (c1 - p0);
    const double bound2 = kMidpointErrorFactor * kMidpointErrorFactor * (a.x * a.x + a.y * a.y);
    int n = 1;
    while (n < kMaxQuadraticsPerCubic && bound2 > tolerance2 * n * n * n * n * n * n)
        ++n;
    const double h = 1.0 / n;
    Vec q0 = p0;
    Vec slope0 = c;
    for (int i = 0; i < n; ++i) {
        const double t = i + 1 == n ? 1.0 : (i + 1) * h;
        const Vec q3 = i + 1 == n ? p3 : t * (t * (t * a + b) + c) + p0;
        // A piece starts with the slope the one before ended with; its
        // quadratic's control, (3 (q1 + q2) - q0 - q3) / 4 with the cubic
        // piece's controls q1 = q0 + h/3 slope0 and q2 = q3 - h/3 slope1.
        const Vec slope1 = t * (t * (3.0 * a) + 2.0 * b) + c;
        AddPoint(glyph, 0.5 * (q0 + q3) + (0.25 * h) * (slope0 - slope1), false);
        AddPoint(glyph, q3, true);
        q0 = q3;
        slope0 = slope1;
    }
}

// POINTFX at offset: two FIXED values (WORD fract, SHORT value), little-endian
// as GetGlyphOutline writes them.
Vec ReadPointFX(std::span<const uint8_t> bytes, uint32_t nOffset)
{
    auto fixedAt = [&](uint32_t at) {
        int32_t raw;
        std::memcpy(&raw, bytes.data() + at, 4);
        return raw / 65536.0;
    };
    return {fixedAt(nOffset), fixedAt(nOffset + 4)};
}

uint32_t ReadU32(std::span<const uint8_t> bytes, uint32_t nOffset)
{
    uint32_t v;
    std::memcpy(&v, bytes.data() + nOffset, 4);
    return v;
}

uint16_t ReadU16(std::span<const uint8_t> bytes, uint32_t nOffset)
{
    uint16_t v;
    std::memcpy(&v, bytes.data() + nOffset, 2);
    return v;
}

// The curves of one polygon (bytes [nStart, nEnd) after its header).
bool AddPolygonCurves(GlyphBuilder &glyph, std::span<const uint8_t> outline, uint32_t nStart,
                      uint32_t nEnd, Vec current, double tolerance)
{
    uint32_t at = nStart;
    while (at < nEnd && !glyph.bOverflow) {
        if (nEnd - at < kCurveHeaderSize)
            return false;
        const uint16_t wType = ReadU16(outline, at);
        const uint32_t nCount = ReadU16(outline, at + 2);
        at += kCurveHeaderSize;
        if (nCount == 0 || nCount > (nEnd - at) / kPointSize)
            return false;
        const uint32_t nPointsAt = at;
        at += nCount * kPointSize;
        auto point = [&](uint32_t k) { return ReadPointFX(outline, nPointsAt + k * kPointSize); };
        if (wType == kPrimLine) {
            for (uint32_t k = 0; k < nCount; ++k)
                AddPoint(glyph, point(k), true);
            current = point(nCount - 1);
        } else if (wType == kPrimQSpline) {
            // Controls, then the end point; between two controls the
            // on-curve point is implied, as in TrueType.
            for (uint32_t k = 0; k + 1 < nCount; ++k)
                AddPoint(glyph, point(k), false);
            AddPoint(glyph, point(nCount - 1), true);
            current = point(nCount - 1);
        } else if (wType == kPrimCSpline && nCount % 3 == 0) {
            for (uint32_t k = 0; k < nCount && !glyph.bOverflow; k += 3) {
                AddCubic(glyph, current, point(k), point(k + 1), point(k + 2), tolerance);
                current = point(k + 2);
            }
        } else {
            return false;
        }
    }
    return true;
}

bool FitsInt16(int64_t v) { return v >= -32768 && v <= 32767; }

void PutNextBE16(uint8_t *&pby, uint16_t v)
{
    PutBE16(pby, v);
    pby += 2;
}

// The flag bits of one axis's step, its bytes appended at pby: none when
// the point repeats the coordinate, one (the magnitude, the sign in the
// flag) for a short step, else two.
uint8_t PutAxis(uint8_t *&pby, int32_t delta, uint8_t shortBit, uint8_t sameOrPositiveBit)
{
    if (delta == 0)
        return sameOrPositiveBit;
    if (delta >= -255 && delta <= 255) {
        *pby++ = static_cast<uint8_t>(delta < 0 ? -delta : delta);
        return static_cast<uint8_t>(shortBit | (delta > 0 ? sameOrPositiveBit : 0));
    }
    PutNextBE16(pby, static_cast<uint16_t>(static_cast<int16_t>(delta)));
    return 0;
}

// Flags packed as they come: a run of more than two equal flags (up to 256)
// is the flag with kRepeat and the count of the ones after it.
struct FlagRuns {
    uint8_t *pby;
    uint8_t flag = 0;
    uint32_t nRun = 0;

    void Flush()
    {
        if (nRun > 2) {
            *pby++ = static_cast<uint8_t>(flag | SimpleGlyph::kRepeat);
            *pby++ = static_cast<uint8_t>(nRun - 1);
        } else {
            for (uint32_t k = 0; k < nRun; ++k)
                *pby++ = flag;
        }
    }
    void Add(uint8_t f)
    {
        if (nRun > 0 && f == flag && nRun < 256) {
            ++nRun;
            return;
        }
        Flush();
        flag = f;
        nRun = 1;
    }
};

// The box of the outline as drawn: its on-curve points (implied ones
// included) and the extremes of its curves, whole units around them. A
// quadratic's off-curve point can stand well outside its curve; TrueType
// rasterizers place a glyph by its header's xMin and the font's left side
// bearing, which a font with PostScript outlines gives for the drawn
// outline, so the header gives the drawn box too.
struct Box {
    double xMin, yMin, xMax, yMax;
    void AddX(double x)
    {
        xMin = x < xMin ? x : xMin;
        xMax = x > xMax ? x : xMax;
    }
    void AddY(double y)
    {
        yMin = y < yMin ? y : yMin;
        yMax = y > yMax ? y : yMax;
    }
};

// The extreme on one axis of the quadratic from a to b with control c,
// which lies strictly inside the curve when c lies outside [a, b].
double QuadraticExtreme(double a, double c, double b)
{
    const double t = (a - c) / (a - 2 * c + b);
    return (1 - t) * (1 - t) * a + 2 * t * (1 - t) * c + t * t * b;
}

void AddCurveExtreme(double a, double c, double b, Box &box, void (Box::*add)(double))
{
    if ((c < a && c < b) || (c > a && c > b))
        (box.*add)(QuadraticExtreme(a, c, b));
}

Box DrawnBox(const GlyphBuilder &glyph)
{
    const auto x0 = static_cast<double>(glyph.points[0].x), y0 = static_cast<double>(glyph.points[0].y);
    Box box{x0, y0, x0, y0};
    uint32_t nStart = 0;
    for (uint32_t k = 0; k < glyph.nContours; ++k) {
        const uint32_t nEnd = glyph.contourEnds[k];
        for (uint32_t i = nStart; i <= nEnd; ++i) {
            const Point &p = glyph.points[i];
            if (p.bOnCurve) {
                box.AddX(p.x);
                box.AddY(p.y);
                continue;
            }
            // The curve from the on-curve point before (real, or implied
            // halfway between two controls) to the one after; real ones
            // are in the box already or come in their turn.
            const Point &before = glyph.points[i == nStart ? nEnd : i - 1];
            const Point &after = glyph.points[i == nEnd ? nStart : i + 1];
            const double ax = before.bOnCurve ? before.x : (before.x + p.x) / 2.0;
            const double ay = before.bOnCurve ? before.y : (before.y + p.y) / 2.0;
            const double bx = after.bOnCurve ? after.x : (after.x + p.x) / 2.0;
            const double by = after.bOnCurve ? after.y : (after.y + p.y) / 2.0;
            if (!before.bOnCurve) {
                box.AddX(ax);
                box.AddY(ay);
            }
            AddCurveExtreme(ax, p.x, bx, box, &Box::AddX);
            AddCurveExtreme(ay, p.y, by, box, &Box::AddY);
        }
        nStart = nEnd + 1;
    }
    return box;
}

// One pass over the points packs flags, x and y steps into three parts of
// the scratch block (at most a flag and two bytes per axis per point); the
// glyph is then the header and the three parts back to back. Fails when a
// coordinate or a step does not fit 16 bits.
int EncodeGlyph(const GlyphBuilder &glyph, uint8_t **ppbyGlyph, uint32_t *pdwGlyphLength)
{
    const uint32_t n = glyph.nPoints;
    uint8_t *const pbyFlags = glyph.packed;
    uint8_t *const pbyXStart = pbyFlags + n;
    uint8_t *const pbyYStart = pbyXStart + 2 * size_t{n};
    FlagRuns flags{pbyFlags};
    uint8_t *pbyX = pbyXStart, *pbyY = pbyYStart;
    int32_t x = 0, y = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const Point &p = glyph.points[i];
        if (!FitsInt16(p.x) || !FitsInt16(p.y) || !FitsInt16(int64_t{p.x} - x) ||
            !FitsInt16(int64_t{p.y} - y))
            return 0;
        using namespace SimpleGlyph;
        flags.Add(static_cast<uint8_t>((p.bOnCurve ? kOnCurve : 0) |
                                       PutAxis(pbyX, p.x - x, kXShort, kXSameOrPositive) |
                                       PutAxis(pbyY, p.y - y, kYShort, kYSameOrPositive)));
        x = p.x;
        y = p.y;
    }
    // Inside the points' own box, so it fits 16 bits as they do.
    const Box box = DrawnBox(glyph);
    const auto xMin = static_cast<int32_t>(std::floor(box.xMin));
    const auto yMin = static_cast<int32_t>(std::floor(box.yMin));
    const auto xMax = static_cast<int32_t>(std::ceil(box.xMax));
    const auto yMax = static_cast<int32_t>(std::ceil(box.yMax));
    flags.Flush();
    const size_t nFlagBytes = static_cast<size_t>(flags.pby - pbyFlags);
    const size_t nXBytes = static_cast<size_t>(pbyX - pbyXStart);
    const size_t nYBytes = static_cast<size_t>(pbyY - pbyYStart);
    const uint64_t qwLength =
        GlyphHeader::kSize + 2ull * glyph.nContours + 2 + nFlagBytes + nXBytes + nYBytes;
    if (qwLength > static_cast<uint64_t>(kMaxCharacterGlyphLength))
        return 0;
    auto *pbyGlyph = static_cast<uint8_t *>(GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(qwLength)));
    if (!pbyGlyph)
        return 0;
    uint8_t *pby = pbyGlyph;
    PutNextBE16(pby, static_cast<uint16_t>(glyph.nContours));
    for (int32_t v : {xMin, yMin, xMax, yMax})
        PutNextBE16(pby, static_cast<uint16_t>(static_cast<int16_t>(v)));
    for (uint32_t k = 0; k < glyph.nContours; ++k)
        PutNextBE16(pby, glyph.contourEnds[k]);
    PutNextBE16(pby, 0); // no instructions
    std::memcpy(pby, pbyFlags, nFlagBytes);
    std::memcpy(pby + nFlagBytes, pbyXStart, nXBytes);
    std::memcpy(pby + nFlagBytes + nXBytes, pbyYStart, nYBytes);
    *ppbyGlyph = pbyGlyph;
    *pdwGlyphLength = static_cast<uint32_t>(qwLength);
    return 1;
}

} // namespace

ConvertScratch *NewConvertScratch()
{
    auto *pScratch = new (std::nothrow) ConvertScratch;
    if (!pScratch)
        return nullptr;
    pScratch->points.reset(static_cast<Point *>(GlobalAlloc(GMEM_FIXED, sizeof(Point) * kMaxConvertedPoints)));
    pScratch->contourEnds.reset(
        static_cast<uint16_t *>(GlobalAlloc(GMEM_FIXED, sizeof(uint16_t) * kMaxConvertedContours)));
    pScratch->packed.reset(static_cast<uint8_t *>(GlobalAlloc(GMEM_FIXED, 5 * size_t{kMaxConvertedPoints})));
    if (!pScratch->points || !pScratch->contourEnds || !pScratch->packed) {
        delete pScratch;
        return nullptr;
    }
    return pScratch;
}

void DeleteConvertScratch(ConvertScratch *pScratch) { delete pScratch; }

double CubicTolerance(uint32_t nUnitsPerEm)
{
    // An eighth of a device pixel at 1200 dpi on an em of kToleranceEmPoints:
    // nUnitsPerEm * 72 / (8 * 1200 * kToleranceEmPoints) font units.
    return nUnitsPerEm * 72.0 / (8.0 * 1200.0 * kToleranceEmPoints);
}

int ConvertNativeOutline(std::span<const uint8_t> outline, double tolerance, ConvertScratch &scratch,
                         uint8_t **ppbyGlyph, uint32_t *pdwGlyphLength)
{
    *ppbyGlyph = nullptr;
    *pdwGlyphLength = 0;
    if (outline.size() > 0xFFFFFFFFu)
        return 0;
    GlyphBuilder glyph{scratch.points.get(), scratch.contourEnds.get(), scratch.packed.get()};

    const auto nSize = static_cast<uint32_t>(outline.size());
    uint32_t at = 0;
    while (at < nSize) {
        if (nSize - at < kPolygonHeaderSize)
            return 0;
        const uint32_t cb = ReadU32(outline, at);
        if (cb < kPolygonHeaderSize || cb > nSize - at || ReadU32(outline, at + 4) != kPolygonType)
            return 0;
        const Vec start = ReadPointFX(outline, at + 8);
        AddPoint(glyph, start, true);
        if (!AddPolygonCurves(glyph, outline, at + kPolygonHeaderSize, at + cb, start, tolerance))
            return 0;
        CloseContour(glyph);
        if (glyph.bOverflow)
            return 0;
        at += cb;
    }
    if (glyph.nContours == 0)
        return 1;
    return EncodeGlyph(glyph, ppbyGlyph, pdwGlyphLength);
}

int ConvertNativeOutline(std::span<const uint8_t> outline, uint32_t nUnitsPerEm,
                         uint8_t **ppbyGlyph, uint32_t *pdwGlyphLength)
{
    *ppbyGlyph = nullptr;
    *pdwGlyphLength = 0;
    std::unique_ptr<ConvertScratch, void (*)(ConvertScratch *)> scratch(NewConvertScratch(),
                                                                        DeleteConvertScratch);
    if (!scratch)
        return 0;
    return ConvertNativeOutline(outline, CubicTolerance(nUnitsPerEm), *scratch, ppbyGlyph, pdwGlyphLength);
}
