// SPDX-License-Identifier: MIT
// Glyphs made by the library kept for the process: a font with PostScript
// outlines converts each glyph once, a variable font's instance varies it
// once, and later requests and jobs on the same face send the kept
// TrueType glyph (and the header's checksums, which cover the whole hmtx,
// or an instance's whole header, whose hmtx needs every glyph varied).
// Kept per face (keyed by its head table, whose checksum adjustment and
// dates tell fonts apart, units per em, glyph count and, for a variable
// font, the instance's normalized coordinates), bounded by memory: past
// the bound the face used longest ago goes, and a glyph that still does
// not fit is made again each time.
#pragma once

#include <cstddef>
#include <cstdint>

struct FontFace;

// Bytes of converted glyphs kept at most, with their index pages.
constexpr size_t kMaxKeptConvertedBytes = size_t{16} << 20;

// The glyph kept for the face: true with *ppbyGlyph and *pdwLength (0 and
// null for an outline without contours); false when it is not kept.
bool FindKeptGlyph(FontFace &face, uint32_t nGlyph, const uint8_t **ppbyGlyph, uint32_t *pdwLength);

// Keeps a converted glyph (a global-heap block, null with length 0 for an
// outline without contours); true when the store took the block, false
// when it did not (the face is not kept, or memory is short) and the caller
// still owns it. A kept block stays valid until the next KeepGlyph.
bool KeepGlyph(FontFace &face, uint32_t nGlyph, uint8_t *pbyGlyph, uint32_t dwLength);

// The checksums of the font header's head, hhea and hmtx (sizes given)
// kept for the face: true when kept for tables of those sizes.
constexpr int kKeptChecksums = 3;
bool FindKeptChecksums(FontFace &face, const uint32_t (&adwSize)[kKeptChecksums],
                       uint32_t (&adwChecksum)[kKeptChecksums]);
void KeepChecksums(FontFace &face, const uint32_t (&adwSize)[kKeptChecksums],
                   const uint32_t (&adwChecksum)[kKeptChecksums]);

// The GT segment of an instance's font header for nGlyphs glyphs (its
// directory and tables, as sent) kept for the face: true with the block.
bool FindKeptHeader(FontFace &face, uint32_t nGlyphs, const uint8_t **ppbySegment, uint32_t *pdwSize);
// Keeps it (a global-heap block): true when the store took the block,
// false when the caller still owns it.
bool KeepHeader(FontFace &face, uint32_t nGlyphs, uint8_t *pbySegment, uint32_t dwSize);

// Frees every kept glyph and header (the process's fonts are forgotten, as
// when the platform drops its realized fonts).
void ForgetKeptGlyphs();
