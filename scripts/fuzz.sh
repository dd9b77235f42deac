#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Fuzzes the library with libFuzzer in build-fuzz/ (clang; AddressSanitizer
# with leak detection, UndefinedBehaviorSanitizer). For each target it first
# replays every input in fuzz/regression/<target>/, then fuzzes for
# FUZZ_SECONDS from seeds generated at run time, with libFuzzer's random seed
# FUZZ_SEED (default 0: a new one each run); two targets run at once where
# there are two processors, each reported as it ends. FUZZ_SECONDS defaults
# to the share of FUZZ_BUDGET (default 480 seconds of fuzzing for the whole
# list, so that the stage's time stays put as targets are added) that each
# target gets, at least 60. Any crash,
# leak, hang or failed check fails the run; the input that caused it is left
# in build-fuzz/artifacts/<target>/: fix the cause, then add the input to
# fuzz/regression/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
# llvm: llvm-symbolizer, for the sanitizers' stack traces in a finding.
bash scripts/install-packages.sh clang libclang-rt-14-dev llvm

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
# Fuzzes one target; its report goes to $build/result-<target>, and the
# status says whether it passed.
fuzz_target() {
  local name=$1 seeds=$2 maxlen=$3
  local binary="$build/fuzz/fndl_fuzz_$name" regression="fuzz/regression/$name"
  local artifacts="$build/artifacts/$name" corpus="$build/corpus/$name"
  local log="$build/fuzz-$name.log" result="$build/result-$name"
  mkdir -p "$artifacts" "$corpus"
  local inputs=()
  [ -d "$regression" ] && mapfile -t inputs < <(find "$regression" -type f | sort)
  if [ ${#inputs[@]} -gt 0 ]; then
    if ! "$binary" -timeout=30 "${inputs[@]}" >"$log" 2>&1; then
      { echo "$name: a regression input fails again"; tail -n 40 "$log"; } >"$result"; return 1
    fi
    echo "$name: ${#inputs[@]} regression inputs pass" >"$result"
  fi
  local corpora=("$corpus" "$build/seeds/$seeds")
  [ -d "$regression" ] && corpora+=("$regression")
  local start; start=$(date +%s)
  # -reload=0: no other process adds to the corpus, so it is not reread.
  if "$binary" -seed="$seed" -reload=0 -max_total_time="$seconds" -max_len="$maxlen" -timeout=30 \
       -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/" "${corpora[@]}" >"$log" 2>&1; then
    local runs; runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
    echo "$name: $runs executions in $(( $(date +%s) - start )) s, no finding" >>"$result"
  else
    { echo "$name: FINDING (log $log, input in $artifacts/)"; tail -n 60 "$log"; } >>"$result"; return 1
  fi
}

# The targets run $jobs at a time, each a single libFuzzer process with the
# fixed seed, so that a run repeats and the stage takes half the time on two
# processors. target, seed directory, longest input:
targets=("font_file font 65536" "font_dc font 65536" "font_image font 65536" "xldecode xldecode 16384" "outline outline 65536"
         "xljob xldecode 16384" "softfont xldecode 16384" "preview xldecode 16384" "text_shaping text 65536")
budget=${FUZZ_BUDGET:-480}
seconds=${FUZZ_SECONDS:-$(( budget * jobs / ${#targets[@]} ))}
[ -n "${FUZZ_SECONDS:-}" ] || [ "$seconds" -ge 60 ] || seconds=60
echo "fuzzing ${#targets[@]} targets, $jobs at a time, $seconds s each"
stageStart=$(date +%s)
declare -A pids=()
for target in "${targets[@]}"; do
  read -r name seeds maxlen <<<"$target"
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  rm -f "$build/result-$name"
  { fuzz_target "$name" "$seeds" "$maxlen" && status=0 || status=$?; cat "$build/result-$name"; exit $status; } &
  pids[$name]=$!
done
failed=()
for target in "${targets[@]}"; do
  read -r name _ <<<"$target"
  wait "${pids[$name]}" || failed+=("$name")
done
echo "fuzzing took $(( $(date +%s) - stageStart )) s"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing failed: ${failed[*]}"; exit 1
fi
