// SPDX-License-Identifier: MIT
// Faults across whole calls: every allocation failing in turn, output files
// that refuse writes part-way, the caller's bytes already in the file, and
// long runs of downloads and removals.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "session/session.h"
#include "platform/platform_hooks.h"
#include "qorvfndl.h"
#include "support/fontbuilder.h"
#include "support/requests.h"
#include "xldecode/xldecode.h"

namespace {

// Composite glyphs (é, ǖ with a nested ü, ё) and enough text for two or
// three lines whichever source measures it.
const std::string kLongText =
    "Zoë é ǖ ё: a cover page text long enough to take two or three lines on the page, "
    "with composite glyphs in it and a few more words to be sure of the break.";

struct FaultTest : ::testing::Test {
    void SetUp() override { ResetLibraryState(); }
    void TearDown() override
    {
        PlatformFailNthAllocation(0);
        PlatformServeFontData(nullptr, 0);
        ResetLibraryState();
    }
};

std::string FontFor(bool fromFile) { return fromFile ? kDejaVuSans : "DejaVu Sans"; }

int Download(const std::string &font, const std::string &path, const std::string &text, int id,
             bool fromFile, int underline = 0)
{
    WideRequest r = MakeWideRequest(font, path, text, id, fromFile);
    r.text.bUnderline = underline;
    return FNDLFontDownloadW(&r.text, &r.page);
}

void RemoveAll(std::initializer_list<int> ids)
{
    for (int id : ids)
        FNDLRemoveFontW(&id);
}

std::vector<uint8_t> From(const std::vector<uint8_t> &bytes, size_t start)
{
    return std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(std::min(start, bytes.size())),
                                bytes.end());
}

bool Decodes(const std::vector<uint8_t> &bytes, std::vector<XLOperation> *ops = nullptr)
{
    std::vector<XLOperation> local;
    XLDecodeError error;
    return XLDecodeOperations(bytes, ops ? *ops : local, error);
}

long OpenDescriptors()
{
    long n = 0;
    if (DIR *dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr)
            ++n;
        closedir(dir);
    }
    return n;
}

// Runs call with writes to regular files limited to limit bytes. SIGXFSZ is
// ignored, so a write past the limit fails with EFBIG instead of killing us.
void WithFileSizeLimit(rlim_t limit, const std::function<void()> &call)
{
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    ASSERT_GE(old.rlim_max, limit);
    auto previousHandler = signal(SIGXFSZ, SIG_IGN);
    const rlimit limited{limit, old.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    call();
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, previousHandler);
}

} // namespace

// Every allocation of a realistic call fails in turn, for a new session and
// for a second font id in an open one: the call fails, or reports success
// with exactly the bytes of a sound call; nothing leaks, and the next call on
// the state it left works.
TEST_F(FaultTest, EveryAllocationOfARealisticCallFailingInTurn)
{
    for (bool fromFile : {true, false}) {
        for (bool secondId : {false, true}) {
            SCOPED_TRACE(std::string(fromFile ? "font file" : "device context") +
                         (secondId ? ", second id" : ", new session"));
            const std::string font = FontFor(fromFile);
            const long baseline = PlatformLiveAllocations();
            const int id = secondId ? 2 : 1;
            // Opens the session with font id 1 when the call under test is the second id.
            auto prepare = [&](const TempPath &out) {
                if (secondId) {
                    ASSERT_EQ(Download(font, out.path, "Hello", 1, fromFile), FNDL_OK);
                }
            };

            TempPath reference;
            prepare(reference);
            const size_t referenceStart = reference.Read().size();
            const long before = PlatformAllocationCount();
            ASSERT_EQ(Download(font, reference.path, kLongText, id, fromFile, 1), FNDL_OK);
            const long allocations = PlatformAllocationCount() - before;
            const std::vector<uint8_t> expected = From(reference.Read(), referenceStart);
            ASSERT_TRUE(Decodes(expected));
            RemoveAll({1, 2});
            ResetLibraryState();
            ASSERT_GT(allocations, 10);

            for (long n = 1; n <= allocations; ++n) {
                TempPath out;
                prepare(out);
                const std::vector<uint8_t> before = out.Read();
                const size_t start = before.size();
                PlatformFailNthAllocation(n);
                const int result = Download(font, out.path, kLongText, id, fromFile, 1);
                PlatformFailNthAllocation(0);
                if (result == FNDL_OK) {
                    EXPECT_TRUE(From(out.Read(), start) == expected)
                        << "allocation " << n << " of " << allocations << " reported success with other bytes";
                } else {
                    EXPECT_EQ(result, FNDL_DOWNLOAD_FAILURE) << "allocation " << n;
                    EXPECT_TRUE(out.Read() == before) << "allocation " << n << ": a failed call leaves the file";
                }

                const size_t next = out.Read().size();
                EXPECT_EQ(Download(font, out.path, "ok", id, fromFile), FNDL_OK) << "after allocation " << n;
                EXPECT_TRUE(Decodes(From(out.Read(), next))) << "after allocation " << n;
                RemoveAll({1, 2});
                EXPECT_EQ(g_pSession, nullptr);
                ResetLibraryState();
                EXPECT_EQ(PlatformLiveAllocations(), baseline) << "allocation " << n << " leaked";
                EXPECT_EQ(PlatformLiveGdiObjects(), 0) << "allocation " << n;
                if (HasFailure())
                    return;
            }
        }
    }
}

// The output file stops taking bytes part-way (the file-size limit reached
// in the font header, in the characters, in the cover page fragments): the
// call fails, forgets the session and cuts the file back to the caller's bytes.
TEST_F(FaultTest, OutputThatStopsTakingBytesPartWayFailsTheCall)
{
    const std::vector<uint8_t> prefix(777, 0x5A);
    const long baseline = PlatformLiveAllocations();
    for (bool fromFile : {true, false}) {
        SCOPED_TRACE(fromFile ? "font file" : "device context");
        const std::string font = FontFor(fromFile);
        TempPath reference;
        reference.Write(prefix);
        ASSERT_EQ(Download(font, reference.path, kLongText, 1, fromFile, 1), FNDL_OK);
        const std::vector<uint8_t> written = From(reference.Read(), prefix.size());
        ResetLibraryState();
        std::vector<XLOperation> ops;
        ASSERT_TRUE(Decodes(written, &ops));

        // At every operator byte (its attributes are out, it is not), in the
        // middle of every embedded data block, and one byte short of the end.
        std::vector<size_t> cuts;
        bool sawHeader = false, sawChar = false, sawText = false;
        for (const XLOperation &op : ops) {
            cuts.push_back(op.offset);
            if (op.hasData)
                cuts.push_back(op.offset + 3 + op.data.size() / 2);
            sawHeader = sawHeader || op.op == 0x50; // ReadFontHeader
            sawChar = sawChar || op.op == 0x53;     // ReadChar
            sawText = sawText || op.op == 0xA8;     // Text
        }
        ASSERT_TRUE(sawHeader && sawChar && sawText);
        cuts.push_back(written.size() - 1);
        for (size_t cut : cuts) {
            TempPath out;
            out.Write(prefix);
            int result = -1;
            WithFileSizeLimit(prefix.size() + cut, [&] { result = Download(font, out.path, kLongText, 1, fromFile, 1); });
            EXPECT_EQ(result, FNDL_DOWNLOAD_FAILURE) << "limit at byte " << cut << " of " << written.size();
            EXPECT_EQ(g_pSession, nullptr) << "limit at byte " << cut;
            EXPECT_TRUE(out.Read() == prefix) << "limit at byte " << cut << ": the file as the call found it";
            EXPECT_EQ(Download(font, out.path, "ok", 1, fromFile), FNDL_OK) << "after the limit at byte " << cut;
            RemoveAll({1});
            ResetLibraryState();
            EXPECT_EQ(PlatformLiveAllocations(), baseline);
            EXPECT_EQ(PlatformLiveGdiObjects(), 0);
            if (HasFailure())
                return;
        }
    }
}

// Downloads and removals only ever append: the caller's bytes and the
// library's earlier bytes stay as they were, also when a removal's write
// fails.
TEST_F(FaultTest, CallsOnlyAppendToTheOutputFile)
{
    std::vector<uint8_t> prefix;
    for (int i = 0; i < 3000; ++i)
        prefix.push_back(static_cast<uint8_t>(i * 7));
    TempPath out;
    out.Write(prefix);
    std::vector<uint8_t> expected = prefix;
    auto checkAppended = [&](const char *step) {
        const std::vector<uint8_t> got = out.Read();
        ASSERT_GE(got.size(), expected.size()) << step;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), got.begin())) << step;
        expected = got;
    };
    ASSERT_EQ(Download(kDejaVuSans, out.path, "First call", 1, true), FNDL_OK);
    checkAppended("first download");
    ASSERT_EQ(Download("DejaVu Sans", out.path, kLongText, 2, false, 1), FNDL_OK);
    checkAppended("second download");
    RemoveAll({1});
    checkAppended("first removal");
    WithFileSizeLimit(expected.size() + 3, [] { RemoveAll({2}); });
    EXPECT_EQ(g_pSession, nullptr);
    checkAppended("removal that cannot write");
    ASSERT_EQ(Download(kDejaVuSans, out.path, "Again", 1, true), FNDL_OK);
    checkAppended("download in a new session");
    // A call whose file refuses every byte ends the session it continued.
    EXPECT_EQ(Download(kDejaVuSans, "/dev/full", "x", 4, true), FNDL_DOWNLOAD_FAILURE);
    EXPECT_EQ(g_pSession, nullptr);
    RemoveAll({1});
    checkAppended("removal after the session ended");
    EXPECT_EQ(out.Read(), expected);
}

// Many download/remove cycles over several fonts, sources and ids: memory,
// GDI objects and file descriptors stay flat. Small synthetic fonts carry
// most cycles; DejaVu Sans (both sources) some of them.
TEST_F(FaultTest, ManyDownloadRemoveCyclesKeepResourcesFlat)
{
    std::vector<Bytes> glyphs = {MakeSimpleGlyph({{0, 0}, {500, 0}, {500, 700}}), Bytes{}};
    for (int16_t i = 2; i < 97; ++i)
        glyphs.push_back(MakeSimpleGlyph({{0, 0}, {static_cast<int16_t>(8 * i), 700}, {900, 0}}));
    glyphs.push_back(MakeCompositeOf({'e' - 0x1F, 2}));
    const std::vector<CmapSegment> cmap = {{0x20, 0x7E, -0x1F}, {0xE9, 0xE9, 97 - 0xE9}};
    const Bytes shortLoca = BuildFont(MakeSampleFont({.glyphs = glyphs, .unicodeSegments = cmap}));
    const Bytes longLoca = BuildFont(MakeSampleFont({.glyphs = glyphs, .longLoca = true, .unicodeSegments = cmap}));
    const TempFile shortFile(shortLoca), longFile(longLoca);

    TempPath out;
    const long baseline = PlatformLiveAllocations();
    const long descriptors = OpenDescriptors();
    constexpr int kCycles = 10000;
    for (int i = 0; i < kCycles; ++i) {
        const int first = i % 7, second = 100 + i % 5;
        const bool dejaVu = i % 250 == 0;
        const std::string &file = i % 2 ? shortFile.path : longFile.path;
        ASSERT_EQ(Download(dejaVu ? kDejaVuSans : file, out.path, "Hé", first, true), FNDL_OK) << i;
        const bool byName = i % 1000 == 500;
        PlatformServeFontData(byName ? nullptr : longLoca.data(), longLoca.size());
        ASSERT_EQ(Download(byName ? "DejaVu Sans" : "Served", out.path, "aé!", second, false, i % 3 == 0),
                  FNDL_OK) << i;
        RemoveAll({first, second});
        ASSERT_EQ(g_pSession, nullptr) << i;
        if (i % 100 == 0) {
            std::remove(out.path.c_str());
            ASSERT_EQ(PlatformLiveAllocations(), baseline) << i;
            ASSERT_EQ(PlatformLiveGdiObjects(), 0) << i;
        }
    }
    ResetLibraryState();
    EXPECT_EQ(PlatformLiveAllocations(), baseline);
    EXPECT_EQ(PlatformLiveGdiObjects(), 0);
    EXPECT_EQ(OpenDescriptors(), descriptors);
}

// Two threads of a print service call at the same time: each call runs
// whole, one after the other, on the one session.
TEST_F(FaultTest, OverlappingCallsFromTwoThreadsTakeTurns)
{
    const long baseline = PlatformLiveAllocations();
    TempPath outputs[2];
    int failures[2] = {0, 0};
    auto work = [&](int nThread) {
        for (int i = 0; i < 200; ++i) {
            const int id = 10 * nThread + i % 3;
            failures[nThread] += Download(kDejaVuSans, outputs[nThread].path, "Hé", id, true) == FNDL_DOWNLOAD_FAILURE;
            if (i % 3 == 2)
                RemoveAll({10 * nThread, 10 * nThread + 1, 10 * nThread + 2});
            int x = i, y = 100 + i;
            FNDLSetCursor(&x, &y);
            FNDLGetCursor();
        }
    };
    std::thread other(work, 1);
    work(0);
    other.join();
    EXPECT_EQ(failures[0] + failures[1], 0);
    for (const TempPath &out : outputs)
        EXPECT_TRUE(Decodes(out.Read()));
    ResetLibraryState();
    EXPECT_EQ(PlatformLiveAllocations(), baseline);
    EXPECT_EQ(PlatformLiveGdiObjects(), 0);

    // The process ends while another thread is still calling: exit frees
    // nothing the calls use (a sanitizer build reports a race or a use
    // after free otherwise; this one alone exits with an error).
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::thread([&] {
            for (int i = 0;; ++i) {
                Download(kDejaVuSans, outputs[0].path, "Hé", 1 + i % 2, true);
                RemoveAll({1, 2});
            }
        }).detach();
        usleep(50000);
        exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
