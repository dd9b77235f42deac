// SPDX-License-Identifier: MIT
// A font file's own font at a given em (font-file source): its metrics for
// the cover page, its outlines for glyphs that are converted.
#pragma once

#include <windows.h>

#include <cstdint>

// The font file added as a font private to the process and selected, by its
// family name and style, into a device context of its own at the character
// size: the file measures exactly as the face-name source measures an
// installed font. Gives back everything it opened when it goes.
struct FileFontMetrics {
    uint8_t *pView = nullptr; // the file, when mapped for the metrics
    HANDLE hResource = nullptr;
    HFONT hFont = nullptr;
    HDC hdc = nullptr; // null when the file cannot be measured

    FileFontMetrics() = default;
    FileFontMetrics(const FileFontMetrics &) = delete;
    FileFontMetrics &operator=(const FileFontMetrics &) = delete;
    ~FileFontMetrics();
};

// Opens the metrics of the font file at szPath at an em of nCharSize device
// units. Leaves metrics.hdc null when the file cannot be mapped or added,
// has no family name, or the font mapper gives another font for its name.
void OpenFileFontMetrics(const char *szPath, int nCharSize, FileFontMetrics &metrics);
// The same for a whole font file already mapped (by MapFontFile); the
// private font keeps its own copy, so the mapping is not needed afterwards.
void OpenFileFontMetrics(const uint8_t *pImage, uint32_t dwImageSize, int nCharSize,
                         FileFontMetrics &metrics);
