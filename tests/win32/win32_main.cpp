// SPDX-License-Identifier: MIT
// Loads Qorvfndl.dll the way a job producer does (LoadLibrary and
// GetProcAddress by the plain export names), and runs the request sequences
// in the current directory. Exit code 0 when the DLL and all its calls were
// found and every sequence ran.
#include <windows.h>

#include <cstdio>

#include "scenario.h"

namespace {

template <typename Function>
bool Resolve(HMODULE hModule, const char *szName, Function &pfn)
{
    pfn = reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(hModule, szName)));
    if (pfn == nullptr)
        std::fprintf(stderr, "Qorvfndl.dll does not export %s\n", szName);
    return pfn != nullptr;
}

} // namespace

int main(int argc, char **argv)
{
    const char *szDll = argc > 1 ? argv[1] : "Qorvfndl.dll";
    HMODULE hModule = LoadLibraryA(szDll);
    if (hModule == nullptr) {
        std::fprintf(stderr, "cannot load %s (error %lu)\n", szDll,
                     static_cast<unsigned long>(GetLastError()));
        return 2;
    }
    FndlCalls calls{};
    bool bAll = Resolve(hModule, "FNDLFontDownloadW", calls.pfnFontDownloadW);
    bAll = Resolve(hModule, "FNDLFontDownloadA", calls.pfnFontDownloadA) && bAll;
    bAll = Resolve(hModule, "FNDLRemoveFontW", calls.pfnRemoveFontW) && bAll;
    bAll = Resolve(hModule, "FNDLRemoveFontA", calls.pfnRemoveFontA) && bAll;
    bAll = Resolve(hModule, "FNDLSetCursor", calls.pfnSetCursor) && bAll;
    bAll = Resolve(hModule, "FNDLGetCursor", calls.pfnGetCursor) && bAll;
    bAll = Resolve(hModule, "FNDLSetPageBox", calls.pfnSetPageBox) && bAll;
    bAll = Resolve(hModule, "FNDLGlyphRunW", calls.pfnGlyphRunW) && bAll;
    bAll = Resolve(hModule, "FNDLMeasureTextW", calls.pfnMeasureTextW) && bAll;
    bAll = Resolve(hModule, "FNDLMeasureTextA", calls.pfnMeasureTextA) && bAll;
    if (!bAll)
        return 2;
    const int nResult = RunRequestSequences(calls);
    FreeLibrary(hModule);
    std::printf("request sequences %s\n", nResult == 0 ? "done" : "FAILED");
    return nResult;
}
