// SPDX-License-Identifier: MIT
// fndl dump --json: one JSON document, written by hand as the walk goes
// (strings escaped, always valid UTF-8) and flushed an operation at a time.
#include "inspect/dump.h"

#include <cmath>
#include <cstdio>

#include "core/fndl.h"

namespace {

struct Json {
    std::string &out;
    std::vector<bool> &hasItem; // per open object or array

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

void JsonFont(Json &json, const SoftFontInJob &font)
{
    json.Open('{');
    json.Key("name");
    json.String(font.name);
    json.Key("offset");
    json.Integer(static_cast<long long>(font.offset));
    json.Key("font_format");
    json.Integer(font.format);
    json.Key("header_length");
    json.Integer(static_cast<long long>(font.headerSize));
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

void Flush(DumpJson &document)
{
    std::fwrite(document.out.data(), 1, document.out.size(), stdout);
    document.out.clear();
}

} // namespace

void DumpJson::Begin(const DumpReport &report)
{
    if (begun)
        return;
    begun = true;
    Json json{out, hasItem};
    json.Open('{');
    json.Key("file");
    json.String(report.path);
    json.Key("size");
    json.Integer(static_cast<long long>(report.size));
    json.Key("header");
    if (report.header)
        json.String(*report.header);
    else
        json.Null();
    if (withOperations) {
        json.Key("operations");
        json.Open('[');
    }
    Flush(*this);
}

void DumpJson::Operation(const XLOperation &op, const std::optional<CharSummary> &character)
{
    if (!withOperations)
        return;
    Json json{out, hasItem};
    json.out += '\n';
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
    if (character && character->valid) {
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
    Flush(*this);
}

void DumpJson::End(const DumpReport &report)
{
    Begin(report);
    Json json{out, hasItem};
    if (withOperations)
        json.Close(']');
    json.Key("fonts");
    json.Open('[');
    for (const SoftFontInJob &font : report.walker.fonts)
        JsonFont(json, font);
    json.Close(']');
    json.Key("summary");
    json.Open('{');
    const std::pair<const char *, long> counts[] = {
        {"operations", report.operations},
        {"jobs", report.streams},
        {"sessions", report.sessions},
        {"pages", report.pages},
        {"end_pages", report.endPages},
        {"text_lines", report.textLines},
        {"text_operations", report.textOperations},
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
    for (const JobProblem &problem : report.problems.kept)
        JsonProblem(json, problem.offset, problem.message);
    json.Close(']');
    if (report.problems.more > 0) {
        json.Key("problems_not_listed");
        json.Integer(static_cast<long long>(report.problems.more));
    }
    json.Key("error");
    if (report.error)
        JsonProblem(json, report.error->offset, report.error->message);
    else
        json.Null();
    json.Close('}');
    json.out += '\n';
    Flush(*this);
}
