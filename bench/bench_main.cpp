// SPDX-License-Identifier: MIT
// Whole exported download calls on large and small fonts.
//
// Every benchmark times one FNDLFontDownloadW (or FNDLGlyphRunW) call per
// iteration (manual time: the calling thread's CPU time in the call alone):
// a first request runs on a fresh session (the font is removed again, and
// the output file emptied, outside the timing); a
// repeat request runs on a session that already sent all its characters.
// The cursor starts at the top left, where every text fits on the page, so
// each call sets its whole text (result 0).
//
// Like GDI, the platform layer keeps recently realized fonts (FreeType face,
// hinted glyph metrics) after their logical fonts are deleted, and the
// library keeps the glyphs it converted from a CFF font, so first requests
// after the first one measure the cover page from kept metrics and send
// kept glyphs; BM_FirstRequest_CJK500_DC_ColdMetrics and
// BM_FirstRequest_CJK500_CFF_DC_ColdMetrics show the cost without them.
//
// scripts/bench.sh runs each benchmark in a process of its own: malloc's
// thresholds adapt to the blocks a process frees, which would otherwise
// make one benchmark's page faults depend on the benchmarks before it.
#include <benchmark/benchmark.h>

#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_io_replay.h"
#include "bench_requests.h"
#include "download/download.h"
#include "platform/platform_hooks.h"

namespace {

constexpr int kFontId = 0x51;
constexpr size_t kLongText = 500;
constexpr size_t kShortText = 50;

const std::u16string &CjkText()
{
    static const std::u16string text = JapaneseText(kIpaGothicPath, kLongText);
    return text;
}

// The calling thread's CPU time in seconds (user and system: the file
// calls' kernel time counts): the timings do not depend on what else the
// machine runs.
double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The font and text of a benchmark; false (the benchmark reports why) when
// the machine lacks the font.
bool CheckFont(benchmark::State &state, const char *szPath, const char *szPackage)
{
    if (FileExists(szPath))
        return true;
    state.SkipWithError((std::string(szPath) + " is missing: apt-get install " + szPackage).c_str());
    return false;
}

bool CheckCjkText(benchmark::State &state)
{
    if (!CheckFont(state, kIpaGothicPath, "fonts-ipafont-gothic"))
        return false;
    if (CjkText().size() != kLongText) {
        state.SkipWithError("the font maps fewer than 500 of the text's characters");
        return false;
    }
    return true;
}

// One timed call; false (the benchmark reports it) unless the whole text
// was set.
int Call(BenchRequest &call) { return FNDLFontDownloadW(&call.text, &call.page); }
int Call(BenchGlyphRun &call) { return FNDLGlyphRunW(&call.run, call.glyphs.data(), &call.page); }

template <typename Request>
bool TimedDownload(benchmark::State &state, const Request &request)
{
    Request call = request; // the call writes its results back
    const double start = ThreadCpuSeconds();
    const int nResult = Call(call);
    const double end = ThreadCpuSeconds();
    state.SetIterationTime(end - start);
    if (nResult != FNDL_OK) {
        state.SkipWithError(("download call returned " + std::to_string(nResult)).c_str());
        return false;
    }
    return true;
}

// bColdMetrics: the platform drops its FreeType realizations, and the
// library its converted glyphs, before each call, so the cover page
// measures every glyph from the font file and a CFF font converts every
// glyph, as a process's first request on the font does.
template <typename Request>
void RunFirstRequests(benchmark::State &state, const Request &request,
                      const BenchOutput &output, bool bColdMetrics = false)
{
    for (auto _ : state) {
        output.Truncate();
        ResetCursor();
        if (bColdMetrics) {
            PlatformForgetFontRealizations();
            ForgetConvertedGlyphs();
        }
        const bool bOk = TimedDownload(state, request);
        EndSession(kFontId);
        if (!bOk)
            break;
    }
}

void BM_FirstRequest_CJK500_DC(benchmark::State &state)
{
    if (!CheckCjkText(state))
        return;
    BenchOutput output;
    RunFirstRequests(state, MakeBenchRequest(kIpaGothicFace, false, CjkText(), output.path, kFontId),
                     output);
}

// The same request in a font with CFF outlines: every glyph converted to
// TrueType on the way.
void BM_FirstRequest_CJK500_CFF_DC(benchmark::State &state)
{
    if (!CheckCjkText(state) || !CheckFont(state, kNotoSansCjkPath, "fonts-noto-cjk"))
        return;
    BenchOutput output;
    RunFirstRequests(state, MakeBenchRequest(kNotoSansCjkFace, false, CjkText(), output.path, kFontId),
                     output);
}

void BM_FirstRequest_CJK500_CFF_DC_ColdMetrics(benchmark::State &state)
{
    if (!CheckCjkText(state) || !CheckFont(state, kNotoSansCjkPath, "fonts-noto-cjk"))
        return;
    BenchOutput output;
    RunFirstRequests(state, MakeBenchRequest(kNotoSansCjkFace, false, CjkText(), output.path, kFontId),
                     output, true);
}

void BM_FirstRequest_CJK500_DC_ColdMetrics(benchmark::State &state)
{
    if (!CheckCjkText(state))
        return;
    BenchOutput output;
    RunFirstRequests(state, MakeBenchRequest(kIpaGothicFace, false, CjkText(), output.path, kFontId),
                     output, true);
}

void BM_FirstRequest_CJK500_File(benchmark::State &state)
{
    if (!CheckCjkText(state))
        return;
    BenchOutput output;
    RunFirstRequests(state, MakeBenchRequest(kIpaGothicPath, true, CjkText(), output.path, kFontId),
                     output);
}

// The font-file source on a CFF collection: the file's own font converted.
void BM_FirstRequest_CJK500_CFF_File(benchmark::State &state)
{
    if (!CheckCjkText(state) || !CheckFont(state, kNotoSansCjkPath, "fonts-noto-cjk"))
        return;
    BenchOutput output;
    RunFirstRequests(state, MakeBenchRequest(kNotoSansCjkPath, true, CjkText(), output.path, kFontId),
                     output);
}

void BM_FirstRequest_CJK50_DC(benchmark::State &state)
{
    if (!CheckCjkText(state))
        return;
    BenchOutput output;
    RunFirstRequests(state,
                     MakeBenchRequest(kIpaGothicFace, false, CjkText().substr(0, kShortText),
                                      output.path, kFontId),
                     output);
}

template <typename Request>
void RunRepeatRequests(benchmark::State &state, const Request &request, const BenchOutput &output)
{
    ResetCursor();
    Request first = request;
    if (Call(first) != FNDL_OK) {
        state.SkipWithError("the first request failed");
        EndSession(kFontId);
        return;
    }
    for (auto _ : state) {
        output.Truncate();
        ResetCursor();
        if (!TimedDownload(state, request))
            break;
    }
    EndSession(kFontId);
}

void BM_Repeat_CJK500_DC(benchmark::State &state)
{
    if (!CheckCjkText(state))
        return;
    BenchOutput output;
    RunRepeatRequests(state, MakeBenchRequest(kIpaGothicFace, false, CjkText(), output.path, kFontId),
                      output);
}

// A shaped run of 500 Devanagari glyphs through the glyph call, against the
// text call on 500 CJK characters.
bool CheckDevanagariRun(benchmark::State &state, std::vector<FNDL_GLYPH> &run)
{
    if (!CheckFont(state, kNotoDevanagariPath, "fonts-noto-core"))
        return false;
    run = ShapedRun(kNotoDevanagariPath, kLongText);
    if (run.size() != kLongText) {
        state.SkipWithError("the font has fewer than 500 glyphs with outlines");
        return false;
    }
    return true;
}

void BM_FirstRequest_Glyphs500_DC(benchmark::State &state)
{
    std::vector<FNDL_GLYPH> run;
    if (!CheckDevanagariRun(state, run))
        return;
    BenchOutput output;
    RunFirstRequests(state, MakeBenchGlyphRun(kNotoDevanagariFace, false, run, output.path, kFontId),
                     output);
}

void BM_Repeat_Glyphs500_DC(benchmark::State &state)
{
    std::vector<FNDL_GLYPH> run;
    if (!CheckDevanagariRun(state, run))
        return;
    BenchOutput output;
    RunRepeatRequests(state, MakeBenchGlyphRun(kNotoDevanagariFace, false, run, output.path, kFontId),
                      output);
}

// The glyphs of the same 500 CJK characters in the same font through the
// glyph call: the cost of the call itself, font for font.
void BM_FirstRequest_CJKGlyphs500_DC(benchmark::State &state)
{
    if (!CheckCjkText(state))
        return;
    BenchOutput output;
    RunFirstRequests(state,
                     MakeBenchGlyphRun(kIpaGothicFace, false, GlyphsOfText(kIpaGothicPath, CjkText()),
                                       output.path, kFontId),
                     output);
}

void BM_Repeat_CJKGlyphs500_DC(benchmark::State &state)
{
    if (!CheckCjkText(state))
        return;
    BenchOutput output;
    RunRepeatRequests(state,
                      MakeBenchGlyphRun(kIpaGothicFace, false, GlyphsOfText(kIpaGothicPath, CjkText()),
                                        output.path, kFontId),
                      output);
}

void BM_FirstRequest_Latin500_DC(benchmark::State &state)
{
    if (!CheckFont(state, kDejaVuSansPath, "fonts-dejavu-core"))
        return;
    BenchOutput output;
    RunFirstRequests(state,
                     MakeBenchRequest(kDejaVuSansFace, false, LatinText(kLongText), output.path, kFontId),
                     output);
}

// Inter Bold, a named instance of a variable font: its glyphs and metrics
// are made by the library's variation engine (every glyph varied once for
// hmtx), against the same instance made static by fontTools' instancer and
// downloaded from its file, and the variable font's default instance (its
// glyf as it stands). Cold metrics: a process's first request on the font.
constexpr const char *kInterRomanPath = "/usr/share/fonts/truetype/inter-vf/Inter-roman.var.ttf";

void BM_FirstRequest_Latin500_InterBold_DC(benchmark::State &state)
{
    if (!CheckFont(state, kInterRomanPath, "fonts-inter-variable"))
        return;
    BenchOutput output;
    BenchRequest request = MakeBenchRequest("Inter", false, LatinText(kLongText), output.path, kFontId);
    request.page.lfWeight = 700;
    RunFirstRequests(state, request, output, true);
}

// The same with the platform's realizations kept from the request before
// (as GDI keeps recently realized fonts): the instance's glyph metrics are
// measured once per process.
void BM_FirstRequest_Latin500_InterBold_DC_WarmMetrics(benchmark::State &state)
{
    if (!CheckFont(state, kInterRomanPath, "fonts-inter-variable"))
        return;
    BenchOutput output;
    BenchRequest request = MakeBenchRequest("Inter", false, LatinText(kLongText), output.path, kFontId);
    request.page.lfWeight = 700;
    RunFirstRequests(state, request, output);
}

void BM_FirstRequest_Latin500_InterRegular_DC(benchmark::State &state)
{
    if (!CheckFont(state, kInterRomanPath, "fonts-inter-variable"))
        return;
    BenchOutput output;
    RunFirstRequests(state, MakeBenchRequest("Inter", false, LatinText(kLongText), output.path, kFontId),
                     output, true);
}

void BM_FirstRequest_Latin500_InterBoldStatic_File(benchmark::State &state)
{
    if (!CheckFont(state, kInterRomanPath, "fonts-inter-variable"))
        return;
    BenchOutput output;
    const std::string staticPath = output.path + ".ttf";
    const std::string make = std::string("/usr/bin/python3 -m fontTools.varLib.instancer -q ") +
                             kInterRomanPath + " wght=700 -o " + staticPath;
    if (std::system(make.c_str()) != 0) {
        state.SkipWithError("fontTools' instancer failed: apt-get install python3-fonttools");
        return;
    }
    RunFirstRequests(state, MakeBenchRequest(staticPath, true, LatinText(kLongText), output.path, kFontId),
                     output, true);
    std::remove(staticPath.c_str());
}

// Requests that switch among N fonts (5 families, regular and bold, upright
// and italic, from the device context), each font downloaded once before
// the timing: one iteration is a line of Latin text in each of the N fonts
// in turn. The time per request of N = 20 against N = 5 shows whether the
// platform keeps every font realized and read, as a job of many fonts needs.
void BM_FontSwitch(benchmark::State &state)
{
    static const char *const kFamilies[] = {"DejaVu Sans", "Noto Sans", "DejaVu Serif", "Noto Serif",
                                            "Noto Sans Display"};
    if (!CheckFont(state, kDejaVuSansPath, "fonts-dejavu-core") ||
        !CheckFont(state, "/usr/share/fonts/truetype/noto/NotoSansDisplay-BoldItalic.ttf", "fonts-noto-core"))
        return;
    const auto nFonts = static_cast<size_t>(state.range(0));
    BenchOutput output;
    std::vector<BenchRequest> requests;
    for (size_t k = 0; k < nFonts; ++k) {
        BenchRequest request = MakeBenchRequest(kFamilies[k % 5], false, LatinText(60), output.path,
                                                kFontId + static_cast<int>(k));
        request.page.lfWeight = (k / 5) % 2 != 0 ? 700 : 400;
        request.page.lfItalic = k / 10 != 0 ? 1 : 0;
        requests.push_back(request);
    }
    auto round = [&]() {
        for (const BenchRequest &request : requests) {
            ResetCursor();
            BenchRequest call = request;
            if (Call(call) != FNDL_OK)
                return false;
        }
        return true;
    };
    bool bOk = round(); // every font downloaded
    for (auto _ : state) {
        if (!bOk)
            break;
        output.Truncate();
        const double start = ThreadCpuSeconds();
        bOk = round();
        const double end = ThreadCpuSeconds();
        state.SetIterationTime((end - start) / static_cast<double>(nFonts));
    }
    if (!bOk)
        state.SkipWithError("a request failed");
    for (size_t k = 0; k < nFonts; ++k)
        EndSession(kFontId + static_cast<int>(k));
}

// The file calls of BM_FirstRequest_CJK500_DC's request, recorded once from
// a real request.
bool RecordCjk500Request(RecordedRequest &recorded)
{
    BenchOutput output;
    BenchRequest request = MakeBenchRequest(kIpaGothicFace, false, CjkText(), output.path, kFontId);
    ResetCursor();
    StartRecordingFileCalls();
    const int nResult = FNDLFontDownloadW(&request.text, &request.page);
    recorded.calls = StopRecordingFileCalls();
    recorded.bytes = output.Read();
    EndSession(kFontId);
    // Every byte of the request went through the recorded calls.
    size_t nWritten = 0;
    for (const FileCall &call : recorded.calls)
        nWritten += call.nBytes;
    return nResult == FNDL_OK && nWritten > 0 && nWritten == recorded.bytes.size();
}

void BM_IOReplay_CJK500(benchmark::State &state)
{
    if (!CheckCjkText(state))
        return;
    RecordedRequest recorded;
    if (!RecordCjk500Request(recorded)) {
        state.SkipWithError("recording the request's file calls failed");
        return;
    }
    BenchOutput output;
    size_t nFlushes = 0;
    for (const FileCall &call : recorded.calls)
        nFlushes += call.bFlush ? 1 : 0;
    for (auto _ : state) {
        output.Truncate();
        const double start = ThreadCpuSeconds();
        const bool bOk = ReplayFileCalls(output.path, recorded);
        const double end = ThreadCpuSeconds();
        state.SetIterationTime(end - start);
        if (!bOk) {
            state.SkipWithError("replaying the file calls failed");
            break;
        }
    }
    state.SetLabel(std::to_string(recorded.calls.size() - nFlushes) + " fwrite " +
                   std::to_string(nFlushes) + " fflush " + std::to_string(recorded.bytes.size()) +
                   " bytes");
}

// The floor of BM_FirstRequest_CJK500_DC: the same bytes in one fwrite to
// the same kind of file (fopen "ab", fwrite, fclose). The first request is
// measured against it; BM_IOReplay_CJK500 keeps the file calls a request
// makes.
void BM_IOOneWrite_CJK500(benchmark::State &state)
{
    if (!CheckCjkText(state))
        return;
    RecordedRequest recorded;
    if (!RecordCjk500Request(recorded)) {
        state.SkipWithError("recording the request's bytes failed");
        return;
    }
    recorded.calls = {FileCall{false, recorded.bytes.size()}};
    BenchOutput output;
    for (auto _ : state) {
        output.Truncate();
        const double start = ThreadCpuSeconds();
        const bool bOk = ReplayFileCalls(output.path, recorded);
        const double end = ThreadCpuSeconds();
        state.SetIterationTime(end - start);
        if (!bOk) {
            state.SkipWithError("writing the bytes failed");
            break;
        }
    }
    state.SetLabel("1 fwrite " + std::to_string(recorded.bytes.size()) + " bytes");
}

} // namespace

BENCHMARK(BM_FirstRequest_CJK500_DC)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstRequest_CJK500_CFF_DC)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstRequest_CJK500_CFF_DC_ColdMetrics)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstRequest_CJK500_DC_ColdMetrics)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstRequest_CJK500_File)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstRequest_CJK500_CFF_File)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstRequest_CJK50_DC)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Repeat_CJK500_DC)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstRequest_Glyphs500_DC)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Repeat_Glyphs500_DC)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstRequest_CJKGlyphs500_DC)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Repeat_CJKGlyphs500_DC)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstRequest_Latin500_DC)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstRequest_Latin500_InterBold_DC)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstRequest_Latin500_InterBold_DC_WarmMetrics)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstRequest_Latin500_InterRegular_DC)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstRequest_Latin500_InterBoldStatic_File)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IOReplay_CJK500)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IOOneWrite_CJK500)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FontSwitch)->Arg(5)->Arg(20)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
