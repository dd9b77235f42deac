// SPDX-License-Identifier: MIT
// The commands that call the library: job (a complete, printable PCL XL job
// around the library's output), download and remove (the bare calls, for
// callers who frame their own jobs).
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "cover/cover.h"
#include "core/fndl.h"
#include "fonts/fonts.h"
#include "layout/layout.h"
#include "layout/librarycall.h"
#include "cli/output.h"
#include "qorvfndl.h"
#include "cli/request.h"
#include "xldecode/xldecode.h"
#include "xlstream/xlcodes.h"

namespace {

constexpr long kWeightBold = 700;

// The main font as the library is told about it, and its face.
int ChooseMainFont(const Request &request, JobFonts &fonts)
{
    JobFont main;
    fonts.fallback = request.fallback;
    if (!request.instanceFile.empty()) {
        // A named instance of a font file: described from the file, asked
        // for by its family (a private font) with the instance's style.
        if (!ChooseMainFace(request.instanceFile, true, static_cast<int>(request.fontId), request.weight,
                            request.italicFace, fonts, main))
            return kExitFailed;
        fonts.coverageKnown = DescribeFace(request.instanceFile, request.instanceIndex, main.face);
        main.libraryName = request.font;
        main.fromFile = false;
        fonts.fonts.push_back(std::move(main));
        return -1;
    }
    if (!ChooseMainFace(request.font, request.fromFile, static_cast<int>(request.fontId),
                        request.boldFace ? kWeightBold : request.weight, request.italicFace, fonts, main))
        return kExitFailed;
    if (!request.fromFile) {
        if (!FaceHasFamily(main.face, request.font))
            PrintError("no font family '" + request.font + "' is installed: " + main.face.family +
                       " " + main.face.style + " (" + main.face.file + ") is used instead");
        if (request.boldFace && main.face.weight < kWeightBold)
            PrintNote(main.face.family + " has no bold face: " + main.face.style +
                      " is used (--synthetic-bold thickens strokes)");
        if (request.italicFace && !main.face.slanted)
            PrintNote(main.face.family + " has no italic face: " + main.face.style +
                      " is used (--oblique slants it)");
        // The library's slant asks for an italic logical font; an italic
        // face would be slanted twice, so the regular face goes by its file.
        if (request.oblique && !request.italicFace && main.face.index == 0 &&
            !main.face.file.empty()) {
            main.libraryName = main.face.file;
            main.fromFile = true;
        }
    }
    fonts.fonts.push_back(std::move(main));
    return -1;
}

// The size of the file now; 0 when it does not exist yet.
uint64_t FileSize(const std::string &path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : size;
}

// The bytes appended to path since it had size from.
std::vector<uint8_t> AppendedBytes(const std::string &path, uint64_t from)
{
    JobOutput view;
    view.workPath = path;
    view.size = from;
    view.keepWorkFile = true;
    std::vector<uint8_t> bytes;
    std::string reason;
    TakeAppended(view, bytes, reason);
    return bytes;
}

// A bare call's font: the request's, as given.
JobFont BareFont(const Request &request)
{
    JobFont font;
    font.fontId = static_cast<int>(request.fontId);
    font.libraryName = request.font;
    font.fromFile = request.fromFile;
    if (request.fromFile) {
        font.face.file = request.font;
    } else {
        ResolveNamedFace(request.font, request.boldFace ? kWeightBold : request.weight,
                         request.italicFace, font.face);
    }
    return font;
}

std::string BareOutputProblem(const std::string &path)
{
    JobOutput view;
    view.workPath = path;
    view.keepWorkFile = true;
    return WorkFileProblem(view);
}

// The font name of the first operator op in bytes, or "".
std::string FontNameOf(std::span<const uint8_t> bytes, uint8_t op)
{
    std::vector<XLOperation> ops;
    XLDecodeError error;
    XLDecodeOperations(bytes, ops, error);
    for (const XLOperation &operation : ops) {
        if (operation.op != op)
            continue;
        if (const XLAttribute *name = operation.Find(xl::kAttrFontName))
            return std::string(name->value.raw.begin(), name->value.raw.end());
    }
    return "";
}

} // namespace

int RunJob(std::span<char *const> args)
{
    Request request;
    request.command = "job";
    if (const int exitCode = ParseRequest(args, request); exitCode >= 0)
        return exitCode;
    JobFonts fonts;
    if (const int exitCode = ChooseMainFont(request, fonts); exitCode >= 0)
        return exitCode;
    RemoveWorkFilesOnTerm();
    JobOutput output;
    std::string reason;
    if (!OpenJobOutput(request.output, output, reason)) {
        PrintError((request.output == "-" ? std::string("cannot write standard output")
                                          : "cannot write '" + request.output + "'") +
                   ": " + reason);
        return kExitFailed;
    }
    if (!request.coverPath.empty()) {
        CoverSpec spec;
        std::string error;
        if (!ReadCoverSpec(request.coverPath, spec, error)) {
            PrintError("cannot read the cover description '" + request.coverPath + "': " + error);
            return kExitFailed;
        }
        return WriteCover(request, spec, output);
    }
    return WriteJob(request, fonts, output);
}

int RunDownload(std::span<char *const> args)
{
    Request request;
    request.command = "download";
    if (const int exitCode = ParseRequest(args, request); exitCode >= 0)
        return exitCode;
    if (request.text.size() > kLibraryTextUnits)
        return UsageError("download", "the text has " + std::to_string(request.text.size()) +
                                          " UTF-16 units; one library call takes at most " +
                                          std::to_string(kLibraryTextUnits) + " (use 'fndl job')");
    SetCursor(request.cursorX, request.cursorY);
    const JobFont font = BareFont(request);
    const uint64_t sizeBefore = FileSize(request.output);
    const CallResult result = CallDownload(request, font, request.text,
                                           static_cast<int>(request.offset), request.output);
    const uint64_t sizeAfter = FileSize(request.output);
    std::printf(
        "result %d (%s): offset %d, cursor y %d, stop x %d, new page %d; appended %llu bytes "
        "to %s\n",
        result.code, ResultName(result.code), result.offset, result.cursorY, result.stopX,
        result.newPage,
        static_cast<unsigned long long>(sizeAfter - std::min(sizeAfter, sizeBefore)),
        request.output.c_str());
    if (result.code == FNDL_DOWNLOAD_FAILURE) {
        PrintDownloadFailure(request, font, request.output, BareOutputProblem(request.output));
        return kExitFailed;
    }
    return kExitDone;
}

int RunRemove(std::span<char *const> args)
{
    Request request;
    request.command = "remove";
    if (const int exitCode = ParseRequest(args, request); exitCode >= 0)
        return exitCode;
    const JobFont font = BareFont(request);
    uint64_t sizeBefore = FileSize(request.output);
    const CallResult result = CallDownload(request, font, u"", 0, request.output);
    std::vector<uint8_t> appended = AppendedBytes(request.output, sizeBefore);
    std::printf(
        "download (empty text): result %d (%s); appended %zu bytes (font header of \"%s\")\n",
        result.code, ResultName(result.code), appended.size(),
        FontNameOf(appended, xl::kOpBeginFontHeader).c_str());
    if (result.code == FNDL_DOWNLOAD_FAILURE) {
        PrintDownloadFailure(request, font, request.output, BareOutputProblem(request.output));
        return kExitFailed;
    }
    sizeBefore = FileSize(request.output);
    int nFontId = static_cast<int>(request.fontId);
    FNDLRemoveFontW(&nFontId);
    appended = AppendedBytes(request.output, sizeBefore);
    if (appended.empty())
        std::printf("remove font %ld: nothing appended\n", request.fontId);
    else
        std::printf("remove font %ld: appended %zu bytes (RemoveFont \"%s\")\n", request.fontId,
                    appended.size(), FontNameOf(appended, xl::kOpRemoveFont).c_str());
    return kExitDone;
}
