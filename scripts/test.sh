#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up, builds and runs every test (CMake preset "test", in build/).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
jobs=$(nproc)
cmake --preset test >/dev/null
cmake --build --preset test -j"$jobs"
ctest --preset test -j"$jobs"
