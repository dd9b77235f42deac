// SPDX-License-Identifier: MIT
// Converted glyphs kept for the process: a font with PostScript outlines
// converts each glyph once, and later requests and jobs on the same face
// send the kept TrueType glyph (and the header's checksums, which cover
// the whole hmtx). Kept per face (keyed by its head table,
// whose checksum adjustment and dates tell fonts apart, and units per em),
// bounded by memory: past the bound the face used longest ago goes, and a
// glyph that still does not fit is converted again each time.
#pragma once

#include <cstddef>
#include <cstdint>

struct FontFace;
struct ConvertScratch;

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

// What a conversion works in, made on first use and kept: the converter's
// blocks and a block for the GGO_NATIVE outline that grows to the largest
// asked for. Null when memory runs out.
struct ConvertWork {
    ConvertScratch *pScratch;
    uint8_t *pbyOutline; // global heap
    uint32_t dwOutlineCapacity;
};
ConvertWork *SharedConvertWork();

// Frees every kept glyph and the conversion blocks (the process's fonts
// are forgotten, as when the platform drops its realized fonts).
void ForgetConvertedGlyphs();
