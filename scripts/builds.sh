#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The other compilers and build types CI holds the code to, each with
# -Werror and the whole test suite: GCC Release (build-release) and Clang
# (build-clang). Then the static library (build-static, BUILD_SHARED_LIBS=OFF,
# no tests): libqorvfndl.a defines the exported calls and nothing else global, and
# a program with its own symbols of the library's internal names links
# against it and writes a job.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
# fontTools makes the static references of the variable fonts' ink test,
# which these builds run with the rest.
bash scripts/install-packages.sh clang python3-fonttools
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))

build_and_test() { # CMake preset
  echo "== builds: $1 (CMake preset $1)"
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j"$jobs"
  ctest --preset "$1" -j"$jobs"
}
# GCC 12 at -O3 also takes std::equal over a vector in the tests' font
# builder for a read past any object (-Wstringop-overread, fixed in GCC 13):
# the preset "release" turns that warning off.
build_and_test release
build_and_test clang

echo "== builds: build-static (libqorvfndl.a)"
static=build-static
cmake --preset static >/dev/null
cmake --build --preset static -j"$jobs"
defined=$(nm -g --defined-only "$static/libqorvfndl.a" | awk 'NF == 3 {print $3}' | sort | tr '\n' ' ')
if [ "$defined" != "$(bash scripts/exports.sh)" ]; then
  echo "builds: libqorvfndl.a defines more than the exported calls: $defined" >&2
  exit 1
fi
# Names and signatures the library has inside: a clash would be a duplicate
# definition, or the library calling the program's function.
cat >"$static/clash.cpp" <<'C'
#include <string.h>
#include "qorvfndl.h"
int g_pSession, g_nCursorY, bTTE, bFontFileError;
unsigned MakeWhackLong(unsigned) { return 0; }
int main(void)
{
    FNDL_TEXTINFOA text;
    FNDL_PAGEINFOA page;
    memset(&text, 0, sizeof text);
    memset(&page, 0, sizeof page);
    strcpy(text.szText, "static");
    strcpy(page.chFont, "DejaVu Sans");
    strcpy(page.szOutputPath, "clash.pxl");
    text.FontHeight = 120;
    page.nFontId = 1;
    page.nResolution = 600;
    page.nLineSpacing = 120;
    return FNDLFontDownloadA(&text, &page) == FNDL_OK ? 0 : 1;
}
C
# shellcheck disable=SC2046
c++ -Wall -Wextra -Werror -Iinclude -o "$static/clash" "$static/clash.cpp" "$static/libqorvfndl.a" \
  $(pkg-config --libs fontconfig freetype2)
(cd "$static" && rm -f clash.pxl && ./clash && test -s clash.pxl)
"$static/tools/fndl/fndl" job -o "$static/job.pxl" >/dev/null
echo "builds: Release, Clang and the static library pass"
