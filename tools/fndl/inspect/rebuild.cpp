// SPDX-License-Identifier: MIT
// Rebuilding a standalone TrueType font from a job's soft font.
#include "inspect/rebuild.h"

#include <algorithm>
#include <iterator>

#include "core/fndl.h"
#include "truetype/bereader.h"
#include "truetype/sfnt.h"
#include "truetype/tables.h"
#include "inspect/ttfwrite.h"

namespace {

// Tables the rebuilt font gets from here, never from a font header.
constexpr uint32_t kBuiltTables[] = {SfntTag("glyf"), SfntTag("loca"), SfntTag("cmap"),
                                     SfntTag("name"), SfntTag("post"), SfntTag("OS/2")};

int16_t Signed16(const BEReader &table, size_t at)
{
    int16_t value = 0;
    table.I16(at, value);
    return value;
}

// OS/2 metrics from the header's hhea, head and hmtx.
Os2Values Os2ValuesOf(const SoftFontInJob &font)
{
    Os2Values values;
    const BEReader head(*HeaderTable(font, SfntTag("head")));
    values.winAscent = static_cast<uint16_t>(std::max<int>(Signed16(head, HeadTable::kYMax), 0));
    values.winDescent = static_cast<uint16_t>(std::max<int>(-Signed16(head, HeadTable::kYMin), 0));
    const auto hheaBytes = HeaderTable(font, SfntTag("hhea"));
    uint16_t metrics = 0;
    if (hheaBytes && BEReader(*hheaBytes).U16(HheaTable::kNumberOfHMetrics, metrics)) {
        const BEReader hhea(*hheaBytes);
        values.typoAscender = Signed16(hhea, HheaTable::kAscender);
        values.typoDescender = Signed16(hhea, HheaTable::kDescender);
        values.typoLineGap = Signed16(hhea, HheaTable::kLineGap);
        const BEReader hmtx(HeaderTable(font, SfntTag("hmtx")).value_or(std::span<const uint8_t>()));
        uint64_t sum = 0;
        uint32_t counted = 0;
        uint16_t advance = 0;
        for (uint32_t i = 0; i < metrics && hmtx.U16(HmtxTable::kLongMetricSize * size_t{i} + HmtxTable::kAdvanceWidth, advance); ++i) {
            sum += advance;
            counted += advance != 0 ? 1 : 0;
        }
        values.averageWidth =
            static_cast<int16_t>(std::min<uint64_t>(counted ? sum / counted : 0, INT16_MAX));
    }
    if (!font.charToGlyph.empty()) {
        values.firstChar = font.charToGlyph.begin()->first;
        values.lastChar = font.charToGlyph.rbegin()->first;
    }
    return values;
}

} // namespace

uint64_t RebuiltGlyphBytes(const SoftFontInJob &font)
{
    uint64_t bytes = 4 * (uint64_t{font.glyphCount} + 1);
    for (const auto &entry : font.glyphs)
        bytes += entry.second.data.size();
    return bytes;
}

bool RebuildFont(const SoftFontInJob &font, const std::string &postScriptName, std::vector<uint8_t> &file,
                 std::string &reason)
{
    std::vector<TtfTable> tables;
    for (const SoftFontTable &table : font.layout.tables) {
        if (table.tagValue == SfntTag("gdir") ||
            std::find(std::begin(kBuiltTables), std::end(kBuiltTables), table.tagValue) !=
                std::end(kBuiltTables))
            continue;
        const std::span<const uint8_t> bytes = *HeaderTable(font, table.tagValue);
        TtfTable &copy =
            tables.emplace_back(TtfTable{table.tagValue, {bytes.begin(), bytes.end()}});
        if (table.tagValue == SfntTag("head"))
            PutBE16(copy.bytes.data() + HeadTable::kIndexToLocFormat, 1); // long loca
    }

    std::vector<std::span<const uint8_t>> glyphData;
    glyphData.resize(font.glyphCount);
    for (const auto &[index, glyph] : font.glyphs)
        glyphData[index] = glyph.data;
    TtfTable glyf{SfntTag("glyf"), {}};
    TtfTable loca{SfntTag("loca"), {}};
    if (!BuildGlyfAndLoca(glyphData, glyf.bytes, loca.bytes)) {
        reason = "its glyphs pass the 4 GiB of a glyf table";
        return false;
    }
    TtfTable cmap{SfntTag("cmap"), {}};
    if (!BuildCmapFormat4(font.charToGlyph, cmap.bytes)) {
        reason = "its " + std::to_string(font.charToGlyph.size()) +
                 " characters are too scattered for a format 4 cmap";
        return false;
    }
    tables.push_back(std::move(glyf));
    tables.push_back(std::move(loca));
    tables.push_back(std::move(cmap));
    std::u16string family;
    size_t badOffset = 0;
    if (!Utf8ToUtf16(font.name, family, badOffset))
        family.assign(postScriptName.begin(), postScriptName.end());
    tables.push_back({SfntTag("name"), BuildNameTable(family, postScriptName)});
    tables.push_back({SfntTag("post"), BuildPostTable()});
    tables.push_back({SfntTag("OS/2"), BuildOs2Table(Os2ValuesOf(font))});
    if (!AssembleFont(std::move(tables), file)) {
        reason = "the font would pass the 4 GiB a TrueType file can address";
        return false;
    }
    return true;
}
