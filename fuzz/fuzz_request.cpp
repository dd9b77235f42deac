// SPDX-License-Identifier: MIT
#include "fuzz_request.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "download/download.h"
#include "session/session.h"
#include "platform/platform_hooks.h"
#include "qorvfndl.h"
#include "support/requests.h"
#include "xldecode/xldecode.h"
#include "fuzz_check.h"

namespace {

constexpr size_t kHeaderSize = 3;
constexpr size_t kMaxTextUnits = 511;

} // namespace

FuzzRequest SplitFuzzInput(const uint8_t *data, size_t size)
{
    FuzzRequest request;
    if (size < kHeaderSize) {
        request.font = std::span<const uint8_t>(data, size);
        return request;
    }
    const size_t textBytes = std::min<size_t>(data[0] | (size_t{data[1]} << 8), size - kHeaderSize);
    request.options = data[2];
    for (size_t i = 0; i + 1 < textBytes && request.text.size() < kMaxTextUnits; i += 2)
        request.text.push_back(static_cast<char16_t>(data[kHeaderSize + i] | (data[kHeaderSize + i + 1] << 8)));
    request.font = std::span<const uint8_t>(data + kHeaderSize + textBytes, size - kHeaderSize - textBytes);
    return request;
}

std::vector<uint8_t> JoinFuzzInput(const std::u16string &text, uint8_t options,
                                   const std::vector<uint8_t> &font)
{
    const size_t textBytes = text.size() * 2;
    std::vector<uint8_t> input = {static_cast<uint8_t>(textBytes), static_cast<uint8_t>(textBytes >> 8),
                                  options};
    for (char16_t unit : text) {
        input.push_back(static_cast<uint8_t>(unit));
        input.push_back(static_cast<uint8_t>(unit >> 8));
    }
    input.insert(input.end(), font.begin(), font.end());
    return input;
}

std::string FuzzTempPath(const char *suffix)
{
    // In memory where there is a tmpfs: every input writes and reads its
    // font and output file, which on a disk file system costs more than
    // the library's own work.
    static const std::string dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return dir + "/fndl-fuzz-" + std::to_string(getpid()) + suffix;
}

void RequireWellFormedOutput(std::span<const uint8_t> bytes)
{
    // One operation at a time: the check is that the whole output decodes,
    // and keeping every operation would cost allocations.
    XLOperationReader reader(bytes);
    XLOperation op;
    XLDecodeError error;
    while (reader.Next(op, error)) {
    }
    if (!error.message.empty()) {
        std::fprintf(stderr, "output does not decode: %s at %zu\n", error.message.c_str(), error.offset);
        Require(false, "successful calls wrote malformed PCL XL");
    }
}

void KeepFreedCharacterTables()
{
    PlatformKeepFreedBlocksOf(kCharTableEntries * sizeof(uint32_t));
}

void RunFuzzRequest(const FuzzRequest &request, const std::string &font, bool fromFile)
{
    static const long baseline = (KeepFreedCharacterTables(), PlatformLiveAllocations());
    static const std::string output = FuzzTempPath(".pxl");
    std::remove(output.c_str());
    const uint8_t options = request.options;
    int x = 0, y = (options & kFuzzNearPageEnd) ? 6700 : 300;
    FNDLSetCursor(&x, &y);
    int cursorX = x, cursorY = y; // the library's cursor, as the measures say it moves
    bool cursorKnown = true;      // a failed call may have moved it

    bool anyFailed = false;
    // One call; gives back its result and the offset a caller goes on from.
    auto download = [&](int nFontId, int nOffset, int &nNextOffset) {
        WideRequest r = MakeWideRequest(font, output, "", nFontId, fromFile);
        std::memcpy(r.text.szText, request.text.data(), request.text.size() * sizeof(char16_t));
        r.text.bBold = options & kFuzzBold ? 1 : 0;
        r.text.bItalic = options & kFuzzItalic ? 1 : 0;
        r.text.bUnderline = options & kFuzzUnderline ? 1 : 0;
        r.text.FontHeight = options & kFuzzLargeFont ? 720 : 120;
        r.text.nLeftMargin = options & kFuzzNarrowMargin ? 4600 : 100;
        r.text.nOffsetToText = nOffset;
        // What the measure says the download does, the download must do.
        FNDL_TEXTMEASURE measure;
        measure.nCursorX = cursorX;
        measure.nCursorY = cursorY;
        const int measured = FNDLMeasureTextW(&r.text, &r.page, &measure);
        const int result = FNDLFontDownloadW(&r.text, &r.page);
        Require(result >= FNDL_OK && result <= FNDL_DOWNLOAD_FAILURE, "result out of range");
        if (measured == FNDL_DOWNLOAD_FAILURE) {
            Require(result == FNDL_DOWNLOAD_FAILURE, "a measure failed where the download did not");
        } else if (result != FNDL_DOWNLOAD_FAILURE && cursorKnown) {
            Require(measured == result && measure.nEndY == FNDLGetCursor() &&
                        measure.bNewPage == r.text.bNewPage &&
                        (result == FNDL_OK || measure.nOffsetToText == r.text.nOffsetToText),
                    "the download did other than its measure said");
            cursorX = measure.nEndX;
            cursorY = measure.nEndY;
        }
        cursorKnown = cursorKnown && result != FNDL_DOWNLOAD_FAILURE;
        anyFailed = anyFailed || result == FNDL_DOWNLOAD_FAILURE;
        // Where to go on must lie in the caller's text, or the caller never gets through it.
        const int nLength = static_cast<int>(std::u16string(request.text.c_str()).size());
        if (result == FNDL_PAGEEND)
            Require(r.text.bNewPage == 1 && r.text.nOffsetToText >= nOffset &&
                        r.text.nOffsetToText <= std::max(nOffset, nLength),
                    "page end offset outside the text");
        if (result == FNDL_INVALID_GLYPH_HANDLE)
            Require(r.text.nOffsetToText >= nOffset && r.text.nOffsetToText < nLength,
                    "missing glyph offset outside the text");
        nNextOffset = r.text.nOffsetToText;
        return result;
    };

    int nNext = 0;
    const int first = download(1, 0, nNext);
    if (options & kFuzzSameIdAgain) {
        // As a caller does: after a page end a new page from its top and the
        // offset given back, which must then move on; else the text's middle.
        const bool bNewPage = first == FNDL_PAGEEND;
        int nTop = 300;
        if (bNewPage) {
            FNDLSetCursor(&x, &nTop);
            cursorX = x;
            cursorY = nTop;
            cursorKnown = true;
        }
        const int nOffset = bNewPage ? nNext : static_cast<int>(request.text.size() / 2);
        const int second = download(1, nOffset, nNext);
        Require(!bNewPage || second != FNDL_PAGEEND || nNext > nOffset, "a new page does not move the text on");
    }
    if (options & kFuzzSecondId)
        download(2, 0, nNext);
    for (int id : {1, 2})
        FNDLRemoveFontW(&id);
    Require(g_pSession == nullptr, "session outlives the removal of every font");

    if (!anyFailed) {
        // Read whole, not a character at a time: that would cost more than
        // the decoding.
        std::vector<uint8_t> bytes;
        if (FILE *in = std::fopen(output.c_str(), "rb")) {
            uint8_t buffer[65536];
            for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
                bytes.insert(bytes.end(), buffer, buffer + n);
            std::fclose(in);
        }
        RequireWellFormedOutput(bytes);
    }

    ResetLibraryState();
    // The process keeps what it varied or converted (a later job reuses
    // it): let it go before counting what leaked.
    ForgetConvertedGlyphs();
    Require(PlatformLiveAllocations() == baseline, "global-heap blocks leaked");
    Require(PlatformLiveGdiObjects() == 0, "GDI objects leaked");
    std::remove(output.c_str());
}
