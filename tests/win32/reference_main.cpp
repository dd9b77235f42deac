// SPDX-License-Identifier: MIT
// The Linux side of the Windows comparison.
//   fndl_w32_reference prepare DIR   writes the synthetic font and the font
//                                    links that the request sequences name
//   fndl_w32_reference prepare-wine DIR
//                                    the same for a run under Wine, where the
//                                    Z: path must reach the file through
//                                    Wine's drive mapping, not a link
//   fndl_w32_reference run           runs the request sequences against the
//                                    Linux build in the current directory
//   fndl_w32_reference list          names the sequences, one a line
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "qorvfndl.h"
#include "scenario.h"
#include "support/fontbuilder.h"

namespace {

// Space, A, B, C = A + B, D = C + A (a composite inside a composite).
Bytes SyntheticFont()
{
    const std::vector<Bytes> glyphs = {
        MakeSimpleGlyph({{0, 0}, {0, 700}, {500, 700}, {500, 0}}), // .notdef
        Bytes{},                                                   // space
        MakeSimpleGlyph({{0, 0}, {250, 700}, {500, 0}}),           // A
        MakeSimpleGlyph({{0, 0}, {0, 700}, {400, 600}, {400, 100}, {60, 20}}), // B
        MakeCompositeOf({2, 3}),                                               // C
        MakeCompositeOf({4, 2}),                                               // D
    };
    const FontBuilder font =
        MakeSampleFont({.glyphs = glyphs,
                        .unicodeSegments = {{0x20, 0x20, 1 - 0x20}, {0x41, 0x44, 2 - 0x41}},
                        .familyName = "Synthetic"});
    return BuildFont(font);
}

bool Prepare(const std::filesystem::path &dir, bool bForWine)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::create_directories(dir, error);
    const Bytes font = SyntheticFont();
    std::ofstream out(dir / kSyntheticFontFile, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(font.data()), static_cast<std::streamsize>(font.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "cannot write %s\n", (dir / kSyntheticFontFile).c_str());
        return false;
    }
    // Names that are paths under Wine and plain file names here.
    const struct {
        const char *szName;
        const char *szTarget;
    } links[] = {
        {kDejaVuSansOnZ, "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"},
        {kDejaVuSansFace, "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"},
        {kLiberationSansFile, "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf"},
    };
    for (const auto &link : links) {
        if (bForWine && std::strcmp(link.szName, kDejaVuSansOnZ) == 0)
            continue;
        if (!fs::exists(link.szTarget)) {
            std::fprintf(stderr, "missing font %s\n", link.szTarget);
            return false;
        }
        fs::remove(dir / link.szName, error);
        fs::create_symlink(link.szTarget, dir / link.szName, error);
        if (error) {
            std::fprintf(stderr, "cannot link %s: %s\n", link.szName, error.message().c_str());
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "prepare") == 0)
        return Prepare(argv[2], false) ? 0 : 1;
    if (argc == 3 && std::strcmp(argv[1], "prepare-wine") == 0)
        return Prepare(argv[2], true) ? 0 : 1;
    if (argc == 2 && std::strcmp(argv[1], "run") == 0) {
        const FndlCalls calls = {FNDLFontDownloadW, FNDLFontDownloadA, FNDLRemoveFontW,
                                 FNDLRemoveFontA,   FNDLSetCursor,     FNDLGetCursor,
                                 FNDLSetPageBox};
        return RunRequestSequences(calls);
    }
    if (argc == 2 && std::strcmp(argv[1], "list") == 0) {
        int nCount = 0;
        const RequestSequence *pSequences = RequestSequences(&nCount);
        for (int i = 0; i < nCount; ++i)
            std::printf("%s\n", pSequences[i].szName);
        return 0;
    }
    std::fprintf(stderr, "usage: %s prepare DIR | run | list\n", argv[0]);
    return 2;
}
