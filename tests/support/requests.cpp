// SPDX-License-Identifier: MIT
#include "support/requests.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "coverpage/coverpage.h"
#include "session/session.h"

std::u16string Utf16(const std::string &utf8)
{
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<uint8_t>(utf8[i]);
        uint32_t cp = b;
        size_t n = 1;
        if (b >= 0xF0) { cp = b & 0x07; n = 4; }
        else if (b >= 0xE0) { cp = b & 0x0F; n = 3; }
        else if (b >= 0xC0) { cp = b & 0x1F; n = 2; }
        for (size_t k = 1; k < n && i + k < utf8.size(); ++k)
            cp = (cp << 6) | (static_cast<uint8_t>(utf8[i + k]) & 0x3F);
        i += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

static std::string NewTempPath(const std::string &suffix)
{
    static int nCounter = 0;
    char sz[256];
    std::snprintf(sz, sizeof(sz), "/tmp/fndl-test-%d-%d%s", static_cast<int>(getpid()), ++nCounter,
                  suffix.c_str());
    std::remove(sz);
    return sz;
}

TempPath::TempPath() : path(NewTempPath(".pxl")) {}
TempPath::TempPath(const std::string &suffix) : path(NewTempPath(suffix)) {}
TempPath::~TempPath() { std::remove(path.c_str()); }

std::vector<uint8_t> TempPath::Read() const
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void TempPath::Write(const std::vector<uint8_t> &bytes) const
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

template <typename Text, typename Page>
static void FillCommon(Text &text, Page &page, int nFontId, bool bFromFile)
{
    text.FontHeight = 120;
    text.nLeftMargin = 100;
    page.nFontId = nFontId;
    page.nResolution = 600;
    page.nLineSpacing = 100;
    page.lfWeight = 400;
    page.bTTE = bFromFile ? 1 : 0;
}

WideRequest MakeWideRequest(const std::string &font, const std::string &outputPath,
                            const std::string &text, int nFontId, bool bFromFile)
{
    WideRequest r;
    std::memset(&r, 0, sizeof(r));
    FillCommon(r.text, r.page, nFontId, bFromFile);
    const std::u16string wText = Utf16(text), wFont = Utf16(font), wPath = Utf16(outputPath);
    std::memcpy(r.text.szText, wText.data(), std::min<size_t>(wText.size(), 511) * 2);
    std::memcpy(r.page.chFont, wFont.data(), std::min<size_t>(wFont.size(), 255) * 2);
    std::memcpy(r.page.szOutputPath, wPath.data(), std::min<size_t>(wPath.size(), 255) * 2);
    return r;
}

AnsiRequest MakeAnsiRequest(const std::string &font, const std::string &outputPath,
                            const std::string &text, int nFontId, bool bFromFile)
{
    AnsiRequest r;
    std::memset(&r, 0, sizeof(r));
    FillCommon(r.text, r.page, nFontId, bFromFile);
    std::strncpy(r.text.szText, text.c_str(), sizeof(r.text.szText) - 1);
    std::strncpy(r.page.chFont, font.c_str(), sizeof(r.page.chFont) - 1);
    std::strncpy(r.page.szOutputPath, outputPath.c_str(), sizeof(r.page.szOutputPath) - 1);
    return r;
}

void ResetLibraryState()
{
    if (g_pSession != nullptr)
        DiscardFontSession(g_pSession);
    g_pSession = nullptr;
    if (g_pStream != nullptr) {
        g_pStream->pOutputFile = nullptr;
        XLStreamClose(g_pStream);
        g_pStream = nullptr;
    }
    g_nCursorX = 0;
    g_nCursorY = 0;
    bFontFileError = 0;
    SetPageBox(nullptr);
}
