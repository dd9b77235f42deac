// SPDX-License-Identifier: MIT
// fndl dump's text forms: the listing, an operation at a time, and the
// summary of totals.
#include "inspect/dump.h"

#include <cstdio>

#include "core/fndl.h"
#include "xlstream/xlcodes.h"

namespace {

constexpr size_t kPreviewBytes = 16;
constexpr size_t kListedNumbers = 16;

std::string NumberText(double number, uint8_t valueType)
{
    char text[32];
    if (IsIntegerType(valueType))
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(number));
    else
        std::snprintf(text, sizeof text, "%.9g", number);
    return text;
}

// A code's published name, or the code in hexadecimal.
std::string NameOrCode(const char *name, unsigned code)
{
    if (name)
        return name;
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", code);
    return hex;
}

std::string ValueText(const XLAttribute &attribute)
{
    const XLToken &value = attribute.value;
    std::string out = TypeName(value.tag);
    if (IsArray(value)) {
        out += '[';
        out += std::to_string(value.count);
        out += "] ";
        if (const std::optional<std::string> text = ValueAsText(attribute)) {
            out += Quoted(*text);
            return out;
        }
    } else if (value.count == 1) {
        out += ' ';
        out += NumberText(value.numbers.front(), value.valueType);
        return out;
    }
    out += "(";
    for (size_t i = 0; i < value.numbers.size() && i < kListedNumbers; ++i)
        out += (i ? ", " : "") + NumberText(value.numbers[i], value.valueType);
    if (value.numbers.size() > kListedNumbers)
        out += ", ... " + std::to_string(value.numbers.size() - kListedNumbers) + " more";
    return out + ")";
}

std::string TableList(const SoftFontInJob &font)
{
    std::string out;
    for (const SoftFontTable &table : font.layout.tables) {
        if (table.tag == "gdir")
            continue;
        std::string tag = table.tag;
        while (!tag.empty() && tag.back() == ' ')
            tag.pop_back(); // "cvt "
        out += (out.empty() ? "" : ", ") + tag;
    }
    return out;
}

void PrintFontText(const SoftFontInJob &font, const char *indent)
{
    std::printf("%sfont %s: ", indent, Quoted(font.name).c_str());
    if (font.layout.hasDescriptor)
        std::printf(
            "format %u, %u glyphs, symbol set %u, scaling technology %u, header %zu bytes\n",
            font.layout.descriptorFormat, font.layout.glyphs, font.layout.symbolSet,
            font.layout.technology, font.headerSize);
    else
        std::printf("header %zu bytes\n", font.headerSize);
    for (const SoftFontSegment &segment : font.layout.segments)
        std::printf("%s  segment %s: %u bytes\n", indent, segment.id.c_str(), segment.size);
    for (const SoftFontTable &table : font.layout.tables)
        std::printf("%s    table %-4s offset %u length %u\n", indent, table.tag.c_str(),
                    table.offset, table.length);
    if (!font.layout.problem.empty())
        std::printf("%s  damaged: %s\n", indent, font.layout.problem.c_str());
}

} // namespace

bool IsIntegerType(uint8_t valueType)
{
    return valueType != xl::kReal32;
}

std::string TypeName(uint8_t tag) { return NameOrCode(XLDataTypeName(tag), tag); }
std::string AttributeName(uint16_t id) { return NameOrCode(XLAttributeName(id), id); }

bool IsArray(const XLToken &value)
{
    return (value.tag & 0xF8) == 0xC8;
}

// Arrays that read as text: byte names and the Text operator's characters.
std::optional<std::string> ValueAsText(const XLAttribute &attribute)
{
    const XLToken &value = attribute.value;
    if (!IsArray(value))
        return std::nullopt;
    if (value.valueType == xl::kUByte) {
        return std::string(value.raw.begin(), value.raw.end());
    }
    if (attribute.id == xl::kAttrTextData) {
        std::u16string units;
        for (const double number : value.numbers)
            units += static_cast<char16_t>(number);
        return Utf16ToUtf8(units);
    }
    return std::nullopt;
}

std::string HexPreview(std::span<const uint8_t> data)
{
    std::string out;
    for (size_t i = 0; i < data.size() && i < kPreviewBytes; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%s%02X", i ? " " : "", data[i]);
        out += hex;
    }
    if (data.size() > kPreviewBytes)
        out += " ...";
    return out;
}

void PrintEnvelopeText(const XLJobPiece &piece)
{
    std::printf("%8zu  printer job language, %zu bytes\n", piece.offset, piece.size);
}

void PrintStreamHeaderText(const XLJobPiece &piece)
{
    std::printf("%8zu  stream header %s\n", piece.offset,
                Quoted(std::string(piece.header.begin(), piece.header.end())).c_str());
}

void PrintOperationText(const DumpReport &report, const XLOperation &op,
                        const std::optional<CharSummary> &character)
{
    std::string line = OperatorName(op.op);
    for (const XLAttribute &attribute : op.attributes) {
        // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on
        // a literal + string chain here when optimising.
        line += ' ';
        line += AttributeName(attribute.id);
        line += '=';
        line += ValueText(attribute);
    }
    if (op.hasData)
        line += " + data " + std::to_string(op.data.size()) + " bytes: " + HexPreview(op.data);
    std::printf("%8zu  %s\n", op.offset, line.c_str());
    if (character && character->valid) {
        const std::string code = character->code == kComponentCode
                                     ? "0xFFFF (component)"
                                     : CharacterCodeName(character->code);
        if (character->bitmap)
            std::printf("          char %s bitmap %u x %u, %zu bytes\n", code.c_str(),
                        character->width, character->height, character->size);
        else
            std::printf("          char %s glyph %u, %zu bytes\n", code.c_str(), character->glyph,
                        character->size);
    }
    if (const std::optional<size_t> &font = report.walker.completedFont)
        PrintFontText(report.walker.fonts[*font], "          ");
}

void PrintSummaryText(const DumpReport &report)
{
    std::printf("%s: %zu bytes, %ld operations\n", report.path.c_str(), report.size,
                report.operations);
    std::printf("stream header: %s\n", report.header ? Quoted(*report.header).c_str() : "none");
    if (report.streams > 1)
        std::printf("jobs: %ld\n", report.streams);
    std::printf("sessions: %ld, pages: %ld\n", report.sessions, report.pages);
    std::printf("fonts: %zu\n", report.walker.fonts.size());
    for (const SoftFontInJob &font : report.walker.fonts) {
        std::printf("  %s: ", Quoted(font.name).c_str());
        if (font.layout.hasDescriptor)
            std::printf("format %u, %u glyphs, ", font.layout.descriptorFormat, font.layout.glyphs);
        std::printf("header %zu bytes", font.headerSize);
        if (!font.layout.tables.empty())
            std::printf(", tables %s", TableList(font).c_str());
        if (!font.complete)
            std::printf(" (incomplete: no EndFontHeader)");
        else if (!font.layout.problem.empty())
            std::printf(" (damaged: %s)", font.layout.problem.c_str());
        std::printf("\n");
        std::printf("    characters downloaded: %ld (and %ld composite components)\n",
                    font.characters, font.components);
    }
    if (report.removedFonts > 0)
        std::printf("fonts removed: %ld\n", report.removedFonts);
    std::printf("text: %ld line%s, %ld characters (%ld Text operation%s)\n", report.textLines,
                report.textLines == 1 ? "" : "s", report.textCharacters, report.textOperations,
                report.textOperations == 1 ? "" : "s");
}
