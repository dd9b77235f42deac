// SPDX-License-Identifier: MIT
// Request sequences that run the same way against the Linux build and
// against Qorvfndl.dll on the Windows API, so that their output files can be
// compared byte for byte. Only the public header and the C++ standard
// library are used here; each side hands in its own way of reaching the
// calls.
#pragma once

#include <cstdio>

#include "qorvfndl.h"

struct FndlCalls {
    int(FNDL_CALL *pfnFontDownloadW)(FNDL_TEXTINFOW *, FNDL_PAGEINFOW *);
    int(FNDL_CALL *pfnFontDownloadA)(FNDL_TEXTINFOA *, FNDL_PAGEINFOA *);
    void(FNDL_CALL *pfnRemoveFontW)(int *);
    void(FNDL_CALL *pfnRemoveFontA)(int *);
    void(FNDL_CALL *pfnSetCursor)(int *, int *);
    int(FNDL_CALL *pfnGetCursor)(void);
    int(FNDL_CALL *pfnSetPageBox)(const FNDL_PAGEBOX *);
    int(FNDL_CALL *pfnGlyphRunW)(FNDL_GLYPHRUN *, const FNDL_GLYPH *, const FNDL_PAGEINFOW *);
    int(FNDL_CALL *pfnMeasureTextW)(const FNDL_TEXTINFOW *, const FNDL_PAGEINFOW *,
                                    FNDL_TEXTMEASURE *);
    int(FNDL_CALL *pfnMeasureTextA)(const FNDL_TEXTINFOA *, const FNDL_PAGEINFOA *,
                                    FNDL_TEXTMEASURE *);
};

// Fonts the sequences name. Each string means the same file on both sides,
// so that the PCL XL font names (which hold it) come out identical:
// - the synthetic font and the Liberation link are files in the current
//   directory;
// - the Z: path is a path on Wine's Z: drive (the root file system); on Linux
//   a link of that name in the current directory;
// - the DejaVu Sans Mono path starts at the root, of the current drive (Z:)
//   under Wine;
// - the face name "DejaVu Sans" is, for requests that read a file, a link to
//   DejaVuSans.ttf in the current directory, so that the font-file and the
//   device-context source give the same font name.
inline constexpr const char *kSyntheticFontFile = "synthetic.ttf";
inline constexpr const char *kDejaVuSansOnZ = "Z:\\usr\\share\\fonts\\truetype\\dejavu\\DejaVuSans.ttf";
inline constexpr const char *kDejaVuSansMonoFromRoot = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf";
inline constexpr const char *kLiberationSansFile = "LiberationSans-Regular.ttf";
inline constexpr const char *kDejaVuSansFace = "DejaVu Sans";

// A sequence and the outputs it leaves in the current directory:
// <name>.pxl (what the library appended) and <name>.log (the results and
// the record fields the calls wrote back).
struct RequestSequence {
    const char *szName;
    void (*pfnRun)(const FndlCalls &calls, const char *szOutput, FILE *pLog);
};

// Every sequence, in the order they must run (the last one leaves the
// library's sticky font-file error set).
const RequestSequence *RequestSequences(int *pnCount);

// Runs all sequences; 0 when every output could be written.
int RunRequestSequences(const FndlCalls &calls);
