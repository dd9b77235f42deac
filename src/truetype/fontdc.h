// SPDX-License-Identifier: MIT
// A font selected into a device context of its own, at a given em: a font
// file's own font (font-file source), measured for the cover page and read
// for the outlines of glyphs that are converted, or a logical font at the em
// that converted outlines are read through.
#pragma once

#include <windows.h>

#include <cstdint>

// The device context, its font and, for a font file, the private font and
// the file's mapping. Gives back everything it holds when it goes.
struct FontDC {
    uint8_t *pView = nullptr;   // the file, when mapped by OpenFontFileDC(szPath)
    HANDLE hResource = nullptr; // the file's font, private to the process
    HFONT hFont = nullptr;
    HDC hdc = nullptr; // null when there is no font to read

    FontDC() = default;
    FontDC(const FontDC &) = delete;
    FontDC &operator=(const FontDC &) = delete;
    ~FontDC();
};

// Adds the font file at szPath as a font private to the process and selects
// it, by its family name and style, into a device context of its own at an
// em of nCharSize device units: the file measures exactly as the face-name
// source measures an installed font. Leaves font.hdc null when the file
// cannot be mapped or added, has no family name, or the font mapper gives
// another font for its name.
void OpenFontFileDC(const char *szPath, int nCharSize, FontDC &font);
// The same for a whole font file already mapped (by MapFontFile); the
// private font keeps its own copy, so the mapping is not needed afterwards.
void OpenFontFileDC(const uint8_t *pImage, uint32_t dwImageSize, int nCharSize, FontDC &font);
