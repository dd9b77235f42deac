// SPDX-License-Identifier: MIT
// One font as one download call reads it: from the font selected into the
// session's device context, or from a font file. The face fetches each table
// and maps the file at most once, finds loca, head and maxp once for every
// glyph lookup, and gives everything back when it goes. What it hands out
// stays valid while it lives; the callers never release it.
#pragma once

#include <windows.h>

#include <cstdint>

#include "session/session.h"
#include "session/status.h"
#include "truetype/bereader.h"
#include "truetype/fontdc.h"

// Tables a face keeps copies of through the device context, or remembers
// the place of in a font file: the few that its readers ask for (maxp,
// cmap, loca, head, hhea, hmtx, glyf; fvar and name of a variable font).
constexpr int kFaceTableSlots = 10;

struct FaceTableCopy {
    uint32_t dwTag;
    uint8_t *pTable; // global heap; a one-byte block for an empty table
    uint32_t dwSize;
};

enum class TableRecord { kLast, kFirst };

// A table looked up in the file image: where it lies (null when the font
// has none), so that later lookups do not search the directory again.
struct FaceTableFound {
    uint32_t dwTag;
    TableRecord record;
    const uint8_t *pTable; // inside the view
    uint32_t dwSize;
};

// Where glyphs lie. Through the device context glyf is not copied: only its
// size is known, and each glyph is read on its own.
struct FaceGlyphTables {
    BEReader glyf;
    BEReader loca;
    BEReader head;
    BEReader maxp;
    uint32_t dwGlyfSize;
};

// A logical font one em high in font units, selected into a device context
// of its own, that outlines are read through (fonts whose outlines are
// converted): the request's font at that height, or the font file's own.
// Made on first use.
struct FaceOutlineFont {
    FontDC font; // font.hdc null: there is none
    uint16_t nUnitsPerEm;
    bool bTried;
};

struct FontFace {
    FontSession *pSession; // device-context source: its hdc
    const char *szPath;    // font-file source
    bool bFromFile;

    uint8_t *pView; // the font file, mapped on first use
    uint32_t dwViewSize;
    bool bMapTried;

    FaceTableCopy aCopies[kFaceTableSlots];
    int nCopies;
    FaceTableFound aFound[kFaceTableSlots];
    int nFound;

    int nGlyphTables; // 0 not looked for yet, 1 found, -1 missing
    FaceGlyphTables glyphTables;

    FaceOutlineFont outline;

    uint8_t *pGlyphBuffer; // device context: the glyph last read, global heap
    uint32_t dwGlyphBufferSize;

    // The first read that failed through no fault of the font (its file
    // cannot be mapped, memory ran out); the call that owns the face
    // returns it. A damaged font is no such failure: its readers send what
    // they can.
    Status status;

    FontFace(FontSession *pSessionIn, bool bFromFileIn, const char *szPathIn);
    ~FontFace();
    FontFace(const FontFace &) = delete;
    FontFace &operator=(const FontFace &) = delete;
};

// Records a failed read in the face; the first one stays.
void FaceFail(FontFace &face, Status status);

// The whole font file (font-file source). False when the file cannot be
// mapped: the face's status says so then.
bool FaceFileImage(FontFace &face, const uint8_t **ppImage, uint32_t *pdwSize);

// Whether the font has the table, without copying it.
bool FaceHasTable(FontFace &face, const char (&szTag)[5]);

// The table with the given tag (in a font file also its upper-case form;
// kFirst takes the first of several records with that tag, kLast the last).
// Null when the font has none or it cannot be read; an empty table is a
// non-null pointer with size 0.
const uint8_t *FaceTable(FontFace &face, const char (&szTag)[5], uint32_t *pdwSize,
                         TableRecord record = TableRecord::kLast);

// glyf, loca, head and maxp (the first maxp record: the glyph count that
// limits glyph indices); null when one is missing.
const FaceGlyphTables *FaceGlyphs(FontFace &face);
