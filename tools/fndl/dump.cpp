// SPDX-License-Identifier: MIT
// fndl dump: a readable (or JSON) listing of a PCL XL job: the stream
// header, every operator with its attributes, embedded data, and what the
// font headers and characters hold. Checks the job's structure on the way:
// sessions, pages, font headers and character blocks must be closed in
// order, and a font header must hold a well-formed descriptor and segments.
#include "fndl.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "jobstructure.h"
#include "softfont.h"
#include "xldecode/xldecode.h"
#include "xlstream/xlcodes.h"

namespace {

constexpr size_t kPreviewBytes = 16;
constexpr size_t kListedNumbers = 16;
constexpr size_t kNotOpen = SIZE_MAX;

using Problem = JobProblem;

struct FontSummary {
    std::string name;
    size_t offset = 0; // of BeginFontHeader
    long format = -1;  // FontFormat attribute
    std::vector<uint8_t> header;
    bool complete = false;
    SoftFontHeader layout;
    long characters = 0;
    long components = 0;
};

struct CharSummary {
    unsigned code = 0;
    unsigned glyph = 0;
    size_t size = 0;
    bool valid = false;
    bool bitmap = false;
    unsigned width = 0; // of a bitmap character
    unsigned height = 0;
};

struct DumpReport {
    std::string path;
    std::vector<uint8_t> bytes;
    size_t streamBegin = 0; // after a PJL preamble
    size_t streamEnd = 0;   // before a PJL trailer
    std::optional<std::string> header;
    std::vector<XLOperation> ops;
    std::optional<XLDecodeError> error;
    std::vector<Problem> problems;
    std::vector<FontSummary> fonts;
    std::vector<std::optional<size_t>> fontEndingAt; // by op: the font its EndFontHeader closes
    std::vector<std::optional<CharSummary>> charAt;  // by op: the ReadChar's character
    long sessions = 0;
    long pages = 0;
    long endPages = 0;
    long textLines = 0;
    long textCharacters = 0;
    long removedFonts = 0;
};

long NumberOf(const XLOperation &op, uint16_t id, long fallback)
{
    const XLAttribute *attribute = op.Find(id);
    return attribute && !attribute->value.numbers.empty()
               ? WholeNumber(attribute->value.numbers.front(), fallback)
               : fallback;
}

// Walks the operations: what each font header and character holds, and
// the structure rules that extract applies too.
void Analyse(DumpReport &report)
{
    size_t openFont = kNotOpen; // index into fonts while a header is open
    std::string charFont;
    auto problem = [&report](size_t offset, std::string message) {
        report.problems.push_back({offset, std::move(message)});
    };
    report.fontEndingAt.assign(report.ops.size(), std::nullopt);
    report.charAt.assign(report.ops.size(), std::nullopt);
    for (JobProblem &found : CheckJobStructure(report.ops, report.streamEnd, report.error.has_value()))
        problem(found.offset, std::move(found.message));

    for (size_t i = 0; i < report.ops.size(); ++i) {
        const XLOperation &op = report.ops[i];
        // The decoder stopped inside the last operation's data: its sizes
        // are not worth checking.
        const bool dataCut = report.error && i + 1 == report.ops.size();
        switch (op.op) {
        case xl::kOpBeginSession: ++report.sessions; break;
        case xl::kOpBeginPage: ++report.pages; break;
        case xl::kOpEndPage: ++report.endPages; break;
        case xl::kOpBeginFontHeader: {
            FontSummary &font = report.fonts.emplace_back();
            font.name = FontNameOf(op);
            font.offset = op.offset;
            font.format = NumberOf(op, xl::kAttrFontFormat, -1);
            openFont = report.fonts.size() - 1;
            break;
        }
        case xl::kOpReadFontHeader: {
            if (openFont == kNotOpen)
                break;
            const long announced = NumberOf(op, xl::kAttrFontHeaderLength, -1);
            if (!dataCut && announced != static_cast<long>(op.data.size()))
                problem(op.offset, "ReadFontHeader announces " + std::to_string(announced) +
                                       " bytes and carries " + std::to_string(op.data.size()));
            std::vector<uint8_t> &header = report.fonts[openFont].header;
            header.insert(header.end(), op.data.begin(), op.data.end());
            break;
        }
        case xl::kOpEndFontHeader:
            if (openFont == kNotOpen)
                break;
            report.fonts[openFont].complete = true;
            if (FontSummary &font = report.fonts[openFont];
                !ReadSoftFontHeader(font.header, font.layout))
                problem(op.offset, "font '" + font.name + "': " + font.layout.problem);
            report.fontEndingAt[i] = openFont;
            openFont = kNotOpen;
            break;
        case xl::kOpBeginChar: charFont = FontNameOf(op); break;
        case xl::kOpReadChar: {
            CharSummary character;
            character.code = static_cast<unsigned>(NumberOf(op, xl::kAttrCharCode, 0));
            character.size = op.data.size();
            // When the data is cut, neither glyph nor size can be told.
            if (!dataCut) {
                const SoftChar data = ReadCharData(op.data);
                if (!data.problem.empty())
                    problem(op.offset, data.problem);
                character.glyph = data.glyph;
                character.valid = data.valid;
                character.bitmap = data.format == kCharFormatBitmap;
                character.width = data.width;
                character.height = data.height;
            }
            for (size_t f = report.fonts.size(); f-- > 0;) {
                if (report.fonts[f].name == charFont) {
                    ++(character.code == kComponentCode ? report.fonts[f].components
                                                        : report.fonts[f].characters);
                    break;
                }
            }
            report.charAt[i] = character;
            break;
        }
        case xl::kOpRemoveFont: ++report.removedFonts; break;
        case xl::kOpText:
            ++report.textLines;
            if (const XLAttribute *text = op.Find(xl::kAttrTextData))
                report.textCharacters += text->value.count;
            break;
        default: break;
        }
    }
    std::stable_sort(report.problems.begin(), report.problems.end(),
                     [](const Problem &a, const Problem &b) { return a.offset < b.offset; });
}

// ---------------------------------------------------------------------------
// Values as text.

bool IsIntegerType(uint8_t valueType)
{
    return valueType != xl::kReal32;
}

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

std::string CodePointName(unsigned code)
{
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", code);
    return text;
}

std::string TableList(const FontSummary &font)
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

void PrintFontText(const FontSummary &font, const char *indent)
{
    std::printf("%sfont %s: ", indent, Quoted(font.name).c_str());
    if (font.layout.hasDescriptor)
        std::printf(
            "format %u, %u glyphs, symbol set %u, scaling technology %u, header %zu bytes\n",
            font.layout.descriptorFormat, font.layout.glyphs, font.layout.symbolSet,
            font.layout.technology, font.header.size());
    else
        std::printf("header %zu bytes\n", font.header.size());
    for (const SoftFontSegment &segment : font.layout.segments)
        std::printf("%s  segment %s: %u bytes\n", indent, segment.id.c_str(), segment.size);
    for (const SoftFontTable &table : font.layout.tables)
        std::printf("%s    table %-4s offset %u length %u\n", indent, table.tag.c_str(),
                    table.offset, table.length);
    if (!font.layout.problem.empty())
        std::printf("%s  damaged: %s\n", indent, font.layout.problem.c_str());
}

void PrintListing(const DumpReport &report)
{
    if (report.streamBegin > 0)
        std::printf("%8d  printer job language, %zu bytes\n", 0, report.streamBegin);
    if (report.header)
        std::printf("%8zu  stream header %s\n", report.streamBegin, Quoted(*report.header).c_str());
    for (size_t i = 0; i < report.ops.size(); ++i) {
        const XLOperation &op = report.ops[i];
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
        if (const std::optional<CharSummary> &character = report.charAt[i];
            character && character->valid) {
            const std::string code = character->code == kComponentCode
                                         ? "0xFFFF (component)"
                                         : CodePointName(character->code);
            if (character->bitmap)
                std::printf("          char %s bitmap %u x %u, %zu bytes\n", code.c_str(),
                            character->width, character->height, character->size);
            else
                std::printf("          char %s glyph %u, %zu bytes\n", code.c_str(),
                            character->glyph, character->size);
        }
        if (const std::optional<size_t> &font = report.fontEndingAt[i])
            PrintFontText(report.fonts[*font], "          ");
    }
}

void PrintSummary(const DumpReport &report)
{
    std::printf("%s: %zu bytes, %zu operations\n", report.path.c_str(), report.bytes.size(),
                report.ops.size());
    std::printf("stream header: %s\n", report.header ? Quoted(*report.header).c_str() : "none");
    std::printf("sessions: %ld, pages: %ld\n", report.sessions, report.pages);
    std::printf("fonts: %zu\n", report.fonts.size());
    for (const FontSummary &font : report.fonts) {
        std::printf("  %s: ", Quoted(font.name).c_str());
        if (font.layout.hasDescriptor)
            std::printf("format %u, %u glyphs, ", font.layout.descriptorFormat, font.layout.glyphs);
        std::printf("header %zu bytes", font.header.size());
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
    std::printf("text: %ld line%s, %ld characters\n", report.textLines,
                report.textLines == 1 ? "" : "s", report.textCharacters);
}

// ---------------------------------------------------------------------------
// JSON, written by hand: strings escaped, always valid UTF-8.

struct Json {
    std::string out;
    std::vector<bool> hasItem; // per open object or array

    void Separate()
    {
        if (!hasItem.empty()) {
            if (hasItem.back())
                out += ',';
            hasItem.back() = true;
        }
    }
    void Open(char bracket)
    {
        Separate();
        out += bracket;
        hasItem.push_back(false);
    }
    void Close(char bracket)
    {
        out += bracket;
        hasItem.pop_back();
    }
    void Key(std::string_view key)
    {
        String(key);
        out += ':';
        hasItem.back() = false; // the value follows without a comma
    }
    void String(std::string_view text)
    {
        Separate();
        out += '"';
        for (size_t i = 0; i < text.size(); ++i) {
            const auto byte = static_cast<uint8_t>(text[i]);
            if (byte == '"' || byte == '\\') {
                out += '\\';
                out += static_cast<char>(byte);
            } else if (byte < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", byte);
                out += escape;
            } else if (byte < 0x80) {
                out += static_cast<char>(byte);
            } else if (const size_t length = Utf8SequenceAt(text, i)) {
                out += text.substr(i, length);
                i += length - 1;
            } else {
                out += "\\ufffd";
            }
        }
        out += '"';
    }
    void Number(double number, bool integer)
    {
        Separate();
        if (!std::isfinite(number)) {
            out += "null";
            return;
        }
        char text[32];
        if (integer)
            std::snprintf(text, sizeof text, "%lld", static_cast<long long>(number));
        else
            std::snprintf(text, sizeof text, "%.9g", number);
        out += text;
    }
    void Integer(long long number) { Number(static_cast<double>(number), true); }
    void Null()
    {
        Separate();
        out += "null";
    }
    void Bool(bool value)
    {
        Separate();
        out += value ? "true" : "false";
    }
};

void JsonProblem(Json &json, size_t offset, const std::string &message)
{
    json.Open('{');
    json.Key("offset");
    json.Integer(static_cast<long long>(offset));
    json.Key("message");
    json.String(message);
    json.Close('}');
}

void JsonOperation(Json &json, const DumpReport &report, size_t i)
{
    const XLOperation &op = report.ops[i];
    json.Open('{');
    json.Key("offset");
    json.Integer(static_cast<long long>(op.offset));
    json.Key("operator");
    json.String(OperatorName(op.op));
    json.Key("attributes");
    json.Open('{');
    for (const XLAttribute &attribute : op.attributes) {
        json.Key(AttributeName(attribute.id));
        json.Open('{');
        json.Key("type");
        json.String(TypeName(attribute.value.tag));
        json.Key("value");
        const bool integer = IsIntegerType(attribute.value.valueType);
        if (attribute.value.count == 1 && !IsArray(attribute.value)) {
            json.Number(attribute.value.numbers.front(), integer);
        } else {
            json.Open('[');
            for (const double number : attribute.value.numbers)
                json.Number(number, integer);
            json.Close(']');
        }
        if (const std::optional<std::string> text = ValueAsText(attribute)) {
            json.Key("text");
            json.String(*text);
        }
        json.Close('}');
    }
    json.Close('}');
    json.Key("data_length");
    if (op.hasData)
        json.Integer(static_cast<long long>(op.data.size()));
    else
        json.Null();
    if (op.hasData) {
        json.Key("data_preview");
        json.String(HexPreview(op.data));
    }
    if (const std::optional<CharSummary> &character = report.charAt[i];
        character && character->valid) {
        json.Key("char");
        json.Open('{');
        json.Key("code");
        json.Integer(character->code);
        json.Key("glyph");
        json.Integer(character->glyph);
        json.Key("size");
        json.Integer(static_cast<long long>(character->size));
        json.Close('}');
    }
    json.Close('}');
}

void JsonFont(Json &json, const FontSummary &font)
{
    json.Open('{');
    json.Key("name");
    json.String(font.name);
    json.Key("offset");
    json.Integer(static_cast<long long>(font.offset));
    json.Key("font_format");
    json.Integer(font.format);
    json.Key("header_length");
    json.Integer(static_cast<long long>(font.header.size()));
    json.Key("complete");
    json.Bool(font.complete);
    if (font.layout.hasDescriptor) {
        json.Key("descriptor");
        json.Open('{');
        json.Key("format");
        json.Integer(font.layout.descriptorFormat);
        json.Key("symbol_set");
        json.Integer(font.layout.symbolSet);
        json.Key("technology");
        json.Integer(font.layout.technology);
        json.Key("glyphs");
        json.Integer(font.layout.glyphs);
        json.Close('}');
    }
    json.Key("segments");
    json.Open('[');
    for (const SoftFontSegment &segment : font.layout.segments) {
        json.Open('{');
        json.Key("id");
        json.String(segment.id);
        json.Key("size");
        json.Integer(segment.size);
        json.Close('}');
    }
    json.Close(']');
    json.Key("tables");
    json.Open('[');
    for (const SoftFontTable &table : font.layout.tables) {
        json.Open('{');
        json.Key("tag");
        json.String(table.tag);
        json.Key("checksum");
        json.Integer(table.checkSum);
        json.Key("offset");
        json.Integer(table.offset);
        json.Key("length");
        json.Integer(table.length);
        json.Close('}');
    }
    json.Close(']');
    json.Key("characters");
    json.Integer(font.characters);
    json.Key("components");
    json.Integer(font.components);
    json.Key("problem");
    if (font.layout.problem.empty())
        json.Null();
    else
        json.String(font.layout.problem);
    json.Close('}');
}

void PrintJson(const DumpReport &report, bool withOperations)
{
    Json json;
    json.Open('{');
    json.Key("file");
    json.String(report.path);
    json.Key("size");
    json.Integer(static_cast<long long>(report.bytes.size()));
    json.Key("header");
    if (report.header)
        json.String(*report.header);
    else
        json.Null();
    if (withOperations) {
        json.Key("operations");
        json.Open('[');
        for (size_t i = 0; i < report.ops.size(); ++i) {
            json.out += '\n';
            JsonOperation(json, report, i);
        }
        json.Close(']');
    }
    json.Key("fonts");
    json.Open('[');
    for (const FontSummary &font : report.fonts)
        JsonFont(json, font);
    json.Close(']');
    json.Key("summary");
    json.Open('{');
    const std::pair<const char *, long> counts[] = {
        {"operations", static_cast<long>(report.ops.size())},
        {"sessions", report.sessions},
        {"pages", report.pages},
        {"end_pages", report.endPages},
        {"text_lines", report.textLines},
        {"text_characters", report.textCharacters},
        {"removed_fonts", report.removedFonts},
    };
    for (const auto &[name, count] : counts) {
        json.Key(name);
        json.Integer(count);
    }
    json.Close('}');
    json.Key("problems");
    json.Open('[');
    for (const Problem &problem : report.problems)
        JsonProblem(json, problem.offset, problem.message);
    json.Close(']');
    json.Key("error");
    if (report.error)
        JsonProblem(json, report.error->offset, report.error->message);
    else
        json.Null();
    json.Close('}');
    std::printf("%s\n", json.out.c_str());
}

constexpr const char *kDumpHelp =
    "usage: fndl dump [--json] [--summary] FILE\n"
    "\n"
    "Lists a PCL XL job (or the bare output of 'fndl download'): the stream header,\n"
    "each operator with its offset, attributes and values, embedded data as its\n"
    "length and first bytes. A font header is summed up at its EndFontHeader (name,\n"
    "format, glyph count, the GT segment's tables), a character at its ReadChar\n"
    "(code, glyph index, data size).\n"
    "Checks the structure: a stream that cannot be decoded, or that ends inside a\n"
    "session, page, font header or character block, or a damaged font header, is\n"
    "reported on stderr with its byte offset, and the exit status is 1.\n"
    "\n"
    "  --summary   only the totals: fonts, characters, pages, text lines\n"
    "  --json      one JSON document: header, operations (offset, operator,\n"
    "              attributes, data_length), fonts, summary, problems, error\n"
    "  -h, --help  this help\n";

} // namespace

int RunDump(std::span<char *const> args)
{
    constexpr OptionDefinition kOptions[] = {
        {"--json", false, nullptr},
        {"--summary", false, nullptr},
    };
    ParsedArgs parsed;
    if (const int exitCode =
            ParseCommand({"dump", kOptions, kDumpHelp, 1, "name one file to dump"}, args, parsed);
        exitCode >= 0)
        return exitCode;

    DumpReport report;
    report.path = parsed.positionals.front();
    std::string reason;
    if (!ReadWholeFile(report.path, report.bytes, reason)) {
        PrintError("cannot read '" + report.path + "': " + reason);
        return kExitFailed;
    }
    const std::vector<uint8_t> &bytes = report.bytes;
    XLStreamBounds bounds{0, bytes.size()};
    XLDecodeError decodeError;
    if (!ReadJob(bytes, report.ops, bounds, decodeError))
        report.error = decodeError;
    report.streamBegin = bounds.begin;
    report.streamEnd = bounds.end;
    if (bounds.begin < bytes.size() && (bytes[bounds.begin] == '(' || bytes[bounds.begin] == ')')) {
        size_t end = bounds.begin;
        while (end < bounds.end && bytes[end] != '\n')
            ++end;
        size_t textEnd = end;
        if (textEnd > bounds.begin && bytes[textEnd - 1] == '\r')
            --textEnd;
        report.header = std::string(bytes.begin() + static_cast<std::ptrdiff_t>(bounds.begin),
                                    bytes.begin() + static_cast<std::ptrdiff_t>(textEnd));
    }
    Analyse(report);

    if (parsed.Has("--json"))
        PrintJson(report, !parsed.Has("--summary"));
    else if (parsed.Has("--summary"))
        PrintSummary(report);
    else
        PrintListing(report);
    std::fflush(stdout);

    for (const Problem &problem : report.problems)
        PrintError("'" + report.path + "' at byte " + std::to_string(problem.offset) + ": " +
                   problem.message);
    if (report.error)
        PrintError("'" + report.path + "' is malformed at byte " +
                   std::to_string(report.error->offset) + ": " + report.error->message);
    return report.error || !report.problems.empty() ? kExitFailed : kExitDone;
}
