#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the benchmarks (Release, build-bench), runs fndl_bench with
# repetitions and checks the speed targets on the medians of this run (each
# limit is the target times MARGIN, default 1.25, for a machine that runs
# other work):
#   FirstRequest_CJK500_DC <= 3 x FirstRequest_CJK50_DC
#   FirstRequest_CJK500_DC <= 3 x IOReplay_CJK500 (the file calls it made)
#   FirstRequest_CJK500_DC <= 3 x IOOneWrite_CJK500 (its bytes in one fwrite)
#   Repeat_CJK500_DC       <= 0.05 x FirstRequest_CJK500_DC
#   FirstRequest_CJK500_CFF_DC <= 1.5 x FirstRequest_CJK500_DC, warm (kept
#   metrics) and cold (ColdMetrics)
#   FontSwitch/20          <= 1.2 x FontSwitch/5 (time per request)
#   FirstRequest_Glyphs500_DC <= 1.5 x FirstRequest_CJK500_DC (a shaped run
#   of 500 Devanagari glyphs through the glyph call), and the same for
#   Repeat_Glyphs500_DC against Repeat_CJK500_DC
# Exits non-zero when a target fails. Extra arguments go to fndl_bench;
# --build-only (alone) builds it without running it.
# REPETITIONS (default 10) and MIN_TIME (seconds per repetition, default
# 0.3) tune the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
bash scripts/install-packages.sh libbenchmark-dev fonts-ipafont-gothic fonts-noto-core

cmake --preset bench >/dev/null
cmake --build --preset bench -j2
[ "${1:-}" = --build-only ] && exit 0

# One process per benchmark: glibc's malloc adapts its mmap and trim
# thresholds to the large blocks a process frees, so within one process a
# benchmark's costs (page faults on fresh memory) would depend on the ones
# that ran before it.
results=build-bench/bench-results.csv
rm -f "$results"
benchmarks=$(build-bench/bench/fndl_bench --benchmark_list_tests | sed 's|/manual_time$||')
for name in $benchmarks; do
  build-bench/bench/fndl_bench \
    --benchmark_filter="^${name}(/|\$)" \
    --benchmark_repetitions="${REPETITIONS:-10}" \
    --benchmark_min_time="${MIN_TIME:-0.3}" \
    --benchmark_report_aggregates_only=true \
    --benchmark_out="$results.part" --benchmark_out_format=csv "$@"
  if [ -f "$results" ]; then sed '1,/^name,/d' "$results.part" >> "$results"; else cat "$results.part" > "$results"; fi
done
rm -f "$results.part"

# Medians in milliseconds, by benchmark name; the first line of the CSV
# that starts with "name" is the header, errors show in error_occurred.
awk -F, -v margin="${MARGIN:-1.25}" '
  BEGIN { ok = 1 }
  /^name,/ { header = 1; next }
  !header { next }
  {
    name = $1; gsub(/"/, "", name)
    if ($9 == "true") { errors = errors "\n  " name }
    if (name !~ /_median$/) next
    sub(/\/manual_time_median$/, "", name)
    ms = $3
    if ($5 == "ns") ms = $3 / 1e6; else if ($5 == "us") ms = $3 / 1e3; else if ($5 == "s") ms = $3 * 1e3
    median[name] = ms
  }
  function check(label, value, target) {
    limit = target * margin
    status = value <= limit ? "ok" : "FAILED"
    if (value > limit) ok = 0
    printf "  %-56s %6.3f (target <= %.2f, limit %.2f)  %s\n", label, value, target, limit, status
  }
  END {
    if (errors != "") { print "benchmarks that failed:" errors; exit 1 }
    split("BM_FirstRequest_CJK500_DC BM_FirstRequest_CJK50_DC BM_IOReplay_CJK500 BM_IOOneWrite_CJK500 BM_Repeat_CJK500_DC BM_FirstRequest_CJK500_CFF_DC BM_FirstRequest_CJK500_DC_ColdMetrics BM_FirstRequest_CJK500_CFF_DC_ColdMetrics BM_FontSwitch/5 BM_FontSwitch/20 BM_FirstRequest_Glyphs500_DC BM_Repeat_Glyphs500_DC", needed, " ")
    for (i in needed) if (!(needed[i] in median)) { print "no median for " needed[i]; exit 1 }
    print "medians (ms):"
    for (n in median) printf "  %-44s %8.3f\n", n, median[n]
    first = median["BM_FirstRequest_CJK500_DC"]
    print "ratios:"
    check("FirstRequest_CJK500_DC / FirstRequest_CJK50_DC", first / median["BM_FirstRequest_CJK50_DC"], 3)
    check("FirstRequest_CJK500_DC / IOReplay_CJK500", first / median["BM_IOReplay_CJK500"], 3)
    check("FirstRequest_CJK500_DC / IOOneWrite_CJK500", first / median["BM_IOOneWrite_CJK500"], 3)
    check("Repeat_CJK500_DC / FirstRequest_CJK500_DC", median["BM_Repeat_CJK500_DC"] / first, 0.05)
    check("FirstRequest_CJK500_CFF_DC / FirstRequest_CJK500_DC", median["BM_FirstRequest_CJK500_CFF_DC"] / first, 1.5)
    check("the same, ColdMetrics", median["BM_FirstRequest_CJK500_CFF_DC_ColdMetrics"] / median["BM_FirstRequest_CJK500_DC_ColdMetrics"], 1.5)
    check("FontSwitch/20 / FontSwitch/5", median["BM_FontSwitch/20"] / median["BM_FontSwitch/5"], 1.2)
    check("FirstRequest_Glyphs500_DC / FirstRequest_CJK500_DC", median["BM_FirstRequest_Glyphs500_DC"] / first, 1.5)
    check("Repeat_Glyphs500_DC / Repeat_CJK500_DC", median["BM_Repeat_Glyphs500_DC"] / median["BM_Repeat_CJK500_DC"], 1.5)
    exit ok ? 0 : 1
  }' "$results"
