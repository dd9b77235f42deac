#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the library and the whole test suite with AddressSanitizer (leak
# detection on) and UndefinedBehaviorSanitizer in build-asan/ (CMake preset
# "asan", which also sets the sanitizers' options), and runs it; then the
# tests of calls from several threads with ThreadSanitizer in build-tsan/
# (preset "tsan"). Any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
cmake --preset asan >/dev/null
cmake --build --preset asan -j"$jobs"
ctest --preset asan -j"$jobs"

cmake --preset tsan >/dev/null
cmake --build --preset tsan -j"$jobs" --target fndl_tests
ctest --preset tsan
