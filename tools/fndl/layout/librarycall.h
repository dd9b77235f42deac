// SPDX-License-Identifier: MIT
// The tool's wrapper of the library's text call: one FNDLFontDownloadW call
// from a call style, a font and some text, its results, and why it failed.
#pragma once

#include <string>
#include <span>
#include <string_view>

#include "fonts/fonts.h"
#include "qorvfndl.h"
#include "cli/request.h"

// One FNDLFontDownloadW call's results.
struct CallResult {
    int code = 3;
    int offset = 0;
    int cursorY = 0;
    int stopX = 0;
    int newPage = 0;
};

// The path that has a call only measured.
inline const std::string kMeasureOnly;
// One FNDLFontDownloadW call with text (at most the library's 511 units)
// for font, appending to path; with no path, only measured from the cursor
// SetCursor gave (a counting pass: nothing written, the session as it was).
CallResult CallDownload(const CallStyle &style, const JobFont &font, std::u16string_view text,
                        int offset, const std::string &path);
// What CallDownload with the same arguments would set from the cursor
// (x, y), asked of the library (FNDLMeasureTextW) without writing anything:
// the call's result, with its advances, glyphs and lines in measure.
int CallMeasure(const CallStyle &style, const JobFont &font, std::u16string_view text, int offset,
                long x, long y, FNDL_TEXTMEASURE &measure);
// The results of a download call that is only measured (code and measure
// from CallMeasure at the cursor, offset as given to it); the cursor moves
// where the call would leave it.
CallResult MeasuredResult(int code, const FNDL_TEXTMEASURE &measure, int offset);
// One FNDLGlyphRunW call's results: stopIndex is the glyph the font could
// not give (result 1).
struct GlyphRunResult {
    int code = 3;
    int stopIndex = 0;
};
// One FNDLGlyphRunW call: glyphs (device units, at most FNDL_MAX_GLYPH_RUN)
// set in font at the cursor, appending to path; with no path, only its page
// end and the cursor's move worked out.
GlyphRunResult CallGlyphRun(const CallStyle &style, const JobFont &font,
                            std::span<const FNDL_GLYPH> glyphs, const std::string &path);
void SetCursor(long x, long y);
// Gives the library the style's page box for the calls that follow (or
// its own box, without one). False when the library refuses the box.
bool UsePageBox(const CallStyle &style);
const char *ResultName(int code);
// Says why a call returned 3, as far as the tool can tell (output: the
// job's -o, path: the file the call appended to).
void PrintDownloadFailure(const std::string &output, const JobFont &font, const std::string &path,
                          const std::string &outputProblem);
