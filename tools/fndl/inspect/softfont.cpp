// SPDX-License-Identifier: MIT
// Reading PCL XL soft font headers and character data blocks back.
#include "inspect/softfont.h"

#include <cstdio>

#include "truetype/sfnt.h"

namespace {

constexpr uint16_t kNullSegment = 0xFFFF;
constexpr size_t kDescriptorSize = 8;
constexpr size_t kSegmentHeaderSize = 6;

// The TrueType directory at the start of a GT segment.
bool ReadGTDirectory(std::span<const uint8_t> segment, SoftFontHeader &layout)
{
    if (segment.size() < kSfntOffsetTableSize) {
        layout.problem = "GT segment of " + std::to_string(segment.size()) +
                         " bytes has no room for its table directory";
        return false;
    }
    const BEReader directory(segment);
    uint16_t numTables = 0;
    ReadSfntTableCount(directory, 0, numTables);
    if (kSfntOffsetTableSize + kSfntTableRecordSize * numTables > segment.size()) {
        layout.problem = "GT directory of " + std::to_string(numTables) + " tables runs past its " +
                         std::to_string(segment.size()) + "-byte segment";
        return false;
    }
    for (uint32_t i = 0; i < numTables; ++i) {
        SfntTableRecord record{};
        ReadSfntTableRecord(directory, 0, i, record); // inside: checked above
        const auto tagBytes = std::span(reinterpret_cast<const uint8_t *>(record.szTag), 4);
        uint32_t tagValue = 0;
        BEReader(tagBytes).U32(0, tagValue);
        SoftFontTable table{PrintableTag(tagBytes), tagValue, record.dwCheckSum, record.dwOffset,
                            record.dwLength};
        if (uint64_t{table.offset} + table.length > segment.size() && layout.problem.empty())
            layout.problem = "table '" + table.tag + "' (offset " + std::to_string(table.offset) +
                             ", length " + std::to_string(table.length) + ") runs past its " +
                             std::to_string(segment.size()) + "-byte GT segment";
        layout.tables.push_back(std::move(table));
    }
    return layout.problem.empty();
}

} // namespace

std::string PrintableTag(std::span<const uint8_t> bytes)
{
    std::string tag;
    for (const uint8_t byte : bytes) {
        if (byte >= 0x20 && byte < 0x7F) {
            tag += static_cast<char>(byte);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            tag += hex;
        }
    }
    return tag;
}

bool ReadSoftFontHeader(std::span<const uint8_t> header, SoftFontHeader &layout)
{
    if (header.size() < kDescriptorSize) {
        layout.problem = "font header of " + std::to_string(header.size()) +
                         " bytes is shorter than its 8-byte descriptor";
        return false;
    }
    // Descriptor: format, orientation, symbol set, scaling technology,
    // variety, number of characters.
    const BEReader bytes(header);
    uint8_t format = 0;
    uint16_t symbolSet = 0;
    uint8_t technology = 0;
    uint16_t glyphs = 0;
    bytes.U8(0, format);
    bytes.U16(2, symbolSet);
    bytes.U8(4, technology);
    bytes.U16(6, glyphs);
    layout.hasDescriptor = true;
    layout.descriptorFormat = format;
    layout.symbolSet = symbolSet;
    layout.technology = technology;
    layout.glyphs = glyphs;
    size_t at = kDescriptorSize;
    while (true) {
        if (at == header.size()) {
            layout.problem = "font header ends without a null segment";
            return false;
        }
        uint16_t id = 0;
        uint32_t size = 0;
        if (!bytes.U16(at, id) || !bytes.U32(at + 2, size)) {
            layout.problem = "segment header cut short at header byte " + std::to_string(at);
            return false;
        }
        const std::string name = id == kNullSegment ? "null" : PrintableTag(header.subspan(at, 2));
        const size_t left = header.size() - at - kSegmentHeaderSize;
        if (size > left) {
            layout.problem = "segment '" + name + "' at header byte " + std::to_string(at) +
                             " claims " + std::to_string(size) + " bytes, " + std::to_string(left) +
                             " left";
            return false;
        }
        layout.segments.push_back({name, size});
        if (name == "GT") {
            if (layout.hasGT) {
                layout.problem = "a second GT segment at header byte " + std::to_string(at);
                return false;
            }
            layout.hasGT = true;
            layout.gtBodyOffset = at + kSegmentHeaderSize;
            layout.gtBodySize = size;
            if (!ReadGTDirectory(header.subspan(at + kSegmentHeaderSize, size), layout))
                return false;
        }
        at += kSegmentHeaderSize + size;
        if (id == kNullSegment) {
            if (at != header.size()) {
                layout.problem =
                    std::to_string(header.size() - at) + " bytes after the null segment";
                return false;
            }
            return true;
        }
    }
}

SoftChar ReadCharData(std::span<const uint8_t> data)
{
    // Header sizes: bitmap 10; TrueType class 0 6, class 1 10 (and left
    // side bearing, advance), class 2 14 (and top side bearing, advance height).
    constexpr size_t kBitmapHeader = 10;
    constexpr size_t kTrueTypeHeader[] = {6, 10, 14};
    SoftChar character;
    if (data.size() < 2) {
        character.problem = "character data of " + std::to_string(data.size()) +
                            " bytes has no format and class";
        return character;
    }
    character.format = data[0];
    character.charClass = data[1];
    size_t header = 0;
    if (character.format == kCharFormatBitmap)
        header = kBitmapHeader;
    else if (character.format == kCharFormatTrueType && character.charClass <= 2)
        header = kTrueTypeHeader[character.charClass];
    if (header == 0) {
        character.problem = "character data of format " + std::to_string(character.format) +
                            " class " + std::to_string(character.charClass) + " is not known";
        return character;
    }
    if (data.size() < header) {
        character.problem = "character data of " + std::to_string(data.size()) +
                            " bytes is shorter than its " + std::to_string(header) + "-byte header";
        return character;
    }
    character.valid = true;
    const BEReader bytes(data);
    if (character.format == kCharFormatBitmap) {
        uint16_t width = 0;
        uint16_t height = 0;
        bytes.U16(6, width); // inside the header: checked above
        bytes.U16(8, height);
        character.width = width;
        character.height = height;
        const uint64_t rows = (uint64_t{character.width} + 7) / 8 * character.height;
        if (data.size() - header < rows)
            character.problem = "bitmap character of " + std::to_string(character.width) + " x " +
                                std::to_string(character.height) + " dots carries " +
                                std::to_string(data.size() - header) + " bytes of its " +
                                std::to_string(rows);
        return character;
    }
    uint16_t glyph = 0;
    uint16_t sizeField = 0;
    bytes.U16(header - 2, glyph);
    bytes.U16(2, sizeField);
    character.glyph = glyph;
    character.glyphData = data.subspan(header);
    if (size_t{sizeField} + 2 != data.size())
        character.problem = "character data size field " + std::to_string(sizeField) +
                            " does not match its " + std::to_string(data.size()) + " bytes";
    return character;
}
