// SPDX-License-Identifier: MIT
// Font-file source: the font bytes go to a file that the request names, with
// bTTE set.
#include <cstdio>

#include "fuzz_request.h"
#include "platform/platform_hooks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string fontPath = FuzzTempPath(".ttf");
    const FuzzRequest request = SplitFuzzInput(data, size);
    FILE *file = std::fopen(fontPath.c_str(), "wb");
    if (file == nullptr)
        return 0;
    const bool written = std::fwrite(request.font.data(), 1, request.font.size(), file) == request.font.size();
    if (std::fclose(file) != 0 || !written)
        return 0;
    RunFuzzRequest(request, fontPath, true);
    std::remove(fontPath.c_str());
    PlatformForgetFontRealizations();
    return 0;
}
