// SPDX-License-Identifier: MIT
// Whole jobs through the fndl tool: a text of many pages set by 'fndl job',
// run as a subprocess. The time is the child's CPU time (user and system),
// so that the cost of the text shows apart from the machine's other load;
// the counter "per_page" divides it by the pages. Eight times the text must
// cost at most about nine times the CPU (scripts/bench.sh checks
// WholeJob/80 against WholeJob/10).
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "support/requests.h"

#ifdef FNDL_TOOL_PATH

namespace {

// Lines of 12 words; 53 lines fill an A4 page at 12 pt and 600 dpi.
constexpr int kLinesPerPage = 53;
constexpr int kWordsPerLine = 12;

std::string JobText(long pages)
{
    static const char *const kWords[] = {"soft", "font", "printer", "glyph", "header",
                                         "page", "cover", "d\xC3\xA9j\xC3\xA0", "text",
                                         "line", "gr\xC3\xB6\xC3\x9F" "er", "job"};
    std::string text;
    unsigned next = 1;
    for (long line = 0; line < pages * kLinesPerPage; ++line) {
        for (int word = 0; word < kWordsPerLine; ++word) {
            next = next * 1103515245u + 12345u;
            text += kWords[(next >> 16) % 12];
            text += word + 1 < kWordsPerLine ? ' ' : '\n';
        }
    }
    return text;
}

double ChildCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_WholeJob(benchmark::State &state)
{
    const long pages = state.range(0);
    TempPath textFile(".txt");
    const std::string text = JobText(pages);
    textFile.Write(std::vector<uint8_t>(text.begin(), text.end()));
    TempPath job(".pxl");
    const std::string command = std::string(FNDL_TOOL_PATH) + " job -q --text-file " +
                                textFile.path + " -o " + job.path;
    for (auto _ : state) {
        const double before = ChildCpuSeconds();
        const int status = std::system(command.c_str());
        state.SetIterationTime(ChildCpuSeconds() - before);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("fndl job failed");
            return;
        }
    }
    state.counters["per_page"] = benchmark::Counter(
        static_cast<double>(pages), benchmark::Counter::kIsIterationInvariantRate |
                                        benchmark::Counter::kInvert);
}

BENCHMARK(BM_WholeJob)->Arg(10)->Arg(80)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

#endif // FNDL_TOOL_PATH
