// SPDX-License-Identifier: MIT
// fndl extract: turns the soft fonts of a PCL XL job back into standalone
// TrueType fonts: the tables of each font header's GT segment, the glyphs
// sent as characters at their glyph indices, and a cmap from the character
// codes to those glyphs. Shows what a printer got, and lets a download be
// compared with its original font without trusting the code that sent it.
#include "fndl.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "jobstructure.h"
#include "softfont.h"
#include "ttfwrite.h"
#include "xldecode/xldecode.h"

namespace {

constexpr unsigned kTrueTypeTechnology = 1;
constexpr unsigned kCharClassPlain = 0; // glyph index and TrueType glyph data only
constexpr size_t kHeadMinimumSize = 54;
constexpr size_t kHeadYMinAt = 38;
constexpr size_t kHeadYMaxAt = 42;
constexpr size_t kHeadIndexToLocFormatAt = 50;
constexpr size_t kMaxpMinimumSize = 6;
constexpr size_t kMaxpNumGlyphsAt = 4;
constexpr size_t kHheaMinimumSize = 36;
constexpr size_t kHheaNumberOfHMetricsAt = 34;
constexpr size_t kMaxFileStem = 200;
constexpr size_t kNotOpen = SIZE_MAX;

// Tables the extracted font gets from here, never from a font header.
constexpr uint32_t kBuiltTables[] = {SfntTag("glyf"), SfntTag("loca"), SfntTag("cmap"),
                                     SfntTag("name"), SfntTag("post"), SfntTag("OS/2")};

struct Glyph {
    std::vector<uint8_t> data;
    size_t offset = 0; // of the ReadChar that brought the data
    bool sent = false;
    bool asCharacter = false; // under a character code, not only as a component
};

struct SoftFont {
    std::string name;
    size_t offset = 0; // of its BeginFontHeader
    std::vector<uint8_t> header;
    bool complete = false;
    bool removed = false;
    SoftFontHeader layout;
    uint32_t glyphCount = 0;          // maxp.numGlyphs
    std::map<uint16_t, Glyph> glyphs; // those sent: memory follows what the job carries
    std::map<uint16_t, uint16_t> charToGlyph;
    size_t bitmapCharacters = 0;
};

using Problem = JobProblem;

std::string CodeName(unsigned code)
{
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", code);
    return text;
}

// The bytes of a table of the font header's GT segment: its directory
// length, not the padded length that was copied.
std::optional<std::span<const uint8_t>> HeaderTable(const SoftFont &font, uint32_t tag)
{
    for (const SoftFontTable &table : font.layout.tables) {
        if (table.tagValue == tag)
            return std::span<const uint8_t>(font.header)
                .subspan(font.layout.gtBodyOffset + table.offset, table.length);
    }
    return std::nullopt;
}

// The index of the latest font of that name that was not removed, or kNotOpen.
size_t FontInEffect(const std::vector<SoftFont> &fonts, const std::string &name)
{
    for (size_t f = fonts.size(); f-- > 0;) {
        if (fonts[f].name == name && !fonts[f].removed)
            return f;
    }
    return kNotOpen;
}

// A complete font header must be a TrueType font that can be rebuilt.
std::optional<std::string> CheckHeader(SoftFont &font)
{
    if (!ReadSoftFontHeader(font.header, font.layout))
        return font.layout.problem;
    if (font.layout.technology != kTrueTypeTechnology)
        return "scaling technology " + std::to_string(font.layout.technology) + " is not TrueType";
    if (!font.layout.hasGT)
        return std::string("no GT segment");
    std::set<uint32_t> tags;
    for (const SoftFontTable &table : font.layout.tables) {
        if (!tags.insert(table.tagValue).second)
            return "table '" + table.tag + "' twice in the GT directory";
    }
    const auto head = HeaderTable(font, SfntTag("head"));
    if (!head || head->size() < kHeadMinimumSize)
        return "no head table of " + std::to_string(kHeadMinimumSize) + " bytes or more";
    const auto maxp = HeaderTable(font, SfntTag("maxp"));
    if (!maxp || maxp->size() < kMaxpMinimumSize)
        return "no maxp table of " + std::to_string(kMaxpMinimumSize) + " bytes or more";
    const uint32_t numGlyphs = BigEndian(*maxp, kMaxpNumGlyphsAt, 2);
    if (numGlyphs != font.layout.glyphs)
        return "the descriptor counts " + std::to_string(font.layout.glyphs) +
               " characters, maxp " + std::to_string(numGlyphs) + " glyphs";
    font.glyphCount = numGlyphs;
    return std::nullopt;
}

// One character data block of the font in the open character block.
std::optional<std::string> TakeCharacter(SoftFont &font, const XLOperation &op)
{
    const XLAttribute *codeAttribute = op.Find(xl::kAttrCharCode);
    if (!codeAttribute || codeAttribute->value.numbers.size() != 1 ||
        !(codeAttribute->value.numbers.front() >= 0 && codeAttribute->value.numbers.front() <= 0xFFFF))
        return std::string("ReadChar without a CharCode from 0 to 65535");
    const auto code = static_cast<uint16_t>(codeAttribute->value.numbers.front());
    const SoftChar character = ReadCharData(op.data);
    if (!character.problem.empty())
        return character.problem;
    if (character.format == kCharFormatBitmap) {
        ++font.bitmapCharacters; // no outline to rebuild
        return std::nullopt;
    }
    if (character.format != kCharFormatTrueType || character.charClass != kCharClassPlain)
        return "character data of format " + std::to_string(character.format) + " class " +
               std::to_string(character.charClass) + ": only format 1 class 0 is read";
    if (character.glyph >= font.glyphCount)
        return "glyph " + std::to_string(character.glyph) + " of " +
               (code == kComponentCode ? std::string("a composite component") : CodeName(code)) +
               " is beyond the font's " + std::to_string(font.glyphCount) + " glyphs";
    Glyph &glyph = font.glyphs[static_cast<uint16_t>(character.glyph)];
    if (!character.glyphData.empty()) {
        const bool same = std::equal(character.glyphData.begin(), character.glyphData.end(),
                                     glyph.data.begin(), glyph.data.end());
        if (!glyph.data.empty() && !same)
            return "glyph " + std::to_string(character.glyph) +
                   " comes again with other data than at byte " + std::to_string(glyph.offset);
        if (glyph.data.empty()) {
            glyph.data.assign(character.glyphData.begin(), character.glyphData.end());
            glyph.offset = op.offset;
        }
    }
    glyph.sent = true;
    if (code != kComponentCode) {
        glyph.asCharacter = true;
        font.charToGlyph[code] = static_cast<uint16_t>(character.glyph);
    }
    return std::nullopt;
}

// Walks the job's font operators: font headers, character blocks, removals.
// The job's structure is checked by the rules dump applies too; the fonts are
// read up to its first structure problem. False with the first problem, at
// the offset of the operator it concerns.
bool CollectFonts(const std::vector<XLOperation> &ops, size_t streamEnd, bool cut,
                  std::vector<SoftFont> &fonts, Problem &problem)
{
    const std::vector<JobProblem> problems = CheckJobStructure(ops, streamEnd, cut);
    size_t openFont = kNotOpen; // index into fonts while a header is open
    size_t charFont = kNotOpen; // index into fonts while a character block is open
    auto fail = [&problem](size_t offset, std::string message) {
        problem = {offset, std::move(message)};
        return false;
    };
    for (const XLOperation &op : ops) {
        if (!problems.empty() && op.offset >= problems.front().offset)
            break;
        switch (op.op) {
        case xl::kOpBeginFontHeader: {
            SoftFont &font = fonts.emplace_back();
            font.name = FontNameOf(op);
            font.offset = op.offset;
            openFont = fonts.size() - 1;
            break;
        }
        case xl::kOpReadFontHeader: {
            const XLAttribute *length = op.Find(xl::kAttrFontHeaderLength);
            if (!length || length->value.numbers.size() != 1 ||
                length->value.numbers.front() != static_cast<double>(op.data.size()))
                return fail(op.offset, "ReadFontHeader carries " + std::to_string(op.data.size()) +
                                           " bytes, not the FontHeaderLength it announces");
            std::vector<uint8_t> &header = fonts[openFont].header;
            header.insert(header.end(), op.data.begin(), op.data.end());
            break;
        }
        case xl::kOpEndFontHeader: {
            SoftFont &font = fonts[openFont];
            if (const std::optional<std::string> damage = CheckHeader(font))
                return fail(op.offset, "font " + Quoted(font.name) + ": " + *damage);
            font.complete = true;
            openFont = kNotOpen;
            break;
        }
        case xl::kOpBeginChar: charFont = FontInEffect(fonts, FontNameOf(op)); break;
        case xl::kOpReadChar:
            if (const std::optional<std::string> damage = TakeCharacter(fonts[charFont], op))
                return fail(op.offset, "font " + Quoted(fonts[charFont].name) + ": " + *damage);
            break;
        case xl::kOpEndChar: charFont = kNotOpen; break;
        case xl::kOpRemoveFont:
            // Removing a font this job did not download changes no font here.
            if (const size_t removed = FontInEffect(fonts, FontNameOf(op)); removed != kNotOpen)
                fonts[removed].removed = true;
            break;
        default: break;
        }
    }
    if (!problems.empty())
        return fail(problems.front().offset, problems.front().message);
    return true;
}

// Letters, digits, '-', '_' and '.' (not leading) stay; every other
// character, a multi-byte UTF-8 one included, becomes one '_'.
std::string FileStem(std::string_view name)
{
    std::string stem;
    for (const char c : name) {
        const auto byte = static_cast<uint8_t>(c);
        if ((byte & 0xC0) == 0x80)
            continue; // the rest of a UTF-8 character whose lead byte stood for it
        const bool keep = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                          (byte >= '0' && byte <= '9') || byte == '-' || byte == '_' ||
                          (byte == '.' && !stem.empty());
        stem += keep ? c : '_';
    }
    if (stem.empty())
        stem = "font";
    stem.resize(std::min(stem.size(), kMaxFileStem));
    return stem;
}

int16_t Signed16(std::span<const uint8_t> bytes, size_t at)
{
    return static_cast<int16_t>(BigEndian(bytes, at, 2));
}

// OS/2 metrics from the header's hhea, head and hmtx.
Os2Values Os2ValuesOf(const SoftFont &font)
{
    Os2Values values;
    const std::span<const uint8_t> head = *HeaderTable(font, SfntTag("head"));
    values.winAscent = static_cast<uint16_t>(std::max<int>(Signed16(head, kHeadYMaxAt), 0));
    values.winDescent = static_cast<uint16_t>(std::max<int>(-Signed16(head, kHeadYMinAt), 0));
    const auto hhea = HeaderTable(font, SfntTag("hhea"));
    if (hhea && hhea->size() >= kHheaMinimumSize) {
        values.typoAscender = Signed16(*hhea, 4);
        values.typoDescender = Signed16(*hhea, 6);
        values.typoLineGap = Signed16(*hhea, 8);
        const uint32_t metrics = BigEndian(*hhea, kHheaNumberOfHMetricsAt, 2);
        const auto hmtx = HeaderTable(font, SfntTag("hmtx"));
        uint64_t sum = 0;
        uint32_t counted = 0;
        for (uint32_t i = 0; hmtx && i < metrics && 4 * size_t{i} + 2 <= hmtx->size(); ++i) {
            const uint32_t advance = BigEndian(*hmtx, 4 * size_t{i}, 2);
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

// The standalone font, or the reason it cannot be made.
bool BuildFont(const SoftFont &font, const std::string &postScriptName, std::vector<uint8_t> &file,
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
        if (table.tagValue == SfntTag("head")) {
            copy.bytes[kHeadIndexToLocFormatAt] = 0; // long loca
            copy.bytes[kHeadIndexToLocFormatAt + 1] = 1;
        }
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

bool WriteFile(const std::filesystem::path &path, std::span<const uint8_t> bytes,
               std::string &reason)
{
    std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size() ||
        std::fflush(file.get()) != 0) {
        reason = std::strerror(errno ? errno : EIO);
        return false;
    }
    if (std::fclose(file.release()) != 0) {
        reason = std::strerror(errno ? errno : EIO);
        return false;
    }
    return true;
}

// The characters as text; controls and lone surrogates by their code.
std::string CharacterText(const std::map<uint16_t, uint16_t> &charToGlyph)
{
    std::string text;
    for (const auto &entry : charToGlyph) {
        const uint16_t code = entry.first;
        if (code < 0x20 || (code >= 0x7F && code < 0xA0) || (code >= 0xD800 && code <= 0xDFFF)) {
            text += '<'; // piece by piece: GCC 12 warns falsely on "<" + string
            text += CodeName(code);
            text += '>';
        } else {
            text += Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(code)));
        }
    }
    return text;
}

constexpr const char *kExtractHelp =
    "usage: fndl extract JOB -d DIR\n"
    "\n"
    "Turns each soft font of a PCL XL job (or of the bare output of 'fndl\n"
    "download') back into a standalone TrueType font, DIR/NAME.ttf, where NAME is\n"
    "the font's PCL XL name with every character other than a letter, digit, '-',\n"
    "'_' or '.' replaced by '_'. The font holds the tables of its font header's GT\n"
    "segment, with head patched for long loca offsets and a new checksum; a glyf\n"
    "and loca with every glyph sent under the font's name, as a character or as a\n"
    "composite component, at its glyph index (glyphs never sent stay empty); a\n"
    "cmap (Windows Unicode, format 4) from the character codes to their glyphs;\n"
    "and plain name, post and OS/2 tables.\n"
    "A font removed with RemoveFont and downloaded again under the same name is a\n"
    "new font, written to NAME-2.ttf (then -3, ...); so is a font whose file name\n"
    "an earlier font of the job took. Files there are overwritten; DIR is created\n"
    "when missing. Prints each font's name, file, glyph count and characters.\n"
    "A damaged job (a stream that cannot be decoded, a damaged font header,\n"
    "characters for a font without a font header in effect, a glyph sent twice\n"
    "with different data, a font downloaded again without RemoveFont) is reported\n"
    "on stderr with its byte offset, nothing is written, and the exit status is 1.\n"
    "\n"
    "  -d, --directory DIR  where the fonts go\n"
    "  -h, --help           this help\n";

} // namespace

int RunExtract(std::span<char *const> args)
{
    constexpr OptionDefinition kOptions[] = {
        {"--directory", true, nullptr},
        {"-d", true, "--directory"},
    };
    ParsedArgs parsed;
    if (const int exitCode = ParseCommand(
            {"extract", kOptions, kExtractHelp, 1, "name one job file to extract from"}, args,
            parsed);
        exitCode >= 0)
        return exitCode;
    if (!parsed.Has("--directory") || parsed.Get("--directory").empty())
        return UsageError("extract", "name the directory for the fonts with -d");
    const std::string path = parsed.positionals.front();
    const std::filesystem::path directory = parsed.Get("--directory");

    std::vector<uint8_t> bytes;
    std::string reason;
    if (!ReadWholeFile(path, bytes, reason)) {
        PrintError("cannot read '" + path + "': " + reason);
        return kExitFailed;
    }
    std::vector<XLOperation> ops;
    XLDecodeError decodeError;
    XLStreamBounds bounds{0, bytes.size()};
    const bool decoded = ReadJob(bytes, ops, bounds, decodeError);
    // Where decoding stopped, the last operation may be cut short: a problem
    // in the operations before it comes first.
    if (!decoded && !ops.empty())
        ops.pop_back();
    std::vector<SoftFont> fonts;
    Problem problem;
    if (!CollectFonts(ops, bounds.end, !decoded, fonts, problem) &&
        (decoded || problem.offset < decodeError.offset)) {
        PrintError("'" + path + "' at byte " + std::to_string(problem.offset) + ": " +
                   problem.message);
        return kExitFailed;
    }
    if (!decoded) {
        PrintError("'" + path + "' is malformed at byte " + std::to_string(decodeError.offset) +
                   ": " + decodeError.message);
        return kExitFailed;
    }

    // Every font is built once before any is written, so that a font that
    // cannot be made leaves no files behind, and again when it is written:
    // one font in memory at a time.
    std::vector<std::filesystem::path> files;
    std::vector<std::string> stems;
    std::vector<uint8_t> ttf;
    std::set<std::string> stemsTaken;
    for (const SoftFont &font : fonts) {
        const std::string baseStem = FileStem(font.name);
        std::string stem = baseStem;
        for (int n = 2; stemsTaken.count(stem); ++n)
            stem = baseStem + "-" + std::to_string(n);
        stemsTaken.insert(stem);
        files.push_back(directory / (stem + ".ttf"));
        stems.push_back(stem);
        if (!BuildFont(font, stem, ttf, reason)) {
            PrintError("'" + path + "' at byte " + std::to_string(font.offset) + ": font " +
                       Quoted(font.name) + " cannot be made a TrueType font: " + reason);
            return kExitFailed;
        }
    }
    std::error_code fileError;
    std::filesystem::create_directories(directory, fileError);
    if (fileError || !std::filesystem::is_directory(directory)) {
        PrintError("cannot create directory '" + directory.string() +
                   "': " + (fileError ? fileError.message() : "not a directory"));
        return kExitFailed;
    }
    if (fonts.empty())
        std::printf("no soft fonts in '%s'\n", path.c_str());
    for (size_t f = 0; f < fonts.size(); ++f) {
        const SoftFont &font = fonts[f];
        if (!BuildFont(font, stems[f], ttf, reason) || !WriteFile(files[f], ttf, reason)) {
            PrintError("cannot write '" + files[f].string() + "': " + reason);
            return kExitFailed;
        }
        size_t sent = 0;
        size_t componentsOnly = 0;
        for (const auto &[index, glyph] : font.glyphs) {
            sent += glyph.sent ? 1 : 0;
            componentsOnly += glyph.sent && !glyph.asCharacter ? 1 : 0;
        }
        std::printf("font %s (header at byte %zu): %s\n", Quoted(font.name).c_str(), font.offset,
                    files[f].c_str());
        std::printf("  glyphs: %zu, sent: %zu (%zu only as composite components)\n",
                    size_t{font.glyphCount}, sent, componentsOnly);
        std::printf("  characters: %zu%s%s\n", font.charToGlyph.size(),
                    font.charToGlyph.empty() ? "" : ": ", CharacterText(font.charToGlyph).c_str());
        if (font.bitmapCharacters > 0)
            std::printf("  bitmap characters left out: %zu\n", font.bitmapCharacters);
    }
    return kExitDone;
}

bool RebuildSoftFonts(const std::vector<XLOperation> &ops, size_t streamEnd,
                      std::vector<RebuiltFont> &fonts, size_t &problemOffset, std::string &problem)
{
    std::vector<SoftFont> softFonts;
    Problem found;
    if (!CollectFonts(ops, streamEnd, false, softFonts, found)) {
        problemOffset = found.offset;
        problem = found.message;
        return false;
    }
    fonts.clear();
    for (const SoftFont &font : softFonts) {
        RebuiltFont &rebuilt = fonts.emplace_back();
        rebuilt.name = font.name;
        rebuilt.offset = font.offset;
        rebuilt.charToGlyph = font.charToGlyph;
        std::string reason;
        if (!BuildFont(font, FileStem(font.name), rebuilt.ttf, reason)) {
            problemOffset = font.offset;
            problem = "font " + Quoted(font.name) + " cannot be made a TrueType font: " + reason;
            return false;
        }
    }
    return true;
}
