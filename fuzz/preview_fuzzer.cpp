// SPDX-License-Identifier: MIT
// fndl preview's page interpreter over any job that its reading accepts, at
// 10 dpi on a small pixel budget: pages are drawn or refused, never more
// pixels than the budget allows.
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "inspect/previewpage.h"
#include "fuzz_check.h"

namespace {

constexpr double kPixelBudget = 2e6;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    SoftFontWalker walker;
    walker.rebuild = true;
    long pages = 0;
    std::string error;
    if (!ReadJobFonts(bytes, walker, pages, error))
        return 0;
    PageSettings settings;
    settings.dpi = 10;
    settings.pixelBudget = kPixelBudget;
    double pixels = 0;
    const PageSink sink = [&pixels](const PreviewPage &page, int, std::string &) {
        Require(page.gray.size() == static_cast<size_t>(page.width) * page.height, "a page of the wrong size");
        pixels += static_cast<double>(page.gray.size());
        return true;
    };
    std::map<std::string, NotDrawn> notDrawn;
    DrawPages(bytes, walker.fonts, settings, sink, notDrawn, error);
    Require(pixels <= kPixelBudget, "pages beyond the pixel budget");
    return 0;
}
