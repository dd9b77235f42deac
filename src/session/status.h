// SPDX-License-Identifier: MIT
// What a routine of a call gives back to its caller, who passes it up to
// the exported call. Only the export turns it into the public result (0-3)
// and into the process-wide font-file flag.
#pragma once

#include <cstdint>

enum class Status : uint8_t {
    kOk,           // done; the cover page set the whole text
    kInvalidGlyph, // the cover page stopped at a character without a glyph
    kPageEnd,      // the page ended before the text did
    kFailed,       // failed once writing had begun: the call is cut back
    kNoMemory,     // memory ran out (a font read among others): as kFailed
    kRefused,      // refused before anything was written; the session holds
    kFontFile,     // the font file cannot be mapped: refused as kRefused
};

// Refused before the first byte: the job and the session stay as they were.
constexpr bool IsRefusal(Status status)
{
    return status == Status::kRefused || status == Status::kFontFile;
}

// Anything but the cover page's three results.
constexpr bool IsFailure(Status status)
{
    return status != Status::kOk && status != Status::kInvalidGlyph &&
           status != Status::kPageEnd;
}
