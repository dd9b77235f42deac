// SPDX-License-Identifier: MIT
// fndl dump: what the walk of a job gathers, shared by the command
// (dump.cpp), its text listing (dumptext.cpp) and its JSON (dumpjson.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "inspect/jobstructure.h"
#include "inspect/softfontwalk.h"
#include "xldecode/xldecode.h"

// What the ReadChar just read held, for the listing.
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
    size_t size = 0;                  // of the file
    std::optional<std::string> header; // the first stream header
    std::optional<XLDecodeError> error;
    ProblemList problems;
    SoftFontWalker walker; // the fonts, in the order of their headers
    long operations = 0;
    long streams = 0;
    long sessions = 0;
    long pages = 0;
    long endPages = 0;
    // Lines as 'fndl job' counts them: baselines, each run of Text operators
    // at one SetCursor y on a page one line.
    long textLines = 0;
    long textOperations = 0;
    long textCharacters = 0;
    long removedFonts = 0;
};

// The text listing, one operation at a time: the stream's PJL and header,
// then each operator, with what its character or completed font holds.
void PrintEnvelopeText(const XLJobPiece &piece);
void PrintStreamHeaderText(const XLJobPiece &piece);
void PrintOperationText(const DumpReport &report, const XLOperation &op,
                        const std::optional<CharSummary> &character);
// The totals, after the walk.
void PrintSummaryText(const DumpReport &report);

// The JSON document, written as the walk goes: Begin once the first stream
// header is known (or the walk ended without one), each operation as it is
// read, End after the walk. Written out piece by piece.
struct DumpJson {
    bool withOperations = true;
    bool begun = false;
    std::string out;
    std::vector<bool> hasItem; // per open object or array

    void Begin(const DumpReport &report);
    void Operation(const XLOperation &op, const std::optional<CharSummary> &character);
    void End(const DumpReport &report);
};

// Shared by both forms.
bool IsIntegerType(uint8_t valueType);
bool IsArray(const XLToken &value);
std::string TypeName(uint8_t tag);
std::string AttributeName(uint16_t id);
std::string HexPreview(std::span<const uint8_t> data);
std::optional<std::string> ValueAsText(const XLAttribute &attribute);
