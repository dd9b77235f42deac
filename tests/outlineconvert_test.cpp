// SPDX-License-Identifier: MIT
// GGO_NATIVE outlines to TrueType simple glyphs: error bounds on curves
// whose shape is known, the packed encoding, and hostile outlines.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "download/outlineconvert.h"

namespace {

struct Pt {
    double x;
    double y;
};

// A GGO_NATIVE buffer: polygons of (type, points) records.
struct Curve {
    uint16_t wType;
    std::vector<Pt> points;
};
struct Polygon {
    Pt start;
    std::vector<Curve> curves;
};

void PutLE(std::vector<uint8_t> &out, uint32_t v, int n)
{
    for (int i = 0; i < n; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutFixed(std::vector<uint8_t> &out, double v)
{
    PutLE(out, static_cast<uint32_t>(static_cast<int32_t>(std::lround(v * 65536))), 4);
}

std::vector<uint8_t> Native(const std::vector<Polygon> &polygons)
{
    std::vector<uint8_t> out;
    for (const Polygon &polygon : polygons) {
        const size_t at = out.size();
        PutLE(out, 0, 4);
        PutLE(out, 24, 4); // TT_POLYGON_TYPE
        PutFixed(out, polygon.start.x);
        PutFixed(out, polygon.start.y);
        for (const Curve &curve : polygon.curves) {
            PutLE(out, curve.wType, 2);
            PutLE(out, static_cast<uint32_t>(curve.points.size()), 2);
            for (const Pt &p : curve.points) {
                PutFixed(out, p.x);
                PutFixed(out, p.y);
            }
        }
        const auto cb = static_cast<uint32_t>(out.size() - at);
        std::memcpy(out.data() + at, &cb, 4);
    }
    return out;
}

constexpr uint16_t kLine = 1, kQSpline = 2, kCSpline = 3;

// A converted glyph read back: contours of (point, on-curve).
struct Decoded {
    int16_t box[4] = {};
    std::vector<std::vector<std::pair<Pt, bool>>> contours;
    size_t nPoints = 0;
};

Decoded Decode(const uint8_t *g, uint32_t n)
{
    auto u16 = [&](uint32_t at) { return static_cast<uint16_t>(g[at] << 8 | g[at + 1]); };
    Decoded d;
    const int nContours = static_cast<int16_t>(u16(0));
    for (int i = 0; i < 4; ++i)
        d.box[i] = static_cast<int16_t>(u16(2 + 2 * i));
    std::vector<uint16_t> ends;
    for (int k = 0; k < nContours; ++k)
        ends.push_back(u16(10 + 2 * k));
    uint32_t at = 10 + 2 * nContours;
    at += 2 + u16(at);
    d.nPoints = ends.empty() ? 0 : ends.back() + 1u;
    std::vector<uint8_t> flags;
    while (flags.size() < d.nPoints) {
        const uint8_t f = g[at++];
        flags.push_back(f);
        if (f & 8)
            for (int r = g[at++]; r > 0; --r)
                flags.push_back(f);
    }
    std::vector<Pt> pts(d.nPoints);
    for (int axis = 0; axis < 2; ++axis) {
        int v = 0;
        for (size_t i = 0; i < d.nPoints; ++i) {
            const uint8_t shortBit = axis ? 4 : 2, sameBit = axis ? 0x20 : 0x10;
            if (flags[i] & shortBit)
                v += (flags[i] & sameBit) ? g[at] : -g[at], at += 1;
            else if (!(flags[i] & sameBit))
                v += static_cast<int16_t>(u16(at)), at += 2;
            (axis ? pts[i].y : pts[i].x) = v;
        }
    }
    EXPECT_EQ(at, n) << "glyph length";
    size_t first = 0;
    for (uint16_t end : ends) {
        d.contours.emplace_back();
        for (size_t i = first; i <= end; ++i)
            d.contours.back().push_back({pts[i], (flags[i] & 1) != 0});
        first = end + 1u;
    }
    return d;
}

// Dense samples along a decoded contour (quadratic segments, implied
// on-curve points between two controls).
std::vector<Pt> Samples(const std::vector<std::pair<Pt, bool>> &contour)
{
    std::vector<Pt> out;
    const size_t n = contour.size();
    auto mid = [](Pt a, Pt b) { return Pt{(a.x + b.x) / 2, (a.y + b.y) / 2}; };
    Pt from = contour[0].first; // converted contours start on-curve
    for (size_t i = 1; i <= n; ++i) {
        const auto &[p, on] = contour[i % n];
        if (on) {
            for (int k = 0; k <= 64; ++k)
                out.push_back({from.x + (p.x - from.x) * k / 64, from.y + (p.y - from.y) * k / 64});
            from = p;
            continue;
        }
        const auto &[next, nextOn] = contour[(i + 1) % n];
        const Pt to = nextOn ? next : mid(p, next);
        for (int k = 0; k <= 64; ++k) {
            const double t = k / 64.0, s = 1 - t;
            out.push_back({s * s * from.x + 2 * s * t * p.x + t * t * to.x,
                           s * s * from.y + 2 * s * t * p.y + t * t * to.y});
        }
        from = to;
        if (nextOn)
            ++i;
    }
    return out;
}

// Distance from p to a polyline through the samples.
double Nearest(Pt p, const std::vector<Pt> &samples)
{
    double best = 1e300;
    for (size_t i = 0; i + 1 < samples.size(); ++i) {
        const Pt a = samples[i], b = samples[i + 1];
        const double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
        const double t = len2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / len2, 0.0, 1.0) : 0;
        best = std::min(best, std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy));
    }
    return best;
}

// Largest distance, both ways, between a cubic closed by its chord and the
// converted glyph.
double CubicError(Pt p0, Pt c1, Pt c2, Pt p3, const Decoded &glyph)
{
    std::vector<Pt> converted, original;
    for (const auto &contour : glyph.contours)
        for (Pt p : Samples(contour))
            converted.push_back(p);
    for (int k = 0; k <= 2000; ++k) {
        const double t = k / 2000.0, s = 1 - t;
        original.push_back({s * s * s * p0.x + 3 * s * s * t * c1.x + 3 * s * t * t * c2.x + t * t * t * p3.x,
                            s * s * s * p0.y + 3 * s * s * t * c1.y + 3 * s * t * t * c2.y + t * t * t * p3.y});
    }
    original.push_back(p0);
    double worst = 0;
    for (Pt p : original)
        worst = std::max(worst, Nearest(p, converted));
    for (Pt p : converted)
        worst = std::max(worst, Nearest(p, original));
    return worst;
}

struct Converted {
    int nResult;
    std::vector<uint8_t> bytes;
};

Converted Convert(const std::vector<uint8_t> &outline, uint32_t nUnitsPerEm)
{
    uint8_t *pby = nullptr;
    uint32_t n = 0;
    const int r = ConvertNativeOutline(outline, nUnitsPerEm, &pby, &n);
    Converted c{r, pby ? std::vector<uint8_t>(pby, pby + n) : std::vector<uint8_t>()};
    if (pby)
        GlobalFree(pby);
    return c;
}

// A contour of one cubic from p0 to p3, closed by a line.
double ConvertCubic(Pt p0, Pt c1, Pt c2, Pt p3, uint32_t nUnitsPerEm, Decoded *out = nullptr)
{
    const Converted c = Convert(Native({{p0, {{kCSpline, {c1, c2, p3}}}}}), nUnitsPerEm);
    EXPECT_EQ(c.nResult, 1);
    if (c.bytes.empty())
        return 1e300;
    const Decoded d = Decode(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()));
    if (out)
        *out = d;
    return CubicError(p0, c1, c2, p3, d);
}

TEST(OutlineConvert, CubicsStayWithinATolerance)
{
    // Quarter circle of radius 1000 at 1000 units per em: one font unit.
    const double k = 0.5522847498 * 1000;
    Decoded circle;
    EXPECT_LE(ConvertCubic({1000, 0}, {1000, k}, {k, 1000}, {0, 1000}, 1000, &circle), 1.0);
    EXPECT_EQ(circle.box[0], 0);
    EXPECT_EQ(circle.box[3], 1000);
    EXPECT_LT(circle.nPoints, 12u) << "a quarter circle needs only a few quadratics";
    // S-curve with an inflection, 2048 units per em: 2.048 units.
    EXPECT_LE(ConvertCubic({0, 0}, {1500, 0}, {-500, 1500}, {1000, 1500}, 2048), 2.048);
    // Collinear controls that overshoot both ends: the curve runs past them.
    EXPECT_LE(ConvertCubic({0, 0}, {300, 0}, {-200, 0}, {100, 0}, 1000), 1.0);
    // Large curve near the edge of the 16-bit range.
    EXPECT_LE(ConvertCubic({0, 0}, {0, 30000}, {2000, 32000}, {32000, 32000}, 1000), 1.0);
    // Tiny units per em still get one font unit.
    EXPECT_LE(ConvertCubic({0, 0}, {0, 10}, {10, 16}, {16, 16}, 16), 1.0);
}

TEST(OutlineConvert, DegenerateOutlines)
{
    // Controls on the end points, and on the chord: straight lines, no controls.
    const Converted line = Convert(
        Native({{{0, 0}, {{kCSpline, {{0, 0}, {100, 100}, {100, 100}, {150, 100}, {200, 100}, {250, 100}}},
                          {kLine, {{250, 0}}}}}}),
        1000);
    ASSERT_EQ(line.nResult, 1);
    const Decoded d = Decode(line.bytes.data(), static_cast<uint32_t>(line.bytes.size()));
    ASSERT_EQ(d.contours.size(), 1u);
    for (const auto &[p, on] : d.contours[0])
        EXPECT_TRUE(on);
    EXPECT_EQ(d.nPoints, 4u);
    // A cubic of zero length and a contour of one point.
    const Converted dot = Convert(Native({{{5, 7}, {{kCSpline, {{5, 7}, {5, 7}, {5, 7}}}}}, {{9, 9}, {}}}), 1000);
    ASSERT_EQ(dot.nResult, 1);
    const std::vector<uint8_t> twoDots = {0, 2, 0, 5, 0, 7, 0, 9, 0, 9, 0, 0, 0, 1, 0, 0,
                                          0x37, 0x37, 5, 4, 7, 2};
    EXPECT_EQ(dot.bytes, twoDots);
    // No polygons: an empty glyph.
    const Converted empty = Convert({}, 1000);
    EXPECT_EQ(empty.nResult, 1);
    EXPECT_TRUE(empty.bytes.empty());
}

TEST(OutlineConvert, PackedClockwiseGlyph)
{
    // A counter-clockwise square (as PostScript outlines run) comes out
    // clockwise, closed without repeating its first point, flags packed.
    const Converted square =
        Convert(Native({{{0, 0}, {{kLine, {{100, 0}, {100, 100}, {0, 100}, {0, 0}}}}}}), 1000);
    ASSERT_EQ(square.nResult, 1);
    const std::vector<uint8_t> expected = {0, 1, 0, 0, 0, 0, 0, 100, 0, 100, 0, 3, 0, 0,
                                           0x31, 0x35, 0x33, 0x15, 100, 100, 100};
    EXPECT_EQ(square.bytes, expected);
    // Quadratic splines keep their controls; an implied on-curve point stays implied.
    const Converted quad =
        Convert(Native({{{0, 0}, {{kQSpline, {{0, 100}, {100, 100}, {100, 0}}}}}}), 1000);
    ASSERT_EQ(quad.nResult, 1);
    const Decoded d = Decode(quad.bytes.data(), static_cast<uint32_t>(quad.bytes.size()));
    ASSERT_EQ(d.nPoints, 4u);
    EXPECT_TRUE(d.contours[0][1].second);
    EXPECT_FALSE(d.contours[0][2].second);
    EXPECT_FALSE(d.contours[0][3].second);
    // Runs of more than two equal flags use the repeat count.
    std::vector<Pt> zigzag;
    for (int i = 1; i <= 20; ++i)
        zigzag.push_back({i * 10.0, 0});
    const Converted run = Convert(Native({{{0, 0}, {{kLine, zigzag}}}}), 1000);
    ASSERT_EQ(run.nResult, 1);
    const std::vector<uint8_t> flags = {0x31, 0x33, 0x23 | 0x08, 18};
    EXPECT_EQ(std::vector<uint8_t>(run.bytes.begin() + 14, run.bytes.begin() + 18), flags);
}

TEST(OutlineConvert, HostileOutlinesFailCleanly)
{
    const std::vector<uint8_t> good = Native({{{0, 0}, {{kLine, {{1, 0}, {1, 1}}}}}});
    auto failsWith = [&](std::vector<uint8_t> outline) { return Convert(outline, 1000).nResult == 0; };
    std::vector<uint8_t> bad = good;
    bad[0] = 8; // cb shorter than the polygon header
    EXPECT_TRUE(failsWith(bad));
    bad = good;
    bad[0] = static_cast<uint8_t>(good.size() + 4); // cb past the end
    EXPECT_TRUE(failsWith(bad));
    bad = good;
    bad[4] = 25; // not TT_POLYGON_TYPE
    EXPECT_TRUE(failsWith(bad));
    bad = good;
    bad[18] = 3; // more points than the record holds
    EXPECT_TRUE(failsWith(bad));
    bad = good;
    bad[16] = 7; // unknown curve type
    EXPECT_TRUE(failsWith(bad));
    bad = good;
    bad.resize(good.size() - 1); // cut short
    EXPECT_TRUE(failsWith(bad));
    EXPECT_TRUE(failsWith(Native({{{0, 0}, {{kCSpline, {{1, 1}, {2, 2}}}}}}))); // not whole cubics
    // Coordinates or steps beyond 16 bits.
    EXPECT_TRUE(failsWith(Native({{{-30000, 0}, {{kLine, {{30000, 0}}}}}})));
    // More points or contours than a converted glyph may have: refused, and
    // the work stops at the cap whatever the outline holds.
    std::vector<Pt> many;
    for (int i = 0; i < kMaxConvertedPoints + 10; ++i)
        many.push_back({static_cast<double>(i % 100), static_cast<double>(i % 7)});
    EXPECT_TRUE(failsWith(Native({{{0, 0}, {{kLine, many}}}})));
    std::vector<Polygon> dots(kMaxConvertedContours + 1, Polygon{{1, 1}, {}});
    EXPECT_TRUE(failsWith(Native(dots)));
    // A wild cubic across the whole range: a bounded number of pieces.
    Decoded wild;
    ConvertCubic({0, 0}, {32767, -32768}, {-32768, 32767}, {32767, 32767}, 1000, &wild);
    EXPECT_LE(wild.nPoints, 2u * kMaxQuadraticsPerCubic + 1);
}

} // namespace
