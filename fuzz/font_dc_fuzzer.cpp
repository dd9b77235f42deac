// SPDX-License-Identifier: MIT
// Device-context source: the platform layer serves the font bytes as the
// font of every logical font, whatever its face name.
#include "fuzz_request.h"
#include "platform/platform_hooks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const FuzzRequest request = SplitFuzzInput(data, size);
    PlatformServeFontData(request.font.data(), request.font.size());
    RunFuzzRequest(request, "Fuzz Sans", false);
    PlatformServeFontData(nullptr, 0);
    // The measuring cache would keep every input's font a while, and
    // libFuzzer then stops looking for leaks after each input.
    PlatformForgetFontRealizations();
    return 0;
}
