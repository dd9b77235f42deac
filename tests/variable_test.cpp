// SPDX-License-Identifier: MIT
// Variable fonts: a face name with a weight and slant prints the named
// instance fontconfig picks. Inter's instances, printed by face name, are
// compared at 300 dpi with the same instances made static by fontTools'
// instancer and printed from their files.
#include <gtest/gtest.h>

#include <png.h>

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <filesystem>
#include <string>
#include <vector>

#include "download/download.h"
#include "platform/platform_hooks.h"
#include "support/requests.h"
#include "support/toolrun.h"

#ifdef FNDL_TOOL_PATH

namespace {

constexpr const char *kInterRoman = "/usr/share/fonts/truetype/inter-vf/Inter-roman.var.ttf";
constexpr const char *kInterItalic = "/usr/share/fonts/truetype/inter-vf/Inter-italic.var.ttf";
constexpr const char *kPython = "/usr/bin/python3";
constexpr const char *kText = "Hamburgefonstiv Qy 0123 &%@";

// Pixels with ink (darker than half) of a page image.
std::vector<bool> ReadInk(const std::string &path, int &width, int &height)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    std::vector<bool> ink;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        ADD_FAILURE() << path << ": " << image.message;
        return ink;
    }
    image.format = PNG_FORMAT_GRAY;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr));
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    ink.reserve(pixels.size());
    for (const uint8_t value : pixels)
        ink.push_back(value < 128);
    return ink;
}

// The job's first page at 300 dpi, as ink.
std::vector<bool> PrintedInk(const std::vector<std::string> &fontOptions)
{
    TempPath job(".pxl");
    TempPath png(".png");
    std::vector<std::string> args = {"job", "--text", kText, "--height", "240", "-o", job.path};
    args.insert(args.begin() + 1, fontOptions.begin(), fontOptions.end());
    ToolRun run = RunTool(args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    run = RunTool({"preview", job.path, "--dpi", "300", "--page", "1", "-o", png.path});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    int width = 0, height = 0;
    return ReadInk(png.path, width, height);
}

double IntersectionOverUnion(const std::vector<bool> &a, const std::vector<bool> &b)
{
    if (a.size() != b.size())
        return 0;
    long both = 0, either = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        both += a[i] && b[i];
        either += a[i] || b[i];
    }
    return either ? double(both) / double(either) : 0;
}

// Makes static instances of a variable font, subset to the test's text so
// that the instancer has little to do: python3 SCRIPT SOURCE TEXT
// wght=700:OUT ...
constexpr const char *kMakeStatic = R"(import sys
from fontTools.ttLib import TTFont
from fontTools import subset
from fontTools.varLib import instancer
source, text = sys.argv[1], sys.argv[2]
for pair in sys.argv[3:]:
    axes, out = pair.split(':', 1)
    font = TTFont(source)
    options = subset.Options()
    options.name_IDs = ['*']
    options.notdef_outline = True
    subsetter = subset.Subsetter(options)
    subsetter.populate(text=text)
    subsetter.subset(font)
    location = {a.split('=')[0]: float(a.split('=')[1]) for a in axes.split(',')}
    instancer.instantiateVariableFont(font, location, inplace=True)
    font.save(out)
)";

bool HaveInstancer()
{
    const std::string probe = std::string(kPython) + " -c 'import fontTools.varLib.instancer' 2>/dev/null";
    return std::system(probe.c_str()) == 0;
}

} // namespace

TEST(VariableFont, AnInstanceIsAnotherFontUnderTheSameId)
{
    if (!std::filesystem::exists(kInterRoman))
        GTEST_SKIP() << "Inter's variable fonts are not installed (fonts-inter-variable)";
    ResetLibraryState();
    TempPath out(".pxl");
    WideRequest regular = MakeWideRequest("Inter", out.path, "Hamburg", 7, false);
    ASSERT_EQ(FNDLFontDownloadW(&regular.text, &regular.page), FNDL_OK);
    const std::vector<uint8_t> sent = out.Read();
    // Bold under the id that holds Regular: refused, nothing written.
    WideRequest bold = MakeWideRequest("Inter", out.path, "Hamburg", 7, false);
    bold.page.lfWeight = 700;
    EXPECT_EQ(FNDLFontDownloadW(&bold.text, &bold.page), FNDL_DOWNLOAD_FAILURE);
    EXPECT_EQ(out.Read(), sent);
    ResetLibraryState();
    // Under an id of its own it goes out, with more ink than Regular has.
    TempPath boldOut(".pxl");
    bold = MakeWideRequest("Inter", boldOut.path, "Hamburg", 8, false);
    bold.page.lfWeight = 700;
    EXPECT_EQ(FNDLFontDownloadW(&bold.text, &bold.page), FNDL_OK);
    EXPECT_NE(boldOut.Read(), sent);
    ResetLibraryState();
}

// Every allocation of an instance's first request fails in turn (the
// variation engine's tables and scratch among them): the call fails and
// leaves the file, or sends exactly the bytes of a sound call; nothing leaks.
TEST(VariableFont, AnInstanceWithMemoryRunningOutAnywhere)
{
    if (!std::filesystem::exists(kInterRoman))
        GTEST_SKIP() << "Inter's variable fonts are not installed (fonts-inter-variable)";
    const auto BoldRequest = [](const TempPath &out) {
        WideRequest bold = MakeWideRequest("Inter", out.path, "Hamburgefonstiv \u00e9", 3, false);
        bold.page.lfWeight = 700;
        return FNDLFontDownloadW(&bold.text, &bold.page);
    };
    ResetLibraryState();
    ForgetConvertedGlyphs();
    const long baseline = PlatformLiveAllocations();
    TempPath reference;
    const long before = PlatformAllocationCount();
    ASSERT_EQ(BoldRequest(reference), FNDL_OK);
    const long allocations = PlatformAllocationCount() - before;
    const std::vector<uint8_t> expected = reference.Read();
    ResetLibraryState();
    ForgetConvertedGlyphs(); // each call varies the instance afresh
    for (long n = 1; n <= allocations && !HasFailure(); ++n) {
        TempPath out;
        PlatformFailNthAllocation(n);
        const int result = BoldRequest(out);
        PlatformFailNthAllocation(0);
        if (result == FNDL_OK)
            EXPECT_TRUE(out.Read() == expected) << "allocation " << n << " of " << allocations;
        else
            EXPECT_TRUE(out.Read().empty()) << "allocation " << n;
        ResetLibraryState();
        // A refused instance falls back to conversion, whose blocks the
        // process keeps: let them go before counting.
        ForgetConvertedGlyphs();
        EXPECT_EQ(PlatformLiveAllocations(), baseline) << "allocation " << n << " leaked";
    }
}

// The process keeps an instance's header and varied glyphs: a request in a
// fresh session sends the first one's bytes without varying them again (a
// store keyed by the head alone would give Black the Bold's).
TEST(VariableFont, AKeptInstanceSendsTheSameBytesWithoutVaryingAgain)
{
    if (!std::filesystem::exists(kInterRoman))
        GTEST_SKIP() << "Inter's variable fonts are not installed (fonts-inter-variable)";
    const auto Request = [](const TempPath &out, int nWeight, long &allocations) {
        WideRequest request = MakeWideRequest("Inter", out.path, "Hamburgefonstiv \u00e9", 3, false);
        request.page.lfWeight = nWeight;
        const long before = PlatformAllocationCount();
        const int result = FNDLFontDownloadW(&request.text, &request.page);
        allocations = PlatformAllocationCount() - before;
        ResetLibraryState();
        return result;
    };
    ResetLibraryState();
    ForgetConvertedGlyphs();
    TempPath first, again, black;
    long firstAllocations = 0, againAllocations = 0, blackAllocations = 0;
    ASSERT_EQ(Request(first, 700, firstAllocations), FNDL_OK);
    ASSERT_EQ(Request(again, 700, againAllocations), FNDL_OK);
    EXPECT_EQ(again.Read(), first.Read());
    // Varying allocates the header's tables and a kept copy of each glyph.
    EXPECT_LT(againAllocations + 20, firstAllocations);
    // Another instance of the same font is varied for itself.
    ASSERT_EQ(Request(black, 900, blackAllocations), FNDL_OK);
    EXPECT_NE(black.Read(), first.Read());
    EXPECT_GE(blackAllocations, firstAllocations);
    ForgetConvertedGlyphs();
}

TEST(VariableFont, NamedInstancesPrintAsTheirStaticFonts)
{
    if (!std::filesystem::exists(kInterRoman) || !std::filesystem::exists(kInterItalic))
        GTEST_SKIP() << "Inter's variable fonts are not installed (fonts-inter-variable)";
    if (!HaveInstancer())
        GTEST_SKIP() << "fontTools' instancer is not installed (python3-fonttools)";

    struct Instance {
        const char *name;
        std::vector<std::string> request; // by face name
        const char *file;
        const char *weight;
    };
    const Instance instances[] = {
        {"Regular", {"--font", "Inter"}, kInterRoman, "wght=400"},
        {"Bold", {"--font", "Inter", "--bold"}, kInterRoman, "wght=700"},
        {"Black", {"--font", "Inter", "--weight", "900"}, kInterRoman, "wght=900"},
        {"Bold Italic", {"--font", "Inter", "--bold", "--italic"}, kInterItalic, "wght=700"},
    };
    TempPath script(".py");
    script.Write(std::vector<uint8_t>(kMakeStatic, kMakeStatic + std::strlen(kMakeStatic)));
    TempPath staticFonts[std::size(instances)];
    for (const char *file : {kInterRoman, kInterItalic}) {
        std::string make = std::string(kPython) + " " + script.path + " " + file + " '" + kText + "'";
        for (size_t i = 0; i < std::size(instances); ++i)
            if (std::strcmp(instances[i].file, file) == 0)
                make += std::string(" ") + instances[i].weight + ":" + staticFonts[i].path;
        ASSERT_EQ(std::system(make.c_str()), 0) << make;
    }
    std::vector<std::vector<bool>> printed;
    for (size_t i = 0; i < std::size(instances); ++i) {
        const Instance &instance = instances[i];
        SCOPED_TRACE(instance.name);
        printed.push_back(PrintedInk(instance.request));
        const std::vector<bool> reference = PrintedInk({"--font-file", staticFonts[i].path});
        const double iou = IntersectionOverUnion(printed.back(), reference);
        RecordProperty(std::string("iou ") + instance.name, std::to_string(iou));
        EXPECT_GE(iou, 0.95);
    }
    // The weights are not all the default's.
    const double regularBold = IntersectionOverUnion(printed[0], printed[1]);
    RecordProperty("iou Regular Bold", std::to_string(regularBold));
    EXPECT_LT(regularBold, 0.9);
}

TEST(VariableFont, WhichNamesTheInstanceAndItsCoordinates)
{
    if (!std::filesystem::exists(kInterRoman))
        GTEST_SKIP() << "Inter's variable fonts are not installed (fonts-inter-variable)";
    ToolRun run = RunTool({"which", "Inter", "--bold"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, std::string(kInterRoman) +
                           "\nface index 0\nfamily Inter\nstyle Bold\ninstance Bold (named instance 7)\n"
                           "coordinates wght=700\n");
    run = RunTool({"which", "Inter"});
    EXPECT_EQ(run.out, std::string(kInterRoman) +
                           "\nface index 0\nfamily Inter\nstyle Regular\ninstance Regular (default)\n"
                           "coordinates wght=400\n");
}

TEST(VariableFont, FontFileInstanceGoesByItsFamilyWhenInstalled)
{
    if (!std::filesystem::exists(kInterRoman))
        GTEST_SKIP() << "Inter's variable fonts are not installed (fonts-inter-variable)";
    const auto Job = [](std::vector<std::string> font) {
        TempPath job(".pxl");
        std::vector<std::string> args = {"job", "--text", "Hamburgefonstiv", "-q", "-o", job.path};
        args.insert(args.end(), font.begin(), font.end());
        const ToolRun run = RunTool(args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return job.Read();
    };
    // A named instance, by name or coordinates, prints as its face name does.
    const std::vector<uint8_t> black = Job({"--font", "Inter", "--weight", "900"});
    EXPECT_EQ(Job({"--font-file", kInterRoman, "--instance", "Black"}), black);
    EXPECT_EQ(Job({"--font-file", kInterRoman, "--instance", "wght=900"}), black);
    EXPECT_EQ(Job({"--font-file", kInterRoman, "--instance", "regular"}), Job({"--font", "Inter"}));
    EXPECT_NE(Job({"--font", "Inter"}), Job({"--font", "Inter", "--bold"}));

    TempPath out(".pxl");
    ToolRun run = RunTool({"job", "--font-file", kInterRoman, "--instance", "wght=650", "-o", out.path});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("has no named instance 'wght=650'; it has Thin, Extra Light"), std::string::npos)
        << run.err;
    run = RunTool({"job", "--font", "Inter", "--instance", "Bold", "-o", out.path});
    EXPECT_EQ(run.exitCode, 2);
    // A copy fontconfig does not list is shown to it for the job: its
    // instance prints as the installed file's does.
    TempPath copy(".ttf");
    std::filesystem::copy_file(kInterRoman, copy.path, std::filesystem::copy_options::overwrite_existing);
    EXPECT_EQ(Job({"--font-file", copy.path, "--instance", "Bold"}), Job({"--font", "Inter", "--bold"}));
}

#endif
