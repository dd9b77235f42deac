#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The main job: builds the library and its tool, writes a cover page job with
# a downloaded TrueType soft font (DejaVu Sans, the tool's default text) to
# cover.pxl, shows what the job holds and renders its pages to cover-N.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFNDL_WERROR=ON >/dev/null
cmake --build build -j"$jobs" --target fndl
build/tools/fndl/fndl job -o cover.pxl
build/tools/fndl/fndl dump --summary cover.pxl
build/tools/fndl/fndl preview cover.pxl -o cover-%d.png
