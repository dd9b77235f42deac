// SPDX-License-Identifier: MIT
// The variation engine on a small variable font built here: normalized
// coordinates through avar, gvar's tuples (shared and private point
// numbers, an intermediate region, a region the instance lies outside),
// interpolation of untouched points, a composite's offsets, HVAR's advance
// deltas; and gvar tables that are cut short or claim more than they hold.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "support/fontbuilder.h"
#include "truetype/bereader.h"
#include "truetype/instance.h"

namespace {

// One axis, wght 100 to 900, default 400.
Bytes MakeFvar()
{
    Bytes fvar;
    AppendU16(fvar, 1), AppendU16(fvar, 0), AppendU16(fvar, 16), AppendU16(fvar, 2);
    AppendU16(fvar, 1), AppendU16(fvar, 20), AppendU16(fvar, 0), AppendU16(fvar, 8);
    AppendTag(fvar, "wght");
    AppendU32(fvar, 100u << 16), AppendU32(fvar, 400u << 16), AppendU32(fvar, 900u << 16);
    AppendU16(fvar, 0), AppendU16(fvar, 256);
    return fvar;
}

// avar: 0.5 goes to 0.75.
Bytes MakeAvar()
{
    Bytes avar;
    AppendU16(avar, 1), AppendU16(avar, 0), AppendU16(avar, 0), AppendU16(avar, 1);
    AppendU16(avar, 4);
    for (const int16_t value : {-16384, -16384, 0, 0, 8192, 12288, 16384, 16384})
        AppendI16(avar, value);
    return avar;
}

// Glyph 0: one contour through five points; glyph 1: glyph 0 twice, the
// first at (200, 0).
std::vector<Bytes> MakeGlyphs()
{
    return {MakeSimpleGlyph({{0, 0}, {0, 100}, {50, 100}, {100, 100}, {100, 0}}),
            MakeCompositeGlyph({{kArgsAreWords | kArgsAreXYValues | kMoreComponents, 0, {0x00, 0xC8, 0x00, 0x00}},
                                {kArgsAreXYValues, 0, {0x00, 0x00}}})};
}

// Glyph 0: tuple A at the shared peak 1.0 moves points 1 and 3 (private
// point numbers; the other three follow by interpolation); tuple B, an
// intermediate region 0.25 to 1.0 peaking at 0.5, moves every point (the
// shared numbers) and the advance; tuple C, at -1.0, does not apply.
// Glyph 1: its first component moves (shared point numbers).
Bytes MakeGvar()
{
    const Bytes glyph0 = {
        0x80, 0x03, 0x00, 24,                         // shared points, 3 tuples; data at 24
        0x00, 10, 0x20, 0x00,                         // A: 10 bytes, private points, shared tuple 0
        0x00, 11, 0xC0, 0x00, 0x20, 0x00, 0x10, 0x00, // B: 11 bytes, peak 0.5, from 0.25
        0x40, 0x00,                                   //    to 1.0
        0x00, 2, 0x80, 0x00, 0xC0, 0x00,              // C: 2 bytes, peak -1.0
        0x00,                                         // shared points: all
        0x02, 0x01, 1, 2,                             // A: points 1 and 3
        0x01, 11, 30, 0x01, 20, 20,                   //    x and y deltas
        0x85, 0x00, 8, 0x81,                          // B: x, only the advance's point
        0x04, 2, 2, 2, 2, 2, 0x83,                    //    y, the outline's points
        0x88, 0x88,                                   // C: zeros
    };
    const Bytes glyph1 = {
        0x80, 0x01, 0x00, 8, // shared points, 1 tuple; data at 8
        0x00, 4, 0x00, 0x00, // 4 bytes, shared tuple 0
        0x01, 0x00, 0x00,    // shared points: component 0
        0x00, 40, 0x00, 0xEC, 0x00,
    };
    Bytes gvar;
    AppendU16(gvar, 1), AppendU16(gvar, 0), AppendU16(gvar, 1), AppendU16(gvar, 1);
    AppendU32(gvar, 26); // shared tuples, after the offsets
    AppendU16(gvar, 2), AppendU16(gvar, 0);
    AppendU32(gvar, 28);
    AppendU16(gvar, 0), AppendU16(gvar, static_cast<uint16_t>(glyph0.size() / 2));
    AppendU16(gvar, static_cast<uint16_t>((glyph0.size() + glyph1.size()) / 2));
    AppendI16(gvar, 16384);
    AppendBytes(gvar, glyph0);
    AppendBytes(gvar, glyph1);
    return gvar;
}

// HVAR: glyph 1's advance grows by 30 at the peak 1.0.
Bytes MakeHvar()
{
    Bytes hvar;
    AppendU16(hvar, 1), AppendU16(hvar, 0), AppendU32(hvar, 20), AppendU32(hvar, 0), AppendU32(hvar, 0);
    AppendU32(hvar, 0);
    AppendU16(hvar, 1), AppendU32(hvar, 12), AppendU16(hvar, 1), AppendU32(hvar, 22); // store
    AppendU16(hvar, 1), AppendU16(hvar, 1), AppendI16(hvar, 0), AppendI16(hvar, 16384), AppendI16(hvar, 16384);
    AppendU16(hvar, 2), AppendU16(hvar, 0), AppendU16(hvar, 1), AppendU16(hvar, 0); // two items, bytes
    AppendU8(hvar, 0), AppendU8(hvar, 30);
    return hvar;
}

struct Engine {
    GlyfLoca glyfLoca;
    Bytes gvar;
    GlyphInstance instance{};

    Engine(const Bytes &gvarIn, int16_t nCoordinate, const std::vector<Bytes> &glyphs = MakeGlyphs())
        : glyfLoca(MakeGlyfLoca(glyphs, true)), gvar(gvarIn)
    {
        VariationCoordinates coordinates{1, {nCoordinate}};
        result = OpenGlyphInstance(instance,
                                   {BEReader(glyfLoca.glyf.data(), glyfLoca.glyf.size()),
                                    BEReader(glyfLoca.loca.data(), glyfLoca.loca.size()),
                                    BEReader(gvar.data(), gvar.size()), true, 2},
                                   coordinates);
    }
    ~Engine() { CloseGlyphInstance(instance); }
    VaryResult result;

    Bytes Glyph(uint16_t nGlyph, VaryResult expected = VaryResult::kOk)
    {
        int32_t nLength = -1, nOrigin = -1, nAdvance = -1;
        EXPECT_EQ(VaryGlyph(instance, nGlyph, &nLength, nullptr, &nOrigin, &nAdvance), expected);
        lastAdvanceDelta = nAdvance;
        return expected == VaryResult::kOk ? Bytes(instance.pbyGlyph, instance.pbyGlyph + nLength) : Bytes{};
    }
    int32_t lastAdvanceDelta = 0;
};

} // namespace

TEST(VariationEngine, InstanceGlyphsAndMetrics)
{
    // wght 650 is 0.5 normalized, 0.75 through avar.
    const Bytes fvar = MakeFvar(), avar = MakeAvar();
    const int32_t lUser = 650 << 16;
    VariationCoordinates coordinates{};
    ASSERT_TRUE(NormalizeCoordinates(BEReader(fvar.data(), fvar.size()), BEReader(), &lUser, 1, coordinates));
    EXPECT_EQ(coordinates.anNormalized[0], 8192);
    ASSERT_TRUE(NormalizeCoordinates(BEReader(fvar.data(), fvar.size()), BEReader(avar.data(), avar.size()), &lUser,
                                     1, coordinates));
    EXPECT_EQ(coordinates.anNormalized[0], 12288);
    const int32_t lBelow = 250 << 16; // halfway to the minimum
    ASSERT_TRUE(NormalizeCoordinates(BEReader(fvar.data(), fvar.size()), BEReader(), &lBelow, 1, coordinates));
    EXPECT_EQ(coordinates.anNormalized[0], -8192);

    // At 0.5: A at half strength (point 1's 11 becomes 5.5, rounded up;
    // point 2 interpolated between 1 and 3, the rest take their
    // neighbours' deltas), B at full strength.
    Engine engine(MakeGvar(), 8192);
    ASSERT_EQ(engine.result, VaryResult::kOk);
    EXPECT_EQ(engine.Glyph(0), (Bytes{0x00, 0x01, 0x00, 0x06, 0x00, 0x0C, 0x00, 0x73, 0x00, 0x70, // box
                                      0x00, 0x04, 0x00, 0x00,                                     // no instructions
                                      0x37, 0x35, 0x3B, 0x01, 0x15, // (6,12) (6,112) (60,112) (115,112) (115,12)
                                      0x06, 0x36, 0x37, 0x0C, 0x64, 0x64}));
    EXPECT_EQ(engine.lastAdvanceDelta, 8);
    // The first component moves by (20, -10); the box is the components'.
    EXPECT_EQ(engine.Glyph(1), (Bytes{0xFF, 0xFF, 0x00, 0x06, 0x00, 0x02, 0x01, 0x4F, 0x00, 0x70, 0x00, 0x23, 0x00,
                                      0x00, 0x00, 0xDC, 0xFF, 0xF6, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(engine.lastAdvanceDelta, 0);
    // At the default nothing moves but the instructions are gone; at 0.25
    // B's region starts, so only A applies, at a quarter.
    Engine atDefault(MakeGvar(), 0);
    EXPECT_EQ(atDefault.Glyph(0), (Bytes{0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x64, 0x00, 0x64, 0x00, 0x04,
                                         0x00, 0x00, 0x31, 0x35, 0x3B, 0x01, 0x15, 0x32, 0x32, 0x64, 0x64}));
    Engine quarter(MakeGvar(), 4096);
    const Bytes quarterGlyph = quarter.Glyph(0);
    ASSERT_GE(quarterGlyph.size(), 10u);
    EXPECT_EQ(Bytes(quarterGlyph.begin() + 2, quarterGlyph.begin() + 10),
              (Bytes{0x00, 0x03, 0x00, 0x05, 0x00, 0x6C, 0x00, 0x69})); // (3,5) to (108,105)

    const Bytes hvar = MakeHvar();
    int32_t nDelta = 0;
    VariationCoordinates half{1, {8192}};
    ASSERT_TRUE(HvarAdvanceDelta(BEReader(hvar.data(), hvar.size()), half, 1, &nDelta));
    EXPECT_EQ(nDelta, 15);
    ASSERT_TRUE(HvarAdvanceDelta(BEReader(hvar.data(), hvar.size()), half, 0, &nDelta));
    EXPECT_EQ(nDelta, 0);
    EXPECT_FALSE(HvarAdvanceDelta(BEReader(hvar.data(), hvar.size()), half, 2, &nDelta)); // no such item
}

TEST(VariationEngine, DamagedGvarIsRefused)
{
    const Bytes gvar = MakeGvar();
    // Cut anywhere: the header refuses, or each glyph varies or is refused,
    // never read past the cut (the sanitizers watch).
    for (size_t nCut = 0; nCut < gvar.size(); ++nCut) {
        Engine engine(Bytes(gvar.begin(), gvar.begin() + nCut), 8192);
        if (engine.result != VaryResult::kOk)
            continue;
        for (uint16_t nGlyph = 0; nGlyph < 2; ++nGlyph) {
            int32_t nLength = 0;
            const VaryResult result = VaryGlyph(engine.instance, nGlyph, &nLength);
            EXPECT_TRUE(result == VaryResult::kOk || result == VaryResult::kDamaged) << nCut;
        }
    }
    EXPECT_NE(Engine(Bytes(gvar.begin(), gvar.begin() + 24), 8192).result, VaryResult::kOk);
    {
        // Glyph 0's data cut inside tuple A's deltas.
        Bytes cut = gvar;
        PutU16(cut, 22, 32 / 2);
        Engine engine(cut, 8192);
        ASSERT_EQ(engine.result, VaryResult::kOk);
        engine.Glyph(0, VaryResult::kDamaged);
    }
    {
        // 4095 tuples claimed; a shared tuple past the shared ones; 127
        // shared point numbers in glyph 1's 16 bytes.
        constexpr size_t kGlyph1SharedPoints = 28 + 48 + 8;
        for (const auto &[nAt, nValue] : std::vector<std::pair<size_t, uint16_t>>{
                 {28, 0x8FFF}, {28 + 6, 0x2001}, {kGlyph1SharedPoints, 0x7F}}) {
            Bytes bad = gvar;
            if (nAt == kGlyph1SharedPoints)
                bad[nAt] = static_cast<uint8_t>(nValue);
            else
                PutU16(bad, nAt, nValue);
            Engine engine(bad, 8192);
            ASSERT_EQ(engine.result, VaryResult::kOk);
            engine.Glyph(nAt == kGlyph1SharedPoints ? 1 : 0, VaryResult::kDamaged);
        }
    }
    // A composite that names itself ends at the depth limit.
    std::vector<Bytes> looping = MakeGlyphs();
    looping[1] = MakeCompositeGlyph({{kArgsAreXYValues, 1, {0x00, 0x00}}});
    Engine loop(gvar, 8192, looping);
    ASSERT_EQ(loop.result, VaryResult::kOk);
    loop.Glyph(1, VaryResult::kDamaged);
    // Fewer glyphs in gvar than in the font, or another axis count.
    Bytes fewer = gvar;
    PutU16(fewer, 12, 1);
    EXPECT_EQ(Engine(fewer, 8192).result, VaryResult::kDamaged);
    Bytes axes = gvar;
    PutU16(axes, 4, 2);
    EXPECT_EQ(Engine(axes, 8192).result, VaryResult::kDamaged);
}
