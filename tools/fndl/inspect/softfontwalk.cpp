// SPDX-License-Identifier: MIT
// Walking a job's soft fonts operator by operator.
#include "inspect/softfontwalk.h"

#include <algorithm>
#include <set>

#include "core/fndl.h"
#include "truetype/bereader.h"
#include "truetype/sfnt.h"
#include "truetype/tables.h"
#include "xlstream/xlcodes.h"

namespace {

constexpr unsigned kTrueTypeTechnology = 1;
constexpr unsigned kCharClassPlain = 0; // glyph index and TrueType glyph data only

long NumberOf(const XLOperation &op, uint16_t id, long fallback)
{
    const XLAttribute *attribute = op.Find(id);
    return attribute && !attribute->value.numbers.empty()
               ? WholeNumber(attribute->value.numbers.front(), fallback)
               : fallback;
}

} // namespace

std::optional<std::span<const uint8_t>> HeaderTable(const SoftFontInJob &font, uint32_t tag)
{
    for (const SoftFontTable &table : font.layout.tables) {
        if (table.tagValue == tag)
            return std::span<const uint8_t>(font.header)
                .subspan(font.layout.gtBodyOffset + table.offset, table.length);
    }
    return std::nullopt;
}

// A complete font header must be a TrueType font that can be rebuilt.
std::optional<std::string> SoftFontWalker::CheckHeader(SoftFontInJob &font) const
{
    if (!ReadSoftFontHeader(font.header, font.layout))
        return font.layout.problem;
    if (!rebuild)
        return std::nullopt;
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
    if (!head || head->size() < HeadTable::kSize)
        return "no head table of " + std::to_string(HeadTable::kSize) + " bytes or more";
    const auto maxp = HeaderTable(font, SfntTag("maxp"));
    uint16_t numGlyphs = 0;
    if (!maxp || maxp->size() < MaxpTable::kVersion05Size ||
        !BEReader(*maxp).U16(MaxpTable::kNumGlyphs, numGlyphs))
        return "no maxp table of " + std::to_string(MaxpTable::kVersion05Size) + " bytes or more";
    if (numGlyphs != font.layout.glyphs)
        return "the descriptor counts " + std::to_string(font.layout.glyphs) +
               " characters, maxp " + std::to_string(numGlyphs) + " glyphs";
    font.glyphCount = numGlyphs;
    return std::nullopt;
}

// One character data block of a font being rebuilt.
std::optional<std::string> SoftFontWalker::TakeCharacter(SoftFontInJob &font, const XLOperation &op) const
{
    const XLAttribute *codeAttribute = op.Find(xl::kAttrCharCode);
    if (!codeAttribute || codeAttribute->value.numbers.size() != 1 ||
        !(codeAttribute->value.numbers.front() >= 0 && codeAttribute->value.numbers.front() <= 0xFFFF))
        return std::string("ReadChar without a CharCode from 0 to 65535");
    const auto code = static_cast<uint16_t>(codeAttribute->value.numbers.front());
    const SoftChar &character = *this->character;
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
               (code == kComponentCode ? std::string("a composite component") : CharacterCodeName(code)) +
               " is beyond the font's " + std::to_string(font.glyphCount) + " glyphs";
    SoftGlyph &glyph = font.glyphs[static_cast<uint16_t>(character.glyph)];
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

void SoftFontWalker::Take(const XLOperation &op, bool dataCut, std::vector<JobProblem> &problems)
{
    completedFont.reset();
    character.reset();
    auto problem = [&problems](size_t offset, std::string message) {
        problems.push_back({offset, std::move(message)});
    };
    switch (op.op) {
    case xl::kOpBeginFontHeader: {
        SoftFontInJob &font = fonts.emplace_back();
        font.name = FontNameOf(op);
        font.offset = op.offset;
        font.format = NumberOf(op, xl::kAttrFontFormat, -1);
        openFont = fonts.size() - 1;
        latest[font.name] = openFont;
        break;
    }
    case xl::kOpReadFontHeader: {
        if (openFont == kNone)
            break;
        const XLAttribute *length = op.Find(xl::kAttrFontHeaderLength);
        const bool announced = length && length->value.numbers.size() == 1;
        if (!dataCut && (!announced || length->value.numbers.front() != static_cast<double>(op.data.size())))
            problem(op.offset, "ReadFontHeader carries " + std::to_string(op.data.size()) +
                                   " bytes, not the FontHeaderLength it announces" +
                                   (announced ? " (" + std::to_string(WholeNumber(length->value.numbers.front(), -1)) + ")"
                                              : std::string(" (none)")));
        SoftFontInJob &font = fonts[openFont];
        font.header.insert(font.header.end(), op.data.begin(), op.data.end());
        font.headerSize = font.header.size();
        break;
    }
    case xl::kOpEndFontHeader: {
        if (openFont == kNone)
            break;
        SoftFontInJob &font = fonts[openFont];
        font.complete = true;
        if (const std::optional<std::string> damage = CheckHeader(font))
            problem(op.offset, "font '" + font.name + "': " + *damage);
        if (!rebuild) {
            font.header.clear(); // what a listing shows is read from it
            font.header.shrink_to_fit();
        }
        completedFont = openFont;
        openFont = kNone;
        break;
    }
    case xl::kOpBeginChar: {
        const auto found = latest.find(FontNameOf(op));
        charFont = found == latest.end() ? kNone : found->second;
        break;
    }
    case xl::kOpReadChar: {
        characterCode = static_cast<unsigned>(NumberOf(op, xl::kAttrCharCode, 0));
        // When the data is cut, neither glyph nor size can be told.
        if (dataCut) {
            character.emplace();
        } else {
            character = ReadCharData(op.data);
            if (!rebuild && !character->problem.empty())
                problem(op.offset, character->problem);
        }
        if (charFont == kNone)
            break;
        SoftFontInJob &font = fonts[charFont];
        ++(characterCode == kComponentCode ? font.components : font.characters);
        if (rebuild && !font.removed && font.complete) {
            if (const std::optional<std::string> damage = TakeCharacter(font, op))
                problem(op.offset, "font '" + font.name + "': " + *damage);
        }
        break;
    }
    case xl::kOpEndChar: charFont = kNone; break;
    case xl::kOpRemoveFont:
        // Removing a font this job did not download changes no font here.
        if (const auto found = latest.find(FontNameOf(op)); found != latest.end())
            fonts[found->second].removed = true;
        break;
    default: break;
    }
}

void SoftFontWalker::EndStream()
{
    latest.clear();
    openFont = kNone;
    charFont = kNone;
}

bool ReadJobFonts(std::span<const uint8_t> bytes, SoftFontWalker &walker, long &pages,
                  std::string &failure)
{
    XLJobReader reader(bytes);
    XLJobPiece piece;
    XLDecodeError error;
    JobChecker checker;
    std::vector<JobProblem> found;
    pages = 0;
    while (reader.Next(piece, error)) {
        // The operation the decoder stopped in may be cut short: not read.
        if (piece.kind == XLJobPieceKind::Operation && !piece.lastBeforeError) {
            pages += piece.op.op == xl::kOpBeginPage ? 1 : 0;
            checker.Take(piece.op, found);
            if (found.empty())
                walker.Take(piece.op, false, found);
        } else if (piece.kind == XLJobPieceKind::StreamEnd) {
            checker.EndStream(piece.offset, false, found);
            walker.EndStream();
        }
        if (!found.empty()) {
            failure = "at byte " + std::to_string(found.front().offset) + ": " + found.front().message;
            return false;
        }
    }
    if (!error.message.empty()) {
        failure = "is malformed at byte " + std::to_string(error.offset) + ": " + error.message;
        return false;
    }
    return true;
}
