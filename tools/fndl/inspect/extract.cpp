// SPDX-License-Identifier: MIT
// fndl extract: turns the soft fonts of a PCL XL job back into standalone
// TrueType fonts: the tables of each font header's GT segment, the glyphs
// sent as characters at their glyph indices, and a cmap from the character
// codes to those glyphs. Shows what a printer got, and lets a download be
// compared with its original font without trusting the code that sent it.
#include "core/fndl.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "inspect/jobstructure.h"
#include "inspect/rebuild.h"
#include "inspect/softfontwalk.h"
#include "xldecode/xldecode.h"

namespace {

constexpr size_t kMaxFileStem = 200;
// What the rebuilt fonts may take, beyond the job's own size times
// kRebuiltPerJobByte: a font header of a few bytes can claim 65,535 glyphs,
// whose loca alone takes 256 KiB.
constexpr uint64_t kRebuiltAllowance = uint64_t{64} << 20;
constexpr uint64_t kRebuiltPerJobByte = 16;

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
            text += CharacterCodeName(code);
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
    "The fonts of every job of a file of several are extracted; fonts that would\n"
    "make far more bytes than the job carries are refused.\n"
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
    SoftFontWalker walker;
    walker.rebuild = true;
    long pages = 0;
    if (!ReadJobFonts(bytes, walker, pages, reason)) {
        PrintError("'" + path + "' " + reason);
        return kExitFailed;
    }
    const std::vector<SoftFontInJob> &fonts = walker.fonts;
    uint64_t rebuilt = 0;
    for (const SoftFontInJob &font : fonts)
        rebuilt += font.headerSize + RebuiltGlyphBytes(font);
    if (const uint64_t allowed = kRebuiltAllowance + kRebuiltPerJobByte * bytes.size(); rebuilt > allowed) {
        PrintError("'" + path + "': its " + std::to_string(fonts.size()) + " soft font" +
                   (fonts.size() == 1 ? "" : "s") + " would make " + std::to_string(rebuilt) +
                   " bytes of TrueType fonts, more than the " + std::to_string(allowed) +
                   " that fndl extract makes of a job of " + std::to_string(bytes.size()) + " bytes");
        return kExitFailed;
    }

    // Every font is built once before any is written, so that a font that
    // cannot be made leaves no files behind, and again when it is written:
    // one font in memory at a time.
    std::vector<std::filesystem::path> files;
    std::vector<std::string> stems;
    std::vector<uint8_t> ttf;
    std::set<std::string> stemsTaken;
    std::map<std::string, int> nextNumber; // per stem: where to look for a free one
    for (const SoftFontInJob &font : fonts) {
        const std::string baseStem = FileStem(font.name);
        std::string stem = baseStem;
        if (stemsTaken.count(stem)) {
            int &n = nextNumber.try_emplace(baseStem, 2).first->second;
            for (stem = baseStem + "-" + std::to_string(n); stemsTaken.count(stem);)
                stem = baseStem + "-" + std::to_string(++n);
            ++n;
        }
        stemsTaken.insert(stem);
        files.push_back(directory / (stem + ".ttf"));
        stems.push_back(stem);
        if (!RebuildFont(font, stem, ttf, reason)) {
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
        const SoftFontInJob &font = fonts[f];
        if (!RebuildFont(font, stems[f], ttf, reason) || !WriteFile(files[f], ttf, reason)) {
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
