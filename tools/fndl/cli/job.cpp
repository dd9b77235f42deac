// SPDX-License-Identifier: MIT
// The commands that call the library: job (a complete, printable PCL XL job
// around the library's output), download and remove (the bare calls, for
// callers who frame their own jobs).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "cover/cover.h"
#include "core/fndl.h"
#include "fonts/fonts.h"
#include "layout/layout.h"
#include "layout/librarycall.h"
#include "cli/output.h"
#include "qorvfndl.h"
#include "cli/request.h"
#include "text/text.h"

namespace {

constexpr long kWeightBold = 700;

// The main font as the library is told about it, and its face.
int ChooseMainFont(const Request &request, JobFonts &fonts)
{
    JobFont main;
    fonts.fallback = request.face.fallback;
    if (!request.face.instanceFile.empty()) {
        // A named instance of a font file: described from the file, asked
        // for by its family (a private font) with the instance's style.
        if (!ChooseMainFace(request.face.instanceFile, true, static_cast<int>(request.face.fontId), request.call.weight,
                            request.call.italicFace, fonts, main))
            return kExitFailed;
        fonts.coverageKnown = DescribeFace(request.face.instanceFile, request.face.instanceIndex, main.face);
        main.libraryName = request.face.font;
        main.fromFile = false;
        fonts.fonts.push_back(std::move(main));
        return -1;
    }
    if (!ChooseMainFace(request.face.font, request.face.fromFile, static_cast<int>(request.face.fontId),
                        request.call.boldFace ? kWeightBold : request.call.weight, request.call.italicFace, fonts, main))
        return kExitFailed;
    if (!request.face.fromFile) {
        if (!FaceHasFamily(main.face, request.face.font))
            PrintError("no font family '" + request.face.font + "' is installed: " + main.face.family +
                       " " + main.face.style + " (" + main.face.file + ") is used instead");
        if (request.call.boldFace && main.face.weight < kWeightBold)
            PrintNote(main.face.family + " has no bold face: " + main.face.style +
                      " is used (--synthetic-bold thickens strokes)");
        if (request.call.italicFace && !main.face.slanted)
            PrintNote(main.face.family + " has no italic face: " + main.face.style +
                      " is used (--oblique slants it)");
        // The library's slant asks for an italic logical font; an italic
        // face would be slanted twice, so the regular face goes by its file.
        if (request.call.oblique && !request.call.italicFace && main.face.index == 0 &&
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

// The bytes a call appended to path, which had size before.
uint64_t AppendedSince(const std::string &path, uint64_t before)
{
    const uint64_t size = FileSize(path);
    return size - std::min(size, before);
}

// A bare call's font: the request's, as given.
JobFont BareFont(const Request &request)
{
    JobFont font;
    font.fontId = static_cast<int>(request.face.fontId);
    font.libraryName = request.face.font;
    font.fromFile = request.face.fromFile;
    if (request.face.fromFile) {
        font.face.file = request.face.font;
    } else {
        ResolveNamedFace(request.face.font, request.call.boldFace ? kWeightBold : request.call.weight,
                         request.call.italicFace, font.face);
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

// The name the library gives the font's soft font: "OT:<id in hex>:<chFont>:n",
// the face name cut at a character where the name's 255 bytes end.
std::string SoftFontNameOf(const JobFont &font)
{
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "OT:%x:", static_cast<unsigned>(font.fontId));
    constexpr size_t kNameBytes = 255;
    const std::string_view suffix = ":n";
    const size_t room = kNameBytes - std::strlen(prefix) - suffix.size();
    return prefix + font.libraryName.substr(0, Utf8FitLength(font.libraryName, room)) +
           std::string(suffix);
}

} // namespace

int RunJob(std::span<char *const> args)
{
    Request request;
    request.settings.command = "job";
    if (const int exitCode = ParseRequest(args, request); exitCode >= 0)
        return exitCode;
    JobFonts fonts;
    if (const int exitCode = ChooseMainFont(request, fonts); exitCode >= 0)
        return exitCode;
    RemoveWorkFilesOnTerm();
    JobOutput output;
    std::string reason;
    if (!OpenJobOutput(request.settings.output, output, reason)) {
        PrintError((request.settings.output == "-" ? std::string("cannot write standard output")
                                          : "cannot write '" + request.settings.output + "'") +
                   ": " + reason);
        return kExitFailed;
    }
    if (!request.settings.coverPath.empty()) {
        CoverSpec spec;
        std::string error;
        if (!ReadCoverSpec(request.settings.coverPath, spec, error)) {
            PrintError("cannot read the cover description '" + request.settings.coverPath + "': " + error);
            return kExitFailed;
        }
        return WriteCover(request, spec, output);
    }
    return WriteJob(request, fonts, output);
}

int RunDownload(std::span<char *const> args)
{
    Request request;
    request.settings.command = "download";
    if (const int exitCode = ParseRequest(args, request); exitCode >= 0)
        return exitCode;
    if (request.source.text.size() > kLibraryTextUnits)
        return UsageError("download", "the text has " + std::to_string(request.source.text.size()) +
                                          " UTF-16 units; one library call takes at most " +
                                          std::to_string(kLibraryTextUnits) + " (use 'fndl job')");
    SetCursor(request.page.cursorX, request.page.cursorY);
    const JobFont font = BareFont(request);
    const uint64_t sizeBefore = FileSize(request.settings.output);
    const CallResult result = CallDownload(request.call, font, request.source.text,
                                           static_cast<int>(request.settings.offset), request.settings.output);
    std::printf(
        "result %d (%s): offset %d, cursor y %d, stop x %d, new page %d; appended %llu bytes "
        "to %s\n",
        result.code, ResultName(result.code), result.offset, result.cursorY, result.stopX,
        result.newPage,
        static_cast<unsigned long long>(AppendedSince(request.settings.output, sizeBefore)),
        request.settings.output.c_str());
    if (result.code == FNDL_DOWNLOAD_FAILURE) {
        PrintDownloadFailure(request.settings.output, font, request.settings.output, BareOutputProblem(request.settings.output));
        return kExitFailed;
    }
    return kExitDone;
}

int RunRemove(std::span<char *const> args)
{
    Request request;
    request.settings.command = "remove";
    if (const int exitCode = ParseRequest(args, request); exitCode >= 0)
        return exitCode;
    const JobFont font = BareFont(request);
    uint64_t sizeBefore = FileSize(request.settings.output);
    const CallResult result = CallDownload(request.call, font, u"", 0, request.settings.output);
    // What was appended is known from the file's size and the library's
    // naming, without reading it back.
    const std::string name = SoftFontNameOf(font);
    uint64_t appended = AppendedSince(request.settings.output, sizeBefore);
    std::printf(
        "download (empty text): result %d (%s); appended %llu bytes (font header of \"%s\")\n",
        result.code, ResultName(result.code), static_cast<unsigned long long>(appended),
        appended > 0 ? name.c_str() : "");
    if (result.code == FNDL_DOWNLOAD_FAILURE) {
        PrintDownloadFailure(request.settings.output, font, request.settings.output, BareOutputProblem(request.settings.output));
        return kExitFailed;
    }
    sizeBefore = FileSize(request.settings.output);
    int nFontId = static_cast<int>(request.face.fontId);
    FNDLRemoveFontW(&nFontId);
    appended = AppendedSince(request.settings.output, sizeBefore);
    if (appended == 0)
        std::printf("remove font %ld: nothing appended\n", request.face.fontId);
    else
        std::printf("remove font %ld: appended %llu bytes (RemoveFont \"%s\")\n",
                    request.face.fontId, static_cast<unsigned long long>(appended), name.c_str());
    return kExitDone;
}
