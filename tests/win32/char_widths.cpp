// SPDX-License-Identifier: MIT
// Prints the widths that GetCharWidthA gives for printable ASCII in a few
// faces and heights, one "face<TAB>height<TAB>code<TAB>width" line each. Built
// for Windows (the system's GDI) and for Linux (the library's platform
// layer) from this one source, so that the two can be compared.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    FILE *pOut = std::fopen(argv[1], "wb");
    if (pOut == nullptr) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 2;
    }
    const char *const aszFaces[] = {"DejaVu Sans", "DejaVu Sans Mono", "Liberation Sans"};
    // Cell heights, and em heights (negative) as the cover page asks for
    // them at 300, 600 and 1200 dpi.
    const LONG anHeights[] = {120, 50, -50, -100, -200};
    constexpr UINT kFirst = 0x20;
    constexpr UINT kLast = 0x7E;
    int nFailed = 0;
    for (const char *szFace : aszFaces) {
        for (LONG nHeight : anHeights) {
            LOGFONTA lf;
            std::memset(&lf, 0, sizeof(lf));
            lf.lfHeight = nHeight;
            lf.lfWeight = FW_NORMAL;
            std::strncpy(lf.lfFaceName, szFace, sizeof(lf.lfFaceName) - 1);
            HDC hdc = CreateCompatibleDC(nullptr);
            HFONT hFont = CreateFontIndirectA(&lf);
            int anWidths[kLast - kFirst + 1] = {};
            if (hdc == nullptr || hFont == nullptr) {
                std::fprintf(stderr, "no font for %s at %ld\n", szFace, static_cast<long>(nHeight));
                ++nFailed;
            } else {
                SelectObject(hdc, hFont);
                if (!GetCharWidthA(hdc, kFirst, kLast, anWidths)) {
                    std::fprintf(stderr, "GetCharWidthA failed for %s\n", szFace);
                    ++nFailed;
                }
            }
            for (UINT nCode = kFirst; nCode <= kLast; ++nCode)
                std::fprintf(pOut, "%s\t%ld\t%u\t%d\n", szFace, static_cast<long>(nHeight), nCode,
                             anWidths[nCode - kFirst]);
            if (hdc != nullptr)
                DeleteDC(hdc);
            if (hFont != nullptr)
                DeleteObject(hFont);
        }
    }
    return std::fclose(pOut) == 0 && nFailed == 0 ? 0 : 1;
}
