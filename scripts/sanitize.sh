#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the library and the whole test suite with AddressSanitizer (leak
# detection on) and UndefinedBehaviorSanitizer in build-asan/, and runs it;
# then the tests of calls from several threads with ThreadSanitizer in
# build-tsan/. Any report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
cmake -S . -B build-asan -DFNDL_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFNDL_WERROR=ON >/dev/null
cmake --build build-asan -j"$jobs"
export ASAN_OPTIONS="detect_leaks=1:strict_string_checks=1:check_initialization_order=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir build-asan --output-on-failure -j"$jobs"

cmake -S . -B build-tsan -DFNDL_TSAN=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFNDL_WERROR=ON >/dev/null
cmake --build build-tsan -j"$jobs" --target fndl_tests
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" \
  ctest --test-dir build-tsan -R 'FromTwoThreads' --output-on-failure
