#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A long fuzzing campaign outside CI: every libFuzzer target (font file,
# device context, font in memory, PCL XL decoder, outline converter, and the tool's job
# readers: streams in a file of jobs, the soft-font walker, preview), built as
# scripts/fuzz.sh builds them, each fuzzed in turn for CAMPAIGN_MINUTES
# (default 240) divided among the targets, from a corpus kept between runs in
# CORPUS_DIR (default ~/.cache/qorvfndl-fuzz/<target>), which every run grows
# and then merges down to the inputs that add coverage. Findings go to
# CORPUS_DIR/artifacts/<target>/; each target's executions and findings are
# appended to CORPUS_DIR/campaigns.log. FUZZ_JOBS (default: the number of
# processors) libFuzzer workers run at once. Exits non-zero when a target
# found something: fix the cause, then add the input to
# fuzz/regression/<target>/.
#
# Usage: scripts/fuzz-campaign.sh [TARGET...]   (default: all eight)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
bash scripts/install-packages.sh clang libclang-rt-14-dev llvm

minutes=${CAMPAIGN_MINUTES:-240}
corpusRoot=${CORPUS_DIR:-$HOME/.cache/qorvfndl-fuzz}
workers=${FUZZ_JOBS:-$(nproc)}
build=build-fuzz
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$workers"
rm -rf "$build/seeds"
"$build/fuzz/fndl_fuzz_seeds" "$build/seeds" >/dev/null

export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# target, seed directory, longest input
all=("font_file font 65536" "font_dc font 65536" "font_image font 65536" "xldecode xldecode 16384" "outline outline 65536"
     "xljob xldecode 16384" "softfont xldecode 16384" "preview xldecode 16384" "text_shaping text 65536")
chosen=()
for target in "${all[@]}"; do
  read -r name _ <<<"$target"
  if [ $# -eq 0 ] || [[ " $* " == *" $name "* ]]; then chosen+=("$target"); fi
done
[ ${#chosen[@]} -gt 0 ] || { echo "no such target: $*" >&2; exit 2; }
seconds=$(( minutes * 60 / ${#chosen[@]} ))
mkdir -p "$corpusRoot"
failed=()
for target in "${chosen[@]}"; do
  read -r name seeds maxlen <<<"$target"
  binary="$build/fuzz/fndl_fuzz_$name"
  corpus="$corpusRoot/$name"
  artifacts="$corpusRoot/artifacts/$name"
  logs="$corpusRoot/logs/$name"
  mkdir -p "$corpus" "$artifacts" "$logs"
  corpora=("$corpus" "$build/seeds/$seeds")
  [ -d "fuzz/regression/$name" ] && corpora+=("fuzz/regression/$name")
  start=$(date +%s)
  status=0
  # -fork runs the workers as child processes and goes on after a finding
  # (-ignore_crashes), so one crash does not end hours of fuzzing.
  "$binary" -fork="$workers" -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
    -max_total_time="$seconds" -max_len="$maxlen" -timeout=30 -rss_limit_mb=2048 \
    -artifact_prefix="$artifacts/" "${corpora[@]}" >"$logs/campaign.log" 2>&1 || status=$?
  # The last status line of a fork run: "#<executions>: cov: ... corp: <inputs>/..."
  runs=$(grep -o '^#[0-9]*' "$logs/campaign.log" | tail -n 1 | tr -d '#')
  findings=$(find "$artifacts" -type f -newermt "@$start" | wc -l)
  line="$(date -u +%Y-%m-%dT%H:%MZ) $name: ${runs:-?} executions in $(( $(date +%s) - start )) s, $findings new findings, corpus $(find "$corpus" -type f | wc -l) inputs"
  echo "$line" | tee -a "$corpusRoot/campaigns.log"
  # Keep only the inputs that add coverage.
  mkdir -p "$corpus.merged"
  "$binary" -merge=1 -max_len="$maxlen" -timeout=30 "$corpus.merged" "$corpus" >"$logs/merge.log" 2>&1 &&
    rm -rf "$corpus" && mv "$corpus.merged" "$corpus" || rm -rf "$corpus.merged"
  if [ "$findings" -gt 0 ] || [ "$status" -ne 0 ]; then failed+=("$name"); fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "findings in: ${failed[*]} (inputs in $corpusRoot/artifacts/)"; exit 1
fi
