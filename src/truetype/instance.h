// SPDX-License-Identifier: MIT
// A variable TrueType font's instance, made by this library: normalized
// coordinates from fvar and avar, glyphs with their gvar deltas applied
// (interpolating untouched points), and advances from HVAR or the phantom
// points. The instance's glyphs go out without instructions, as converted
// outlines do: hinting them would need cvar and the hinting tables varied.
// Every read goes through BEReader; a table or glyph that does not hold
// what it claims makes its glyph fail, never a read outside it.
#pragma once

#include <cstdint>

#include "truetype/bereader.h"

// Longest glyph an instance makes (a class 0 character record's limit).
constexpr int32_t kMaxInstanceGlyphLength = 65529;

// Axes beyond this many are refused (fonts have a handful).
constexpr uint16_t kMaxVariationAxes = 32;

struct VariationCoordinates {
    uint16_t nAxes;
    int16_t anNormalized[kMaxVariationAxes]; // F2Dot14, -1 to 1
};

// Normalized coordinates of the user coordinates (16.16, one per fvar axis,
// clamped to the axis's range), mapped by avar's segment maps when avar is
// given (an empty reader: none). False when fvar cannot be read, has more
// than kMaxVariationAxes axes, or avar is damaged.
bool NormalizeCoordinates(const BEReader &fvar, const BEReader &avar, const int32_t *plUser, uint16_t nUser,
                          VariationCoordinates &coordinates);

// The fvar named instance nInstance's user coordinates (16.16), nAxes of
// them; false when fvar does not hold it.
bool NamedInstanceCoordinates(const BEReader &fvar, uint16_t nInstance, int32_t *plUser, uint16_t *pnAxes);

// The scalar of a region for the coordinates: per axis start, peak and end
// (F2Dot14), as gvar tuples and item variation regions define it.
double RegionScalar(const int16_t *pnStart, const int16_t *pnPeak, const int16_t *pnEnd,
                    const VariationCoordinates &coordinates);

// The glyph tables of the default instance, and gvar.
struct VariableGlyphTables {
    BEReader glyf;
    BEReader loca;
    BEReader gvar;
    bool bLongLoca;
    uint16_t nGlyphs;
};

// The default instance's glyph g as glyf holds it; false when loca or glyf
// cannot give it.
bool InstanceSourceGlyph(const VariableGlyphTables &tables, uint16_t nGlyph, BEReader &glyph);

// A glyph's box in font units; empty when it has no points.
struct GlyphBox {
    int32_t nXMin, nYMin, nXMax, nYMax;
    bool bEmpty;
};

// Scratch buffers of the engine, grown as glyphs need them (global heap).
struct VariationScratch;

// One instance of a variable font's glyphs.
struct GlyphInstance {
    VariableGlyphTables tables;
    VariationCoordinates coordinates;
    VariationScratch *pScratch;
    uint8_t *pbyGlyph; // the last glyph made (global heap)
    uint32_t dwGlyphCapacity;
};

enum class VaryResult { kOk, kDamaged, kNoMemory };

// Sets up the instance: gvar's header is checked against the tables.
// kDamaged when gvar, loca or the glyph count do not agree.
VaryResult OpenGlyphInstance(GlyphInstance &instance, const VariableGlyphTables &tables,
                             const VariationCoordinates &coordinates);
void CloseGlyphInstance(GlyphInstance &instance);

// The instance's glyph g in TrueType form (instructions dropped), in
// instance.pbyGlyph, valid until the next call: *pnLength 0 for an empty
// glyph. *pnOriginDelta: how far the phantom points moved the glyph's
// origin, *pnAdvanceDelta its advance, in font units.
VaryResult VaryGlyph(GlyphInstance &instance, uint16_t nGlyph, int32_t *pnLength, GlyphBox *pBox = nullptr,
                     int32_t *pnOriginDelta = nullptr, int32_t *pnAdvanceDelta = nullptr);

// The instance's box and phantom deltas of glyph g without making its
// bytes (a composite's box from its components' points).
VaryResult VaryGlyphBox(GlyphInstance &instance, uint16_t nGlyph, GlyphBox &box, int32_t *pnOriginDelta,
                        int32_t *pnAdvanceDelta);

// VaryGlyphBox for a composite whose components are placed by offsets
// alone, from its components' boxes at the instance (pKnown, one a glyph;
// nXMin kUnknownBox where not known): the same box without flattening.
constexpr int32_t kUnknownBox = INT32_MIN;
VaryResult VaryCompositeBox(GlyphInstance &instance, uint16_t nGlyph, const GlyphBox *pKnown, GlyphBox &box,
                            int32_t *pnOriginDelta, int32_t *pnAdvanceDelta);

// The advance delta of glyph g from HVAR's item variation store (rounded),
// false when HVAR cannot give it.
bool HvarAdvanceDelta(const BEReader &hvar, const VariationCoordinates &coordinates, uint16_t nGlyph,
                      int32_t *pnDelta);
