#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Fuzzes the library with libFuzzer in build-fuzz/ (clang; AddressSanitizer
# with leak detection, UndefinedBehaviorSanitizer). For each target it first
# replays every input in fuzz/regression/<target>/, then fuzzes for
# FUZZ_SECONDS (default 120) from seeds generated at run time, with
# libFuzzer's random seed FUZZ_SEED (default 0: a new one each run). Any crash,
# leak, hang or failed check fails the run; the input that caused it is left
# in build-fuzz/artifacts/<target>/: fix the cause, then add the input to
# fuzz/regression/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
# llvm: llvm-symbolizer, for the sanitizers' stack traces in a finding.
bash scripts/install-packages.sh clang libclang-rt-14-dev llvm

seconds=${FUZZ_SECONDS:-120}
# FUZZ_SEED fixes libFuzzer's random seed (CI uses one, so a run can be
# repeated); 0 picks a new one each run.
seed=${FUZZ_SEED:-0}
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
build=build-fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$jobs"
rm -rf "$build/seeds"
"$build/fuzz/fndl_fuzz_seeds" "$build/seeds"

export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
failed=()
# target, seed directory, longest input
for target in "font_file font 65536" "font_dc font 65536" "xldecode xldecode 16384" "outline outline 65536" \
              "xljob xldecode 16384" "softfont xldecode 16384" "preview xldecode 16384"; do
  read -r name seeds maxlen <<<"$target"
  binary="$build/fuzz/fndl_fuzz_$name"
  regression="fuzz/regression/$name"
  artifacts="$build/artifacts/$name"
  corpus="$build/corpus/$name"
  log="$build/fuzz-$name.log"
  mkdir -p "$artifacts" "$corpus"
  inputs=()
  [ -d "$regression" ] && mapfile -t inputs < <(find "$regression" -type f | sort)
  if [ ${#inputs[@]} -gt 0 ]; then
    if ! "$binary" -timeout=30 "${inputs[@]}" >"$log" 2>&1; then
      echo "$name: a regression input fails again"; tail -n 40 "$log"; failed+=("$name"); continue
    fi
    echo "$name: ${#inputs[@]} regression inputs pass"
  fi
  corpora=("$corpus" "$build/seeds/$seeds")
  [ -d "$regression" ] && corpora+=("$regression")
  start=$(date +%s)
  if "$binary" -seed="$seed" -reload=0 -max_total_time="$seconds" -max_len="$maxlen" -timeout=30 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$artifacts/" "${corpora[@]}" >"$log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
    echo "$name: $runs executions in $(( $(date +%s) - start )) s, no finding"
  else
    echo "$name: FINDING (log $log, input in $artifacts/)"; tail -n 60 "$log"; failed+=("$name")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing failed: ${failed[*]}"; exit 1
fi
