// SPDX-License-Identifier: MIT
// Helpers for tests that drive the exported calls: request records, temp
// output files and a clean library state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "qorvfndl.h"

inline constexpr const char *kDejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// UTF-8 to UTF-16 for test texts.
std::u16string Utf16(const std::string &utf8);

// A unique path in the temp directory, removed when the object goes.
struct TempPath {
    std::string path;
    TempPath();
    explicit TempPath(const std::string &suffix);
    ~TempPath();
    TempPath(const TempPath &) = delete;
    TempPath &operator=(const TempPath &) = delete;
    std::vector<uint8_t> Read() const;
    void Write(const std::vector<uint8_t> &bytes) const;
};

struct WideRequest {
    FNDL_TEXTINFOW text;
    FNDL_PAGEINFOW page;
};

// A request with the usual values: 12 pt at 600 dpi, line spacing 100,
// margin 100, face name (or font file path with bTTE) and output path.
WideRequest MakeWideRequest(const std::string &font, const std::string &outputPath,
                            const std::string &text, int nFontId, bool bFromFile);

struct AnsiRequest {
    FNDL_TEXTINFOA text;
    FNDL_PAGEINFOA page;
};
AnsiRequest MakeAnsiRequest(const std::string &font, const std::string &outputPath,
                            const std::string &text, int nFontId, bool bFromFile);

// Forgets the session and the stream, and clears the process-wide state.
void ResetLibraryState();
