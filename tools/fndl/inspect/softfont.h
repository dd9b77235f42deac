// SPDX-License-Identifier: MIT
// PCL XL TrueType soft fonts as they travel in a job: the font header
// (descriptor, segments, the GT segment's TrueType table directory) and the
// character data blocks. Read back by 'fndl dump', 'fndl extract' and 'fndl
// preview' through BEReader: every offset and length is checked against the
// bytes that are there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "xldecode/xldecode.h"
#include "xlstream/xlcodes.h"


// The character code under which composite components are sent.
inline constexpr uint16_t kComponentCode = 0xFFFF;

// Printable bytes as they are, others as \xNN.
std::string PrintableTag(std::span<const uint8_t> bytes);

struct SoftFontTable {
    std::string tag;       // printable form
    uint32_t tagValue = 0; // the four tag bytes, big-endian
    uint32_t checkSum = 0;
    uint32_t offset = 0; // from the start of the GT segment's body
    uint32_t length = 0;
};

struct SoftFontSegment {
    std::string id; // "GT", "null", ...
    uint32_t size = 0;
};

// What a font header holds. The GT body lies in the header bytes at
// [gtBodyOffset, gtBodyOffset + gtBodySize) when hasGT.
struct SoftFontHeader {
    bool hasDescriptor = false;
    unsigned descriptorFormat = 0;
    unsigned symbolSet = 0;
    unsigned technology = 0;
    unsigned glyphs = 0;
    std::vector<SoftFontSegment> segments;
    std::vector<SoftFontTable> tables; // of the GT segment's directory
    bool hasGT = false;
    size_t gtBodyOffset = 0;
    size_t gtBodySize = 0;
    std::string problem; // what is damaged; empty when well formed
};

// The descriptor, then the segments up to the null segment. Returns false
// with layout.problem set when the header is damaged; what was read before
// the damage stays in layout.
bool ReadSoftFontHeader(std::span<const uint8_t> header, SoftFontHeader &layout);

// A character data block. Format 1 (TrueType): format, class, data size,
// metrics for classes 1 and 2, glyph index, glyph data. Format 0 (bitmap):
// format, class, left and top offsets, width, height, rows of bits.
inline constexpr unsigned kCharFormatBitmap = 0;
inline constexpr unsigned kCharFormatTrueType = 1;
struct SoftChar {
    bool valid = false; // long enough for its header
    unsigned format = 0;
    unsigned charClass = 0;
    unsigned glyph = 0;                 // TrueType: the glyph index
    unsigned width = 0;                 // bitmap: size in dots
    unsigned height = 0;
    std::span<const uint8_t> glyphData; // TrueType: after the header, inside the given data
    std::string problem;                // too short, or a size field that disagrees
};
SoftChar ReadCharData(std::span<const uint8_t> data);
