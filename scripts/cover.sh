#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The main job: builds the library and its tool (CMake preset "cover", in the
# repository's build/), writes a cover page job with a downloaded TrueType
# soft font (DejaVu Sans, the tool's default text) to cover.pxl, shows what
# the job holds and renders its pages to cover-N.png. The job and the pages
# go to the folder this is run from.
set -euo pipefail
here=$PWD
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
bash scripts/deps.sh cover
cmake --preset cover >/dev/null
cmake --build --preset cover -j"$(nproc)"
cd "$here"
fndl=$repo/build/tools/fndl/fndl
"$fndl" job -o cover.pxl
"$fndl" dump --summary cover.pxl
"$fndl" preview cover.pxl -o cover-%d.png
echo "cover.sh: the job and its pages are in $here"
