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

bool Prepare(const std::filesystem::path &dir, bool bForWine)
{
    namespace fs = std::filesystem;
    std::error_code error;
    fs::create_directories(dir, error);
    const Bytes font = MakeLetterFont();
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
                                 FNDLSetPageBox,    FNDLGlyphRunW,     FNDLMeasureTextW,
                                 FNDLMeasureTextA};
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
