// SPDX-License-Identifier: MIT
// The cover page: laid out first, with every string measured by the
// library's own advances (asked of it before anything is written), then
// drawn: the frame and rules as PCL XL
// rectangles, each text at its place with the page origin moved there, so
// that the library's line and page limits never cut it.
#include "cover/cover.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <span>

#include "layout/bidi.h"
#include "cover/coverlayout.h"
#include "cover/covermeasure.h"
#include "fonts/fontruns.h"
#include "fonts/fonts.h"
#include "layout/framing.h"
#include "layout/librarycall.h"
#include "qorvfndl.h"

namespace {

using namespace coverpage;

constexpr int kBoldFontIds = 1000; // the bold face's font ids follow the regular's by this

// Sets a shaped run through the glyph call, in pieces the call takes; a
// glyph the font cannot give is set as glyph 0 (its missing-glyph box).
bool DrawGlyphs(const CallStyle &style, const JobFont &font, const Run &run, long left,
                long baseline, JobOutput &output)
{
    std::vector<FNDL_GLYPH> glyphs = run.glyphs;
    long x = left + run.x;
    for (size_t pos = 0; pos < glyphs.size();) {
        const std::span<FNDL_GLYPH> piece(glyphs.data() + pos,
                                          std::min<size_t>(FNDL_MAX_GLYPH_RUN, glyphs.size() - pos));
        SetCursor(x, baseline);
        const GlyphRunResult result = CallGlyphRun(style, font, piece, output.workPath);
        const auto stop = static_cast<size_t>(std::max(result.stopIndex, 0));
        if (result.code == FNDL_INVALID_GLYPH_HANDLE && stop < piece.size() &&
            piece[stop].nGlyph != 0) {
            piece[stop].nGlyph = 0;
            continue;
        }
        if (result.code != FNDL_OK) {
            PrintDownloadFailure(output.target, font, output.workPath, WorkFileProblem(output));
            return false;
        }
        std::string reason;
        if (!CountAppended(output, reason)) {
            PrintError("cannot write the job: " + reason);
            return false;
        }
        for (const FNDL_GLYPH &glyph : piece)
            x += glyph.nAdvance;
        pos += piece.size();
    }
    return true;
}

// Draws one placed text: the page origin moved to the line, each run set
// by one library call (a shaped run by one glyph call a piece).
bool DrawText(Cover &cover, const PlacedText &text, JobOutput &output)
{
    const CallStyle style = StyleOf(cover.request, text.face, text.height);
    const long em = CharacterSizeInDots(static_cast<int>(text.height), static_cast<int>(style.resolution));
    // The library clips at its page box, which the moved origin moves too:
    // a shaped line, whose marks may stack above the em or reach left of
    // its start, gets an em of room above and to the left.
    const bool shaped = std::any_of(text.runs.begin(), text.runs.end(),
                                    [](const Run &run) { return !run.glyphs.empty(); });
    const long room = shaped ? em : 0;
    std::vector<uint8_t> bytes;
    PutMovedOrigin(bytes, text.x - room, text.baseline - em - room);
    if (!AppendToOutput(output, bytes))
        return false;
    for (const Run &run : text.runs) {
        const JobFont &font = cover.faces[text.face].fonts[static_cast<size_t>(run.font)];
        if (!run.glyphs.empty()) {
            if (!DrawGlyphs(style, font, run, room, em + room, output))
                return false;
            continue;
        }
        SetCursor(run.x, em);
        const CallResult result = CallDownload(style, font, run.text, 0, output.workPath);
        std::string reason;
        if (result.code != FNDL_OK) {
            PrintDownloadFailure(output.target, font, output.workPath, WorkFileProblem(output));
            return false;
        }
        if (!CountAppended(output, reason)) {
            PrintError("cannot write the job: " + reason);
            return false;
        }
    }
    bytes.clear();
    PutRestoredOrigin(bytes);
    return AppendToOutput(output, bytes);
}

// Counts the characters of the page's texts that no font prints (set as a
// replacement) and says so in one line, as text jobs do. Returns the count.
long ReportUnprintable(Cover &cover, const CoverSpec &spec)
{
    std::vector<std::string> texts{spec.heading, spec.owner, spec.classification, spec.header, spec.footer};
    for (const auto &rows : {spec.rows, spec.fields}) {
        for (const auto &[label, value] : rows)
            texts.insert(texts.end(), {label, value});
    }
    texts.insert(texts.end(), spec.notices.begin(), spec.notices.end());
    JobFonts &fonts = cover.faces[kRegular];
    long count = 0;
    char32_t first = 0;
    for (const std::string &text : texts) {
        const std::u16string units = Units(text);
        for (size_t i = 0; i < units.size();) {
            size_t length = 1;
            const char32_t c = CodePointAt(units, i, length);
            if (c != kTabChar && c != kFormFeed && !IsInvisible(c) &&
                FontForChar(fonts, c, kLeftOut) < 0) {
                first = count == 0 ? c : first;
                ++count;
            }
            i += length;
        }
    }
    if (count > 0)
        PrintError(std::to_string(count) + (count == 1 ? " character" : " characters") +
                   " of the cover page " +
                   (fonts.fallback ? "no installed font can print"
                                   : fonts.fonts.front().face.family + " cannot print") +
                   ", first " + CodePointName(first) + "; printed as " +
                   ReplacementName(fonts, ChooseReplacement(fonts)));
    return count;
}

bool ChooseFaces(Cover &cover)
{
    const Request &request = cover.request;
    for (const Face face : {kRegular, kBold}) {
        JobFonts &fonts = cover.faces[face];
        JobFont main;
        fonts.fallback = request.face.fallback;
        if (!ChooseMainFace(request.face.font, request.face.fromFile,
                            static_cast<int>(request.face.fontId) + (face == kBold ? kBoldFontIds : 0),
                            face == kBold ? kWeightBold : request.call.weight, false, fonts, main))
            return false;
        fonts.fonts.push_back(std::move(main));
    }
    return true;
}

} // namespace

bool ReadCoverSpec(const std::string &path, CoverSpec &spec, std::string &error)
{
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes, error))
        return false;
    const std::string text(bytes.begin(), bytes.end());
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        const size_t tab = line.find('\t');
        if (line.empty())
            continue;
        if (tab == std::string::npos) {
            error = "a line without a tab: " + Quoted(line);
            return false;
        }
        const std::string kind = line.substr(0, tab);
        const std::string value = line.substr(tab + 1);
        const size_t second = value.find('\t');
        const auto pair = [&] {
            return std::pair{value.substr(0, second),
                             second == std::string::npos ? std::string() : value.substr(second + 1)};
        };
        if (kind == "heading")
            spec.heading = value;
        else if (kind == "owner")
            spec.owner = value;
        else if (kind == "classification")
            spec.classification = value;
        else if (kind == "header")
            spec.header = value;
        else if (kind == "footer")
            spec.footer = value;
        else if (kind == "notice")
            spec.notices.push_back(value);
        else if (kind == "row")
            spec.rows.push_back(pair());
        else if (kind == "field")
            spec.fields.push_back(pair());
        else {
            error = "unknown part " + Quoted(kind) +
                    " (heading, owner, classification, header, footer, notice, row, field)";
            return false;
        }
    }
    std::u16string units;
    size_t bad = 0;
    if (!Utf8ToUtf16(text, units, bad)) {
        error = "not UTF-8 at byte " + std::to_string(bad);
        return false;
    }
    return true;
}

int WriteCover(const Request &request, const CoverSpec &spec, JobOutput &output)
{
    Cover cover{.request = request};
    if (!ChooseFaces(cover))
        return kExitFailed;
    // The cover page places everything from the page's corner itself, measured and drawn with
    // the library's own page limits.
    if (!UsePageBox(CallStyle{})) {
        PrintError("the library did not take its own page limits back");
        return kExitFailed;
    }

    LayOutCover(cover, spec);
    if (cover.failed)
        return kExitFailed;
    // After the layout, whose order of finding fallback fonts gives their
    // font ids.
    if (ReportUnprintable(cover, spec) > 0 && request.settings.strict) {
        PrintError("--strict: the job is not written");
        return kExitFailed;
    }
    std::vector<uint8_t> bytes = JobStart(request);
    PutPageStart(bytes, request, 1);
    if (!AppendToOutput(output, bytes))
        return kExitFailed;
    for (const Drawing &drawing : cover.drawings) {
        if (drawing.isText) {
            if (!DrawText(cover, drawing.text, output))
                return kExitFailed;
            continue;
        }
        bytes.clear();
        PutRectangle(bytes, drawing.box, drawing.penWidth, drawing.gray);
        if (!AppendToOutput(output, bytes))
            return kExitFailed;
    }
    bytes.clear();
    PutPageEnd(bytes);
    if (!AppendToOutput(output, bytes) || !AppendToOutput(output, JobEnd(request)) ||
        !StreamOut(output))
        return kExitFailed;
    if (request.settings.pageLog)
        std::fprintf(stderr, "PAGE: 1 %ld\n", request.settings.copies);
    if (!FinishJobOutput(output))
        return kExitFailed;
    PrintNote((request.settings.output == "-" ? std::string("standard output") : request.settings.output) +
              ": cover page, " + std::to_string(JobBytes(output)) + " bytes");
    return kExitDone;
}
