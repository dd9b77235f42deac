// SPDX-License-Identifier: MIT
// fndl dump: a readable (or JSON) listing of a PCL XL job: the stream
// header, every operator with its attributes, embedded data, and what the
// font headers and characters hold. Checks the job's structure on the way:
// sessions, pages, font headers and character blocks must be closed in
// order, and a font header must hold a well-formed descriptor and segments.
// The job is read an operation at a time and listed as it is read.
#include "inspect/dump.h"

#include <cstdio>

#include "core/fndl.h"
#include "xlstream/xlcodes.h"

namespace {

enum class Form : uint8_t { Listing, Summary, Json };

struct Walk {
    explicit Walk(DumpReport &into) : report(into) {}
    DumpReport &report;
    JobChecker checker;
    std::vector<JobProblem> found;
    // For counting lines: the SetCursor y and the last Text's, on this page.
    long cursorY = 0;
    bool hasLastLine = false;
    long lastLineY = 0;

    // Counts, checks and reads one operation; what its ReadChar held.
    std::optional<CharSummary> Take(const XLOperation &op, bool dataCut)
    {
        ++report.operations;
        checker.Take(op, found);
        report.walker.Take(op, dataCut, found);
        report.problems.Add(found);
        switch (op.op) {
        case xl::kOpBeginSession: ++report.sessions; break;
        case xl::kOpBeginPage:
            ++report.pages;
            hasLastLine = false;
            break;
        case xl::kOpEndPage: ++report.endPages; break;
        case xl::kOpRemoveFont: ++report.removedFonts; break;
        case xl::kOpSetCursor:
            if (const XLAttribute *point = op.Find(xl::kAttrPoint);
                point && point->value.numbers.size() == 2)
                cursorY = WholeNumber(point->value.numbers[1], 0);
            break;
        case xl::kOpText:
            ++report.textOperations;
            report.textLines += hasLastLine && cursorY == lastLineY ? 0 : 1;
            hasLastLine = true;
            lastLineY = cursorY;
            if (const XLAttribute *text = op.Find(xl::kAttrTextData))
                report.textCharacters += text->value.count;
            break;
        default: break;
        }
        if (!report.walker.character)
            return std::nullopt;
        const SoftChar &data = *report.walker.character;
        CharSummary character;
        character.code = report.walker.characterCode;
        character.size = op.data.size();
        character.glyph = data.glyph;
        character.valid = data.valid;
        character.bitmap = data.valid && data.format == kCharFormatBitmap;
        character.width = data.width;
        character.height = data.height;
        return character;
    }

    void EndStream(size_t offset)
    {
        checker.EndStream(offset, false, found);
        report.walker.EndStream();
        report.problems.Add(found);
    }
};

constexpr const char *kDumpHelp =
    "usage: fndl dump [--json] [--summary] FILE\n"
    "\n"
    "Lists a PCL XL job (or the bare output of 'fndl download'): the stream header,\n"
    "each operator with its offset, attributes and values, embedded data as its\n"
    "length and first bytes. A font header is summed up at its EndFontHeader (name,\n"
    "format, glyph count, the GT segment's tables), a character at its ReadChar\n"
    "(code, glyph index, data size). Several jobs one after another (PJL-wrapped\n"
    "or bare) are read job by job; a file that is no PCL XL or PJL job is refused.\n"
    "Checks the structure: a stream that cannot be decoded, or that ends inside a\n"
    "session, page, font header or character block, or a damaged font header, is\n"
    "reported on stderr with its byte offset, and the exit status is 1.\n"
    "\n"
    "  --summary   only the totals: fonts, characters, pages, text lines (counted\n"
    "              as 'fndl job' counts them: baselines), Text operators\n"
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
    const Form form = parsed.Has("--json")      ? Form::Json
                      : parsed.Has("--summary") ? Form::Summary
                                                : Form::Listing;

    DumpReport report;
    report.path = parsed.positionals.front();
    std::vector<uint8_t> bytes;
    std::string reason;
    if (!ReadWholeFile(report.path, bytes, reason)) {
        PrintError("cannot read '" + report.path + "': " + reason);
        return kExitFailed;
    }
    report.size = bytes.size();
    DumpJson json;
    json.withOperations = !parsed.Has("--summary");
    Walk walk(report);
    XLJobReader reader(bytes);
    XLJobPiece piece;
    XLDecodeError error;
    std::optional<XLJobPiece> envelope; // listed when a stream follows it
    while (reader.Next(piece, error)) {
        switch (piece.kind) {
        case XLJobPieceKind::Envelope: envelope = std::move(piece); break;
        case XLJobPieceKind::StreamBegin:
            ++report.streams;
            if (piece.hasHeader && !report.header)
                report.header = std::string(piece.header.begin(), piece.header.end());
            if (form == Form::Listing) {
                if (envelope)
                    PrintEnvelopeText(*envelope);
                if (piece.hasHeader)
                    PrintStreamHeaderText(piece);
            }
            envelope.reset();
            if (form == Form::Json)
                json.Begin(report);
            break;
        case XLJobPieceKind::Operation: {
            const std::optional<CharSummary> character = walk.Take(piece.op, piece.lastBeforeError);
            if (form == Form::Listing)
                PrintOperationText(report, piece.op, character);
            else if (form == Form::Json)
                json.Operation(piece.op, character);
            break;
        }
        case XLJobPieceKind::StreamEnd: walk.EndStream(piece.offset); break;
        }
    }
    if (!error.message.empty())
        report.error = error;

    // A file that is no job at all gets no listing, only the reason.
    const bool noJob = report.error && report.streams == 0;
    if (form == Form::Json && !noJob)
        json.End(report);
    else if (form == Form::Summary && !noJob)
        PrintSummaryText(report);
    std::fflush(stdout);

    for (const JobProblem &problem : report.problems.kept)
        PrintError("'" + report.path + "' at byte " + std::to_string(problem.offset) + ": " +
                   problem.message);
    if (report.problems.more > 0)
        PrintError("'" + report.path + "': " + std::to_string(report.problems.more) +
                   " more problems not listed");
    if (report.error)
        PrintError("'" + report.path + "' is malformed at byte " +
                   std::to_string(report.error->offset) + ": " + report.error->message);
    return report.error || !report.problems.kept.empty() ? kExitFailed : kExitDone;
}
