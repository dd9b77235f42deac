#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes build-winpkg/qorvfndl-<version>-windows.zip: Qorvfndl.dll for 32-bit
# (x86/) and 64-bit (x64/) Windows with their import libraries (Qorvfndl.lib
# for MSVC, libQorvfndl.dll.a for mingw, both from src/win32/qorvfndl.def),
# include/qorvfndl.h, LICENSE and README-windows.txt. Then proves the zip:
# unpacked into a clean folder, the README's example builds with mingw-w64
# against each DLL, through each import library, and runs under Wine; the
# four runs write the same job (and the Linux build's, when it has run it).
# Reuses build-win32/ and build-win64/ (and their Wine prefixes) when
# scripts/win32-test.sh has made them.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build-winpkg
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2
fail() { echo "package-windows: FAILED: $*" >&2; exit 1; }
step() { echo "== package-windows: $*"; }

step "checking the cross compilers, LLVM's dlltool and Wine"
bash scripts/install-packages.sh --add-architecture i386 --with-recommends \
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 \
  llvm wine wine32:i386 wine64 zip unzip fonts-dejavu-core \
  || fail "cannot install the cross compilers and Wine"

version=$(awk '/^#define FNDL_VERSION_(MAJOR|MINOR|PATCH) / {v = v (v == "" ? "" : ".") $3} END {print v}' \
  include/qorvfndl.h)
name=qorvfndl-$version-windows
rm -rf "$out"
mkdir -p "$out/$name/include"

# The .def names each __stdcall call's decorated symbol (NAME = NAME@bytes).
# The x86 import libraries define the decorated symbols a caller's compiler
# asks for and import the plain names (-k); x64 has no decoration.
def=src/win32/qorvfndl.def
sed -E 's/^([[:space:]]*)[A-Za-z0-9_]+[[:space:]]*=[[:space:]]*([A-Za-z0-9_]+@[0-9]+)/\1\2/' "$def" >"$out/x86.def"
sed -E 's/[[:space:]]*=[[:space:]]*[A-Za-z0-9_]+@[0-9]+//' "$def" >"$out/x64.def"

for arch in x86 x64; do
  case $arch in
    x86) preset=win32 build=$root/build-win32 prefix=i686-w64-mingw32 machine=i386 kill_at=-k ;;
    x64) preset=win64 build=$root/build-win64 prefix=x86_64-w64-mingw32 machine=i386:x86-64 kill_at= ;;
  esac
  step "$arch: Qorvfndl.dll in $build"
  cmake --preset "$preset" -B "$build" >/dev/null || fail "$arch: cross configure"
  cmake --build "$build" -j"$jobs" --target qorvfndl >/dev/null || fail "$arch: cross build"
  mkdir -p "$out/$name/$arch"
  cp "$build/Qorvfndl.dll" "$out/$name/$arch/"
  # shellcheck disable=SC2086
  llvm-dlltool -m "$machine" -D Qorvfndl.dll -d "$out/$arch.def" -l "$out/$name/$arch/Qorvfndl.lib" $kill_at \
    || fail "$arch: llvm-dlltool"
  # shellcheck disable=SC2086
  "$prefix-dlltool" -D Qorvfndl.dll -d "$out/$arch.def" -l "$out/$name/$arch/libQorvfndl.dll.a" $kill_at \
    || fail "$arch: $prefix-dlltool"
done
cp include/qorvfndl.h "$out/$name/include/"
cp LICENSE "$out/$name/LICENSE.txt"
sed "s/@VERSION@/$version/" scripts/README-windows.txt.in | sed 's/$/\r/' >"$out/$name/README-windows.txt"
(cd "$out" && rm -f "$name.zip" && zip -q -r -X "$name.zip" "$name") || fail "zip"
step "made $out/$name.zip"
unzip -l "$out/$name.zip" | sed 's/^/  /'

# --- the zip as a user gets it -------------------------------------------
check=$out/check
mkdir -p "$check"
(cd "$check" && unzip -q "$out/$name.zip") || fail "unzip"
pkg=$check/$name
awk '/^```c$/ {on = 1; next} /^```$/ {on = 0} on' README.md >"$check/example.c"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
trap 'for p in "$root/build-win32/wineprefix" "$root/build-win64/wineprefix"; do WINEPREFIX=$p wineserver -k >/dev/null 2>&1 || true; done' EXIT
jobs_written=()
for arch in x86 x64; do
  case $arch in
    x86) prefix=i686-w64-mingw32 WINEARCH=win32 WINEPREFIX=$root/build-win32/wineprefix ;;
    x64) prefix=x86_64-w64-mingw32 WINEARCH=win64 WINEPREFIX=$root/build-win64/wineprefix ;;
  esac
  export WINEARCH WINEPREFIX
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    step "$arch: making the Wine prefix $WINEPREFIX"
    timeout 600 wineboot -i >/dev/null 2>&1 || fail "$arch: wineboot"
  fi
  for lib in libQorvfndl.dll.a Qorvfndl.lib; do
    run=$check/$arch-${lib%%.*}
    mkdir -p "$run"
    cp "$pkg/$arch/Qorvfndl.dll" "$run/"
    step "$arch: the README's example linked with $arch/$lib, under Wine"
    "$prefix-gcc" -std=c99 -Wall -Wextra -pedantic -Werror -I"$pkg/include" -o "$run/example.exe" \
      "$check/example.c" "$pkg/$arch/$lib" || fail "$arch: the example does not build against $lib"
    "$prefix-objdump" -p "$run/example.exe" | grep 'DLL Name: Qorvfndl.dll' >/dev/null \
      || fail "$arch: example.exe does not import Qorvfndl.dll"
    (cd "$run" && timeout 600 wine ./example.exe) || fail "$arch: the example linked with $lib failed under Wine"
    [ -s "$run/job.pxl" ] || fail "$arch: the example wrote no job"
    jobs_written+=("$run/job.pxl")
  done
done
for job in "${jobs_written[@]}"; do
  cmp "${jobs_written[0]}" "$job" || fail "$job differs from ${jobs_written[0]}"
done
# The Linux build's run of the same example (ctest ReadmeExample.RunsAsC89 in
# the test command's build), when there is one: the same bytes.
linux_job=$root/build/readme_example/job.pxl
if [ -s "$linux_job" ]; then
  cmp "$linux_job" "${jobs_written[0]}" || fail "the job under Wine differs from the Linux build's ($linux_job)"
  echo "the same job as the Linux build's ($linux_job)"
fi
step "passed: ${#jobs_written[@]} builds of the example against the zip wrote the same $(stat -c %s "${jobs_written[0]}")-byte job"
