// SPDX-License-Identifier: MIT
// The variation engine's working memory, kept with a glyph instance and
// grown to the largest glyph it met (global heap).
#pragma once

#include <cstdint>

#include "truetype/instance.h"

// A glyph's points as the font has them (a composite: one point per
// component), the four phantom points after them, and their deltas.
struct GlyphPointsScratch {
    uint32_t nOutline;
    uint32_t nContours;
    uint32_t nCapacity; // points, phantom points included
    int32_t *pnX;
    int32_t *pnY;
    uint8_t *pbyFlags;
    double *pdDx;
    double *pdDy;
    uint16_t *pnEnds;
    uint32_t nEndsCapacity;
};

// A composite's component records at one depth of a walk.
struct ComponentScratch {
    uint32_t nCount;
    uint32_t nCapacity;
    uint16_t *pwFlags;
    uint16_t *pwGlyph;
    int32_t *pnArg1; // offsets with their deltas, or point numbers
    int32_t *pnArg2;
    double *pdMatrix; // four a component: xx, xy (x's share of y), yx, yy
};

constexpr int kMaxFlattenDepth = 8;
constexpr uint32_t kMaxFlatPoints = 1u << 18;
// Glyphs visited to flatten one glyph: composites of composites that name
// many components (empty ones too) stop here rather than multiply.
constexpr uint32_t kMaxFlattenVisits = 4096;

struct VariationScratch {
    GlyphPointsScratch points;
    uint16_t *pnSharedPoints; // 32768 point numbers each, made on first use
    uint16_t *pnPrivatePoints;
    int32_t *pnDeltaX;
    int32_t *pnDeltaY;
    uint32_t nDeltaCapacity;
    double *pdTupleX;
    double *pdTupleY;
    uint8_t *pbTouched;
    uint32_t nTupleCapacity;
    ComponentScratch aComponents[kMaxFlattenDepth + 1];
    double *pdFlatX;
    double *pdFlatY;
    uint32_t nFlat;
    uint32_t nFlatCapacity;
    uint32_t nVisits;
};

VariationScratch *NewVariationScratch();
void FreeVariationScratch(VariationScratch *pScratch);
bool GrowPointsScratch(GlyphPointsScratch &points, uint32_t nPoints, uint32_t nContours);
bool GrowTupleScratch(VariationScratch &scratch, uint32_t nPoints);
bool GrowDeltaScratch(VariationScratch &scratch, uint32_t nCount);
bool GrowComponentScratch(ComponentScratch &components, uint32_t nCount);
bool GrowFlatScratch(VariationScratch &scratch, uint32_t nPoints);

// The glyph's gvar deltas (unrounded) for the points in pts.pdDx/pdDy,
// untouched points of a simple glyph interpolated when bInterpolate.
VaryResult ApplyGlyphDeltas(GlyphInstance &instance, uint16_t nGlyph, GlyphPointsScratch &pts, bool bInterpolate);

// The simple glyph in scratch.points, or the composite's records, written
// into instance.pbyGlyph with the box given.
VaryResult WriteSimpleGlyph(GlyphInstance &instance, const GlyphBox &box, int32_t *pnLength);
VaryResult WriteComposite(GlyphInstance &instance, const ComponentScratch &components, const GlyphBox &box,
                          int32_t *pnLength);
