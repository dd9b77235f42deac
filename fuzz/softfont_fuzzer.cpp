// SPDX-License-Identifier: MIT
// The soft-font walker of dump, extract and preview over any job: the
// listing walk and the rebuilding walk take any bytes, and every font the
// rebuilding walk accepts can be made a TrueType font (or is refused with a
// reason) within the size the walk counted.
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "inspect/rebuild.h"
#include "inspect/softfontwalk.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    // The listing walk: every operation, problems and all.
    SoftFontWalker listing;
    JobChecker checker;
    std::vector<JobProblem> problems;
    XLJobReader reader(bytes);
    XLJobPiece piece;
    XLDecodeError error;
    while (reader.Next(piece, error)) {
        if (piece.kind == XLJobPieceKind::Operation) {
            checker.Take(piece.op, problems);
            listing.Take(piece.op, piece.lastBeforeError, problems);
        } else if (piece.kind == XLJobPieceKind::StreamEnd) {
            checker.EndStream(piece.offset, false, problems);
            listing.EndStream();
        }
        problems.clear();
    }

    SoftFontWalker walker;
    walker.rebuild = true;
    long pages = 0;
    std::string failure;
    if (!ReadJobFonts(bytes, walker, pages, failure))
        return 0;
    uint64_t total = 0;
    for (const SoftFontInJob &font : walker.fonts) {
        total += RebuiltGlyphBytes(font);
        Require(font.headerSize <= size, "a font header larger than the job");
    }
    // A few bytes can claim 65,535 glyphs: rebuild only what stays small.
    if (total > (uint64_t{1} << 22))
        return 0;
    std::vector<uint8_t> ttf;
    std::string reason;
    for (const SoftFontInJob &font : walker.fonts) {
        if (RebuildFont(font, "font", ttf, reason))
            Require(ttf.size() >= 12, "a rebuilt font without its offset table");
        else
            Require(!reason.empty(), "a font refused without a reason");
    }
    return 0;
}
