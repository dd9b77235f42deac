#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds Qorvfndl.dll for 32-bit and 64-bit Windows (mingw-w64) and proves
# each under Wine (wine for x86, wine64 for x64):
#  - the DLL is a PE file of its architecture, exports exactly its calls,
#    undecorated, and imports only system DLLs;
#  - the public header's records have their layout (tests/header_check.c);
#  - the same request sequences run against the Linux build and, under Wine,
#    against the DLL (loaded with LoadLibrary/GetProcAddress) give identical
#    output files and results, byte for byte;
#  - through Wine's GDI the font header of DejaVu Sans equals the one read
#    from its file;
#  - GetCharWidthA of the Linux platform layer equals Wine's for DejaVu Sans,
#    DejaVu Sans Mono and Liberation Sans over printable ASCII at two heights.
# Installs the packages it needs when missing. Fails, never skips.
# Usage: win32-test.sh [x86] [x64]   (both by default)
#
# Build directories (override with FNDL_WIN32_BUILD_DIR, FNDL_WIN64_BUILD_DIR,
# FNDL_W32REF_BUILD_DIR; CI points the last at build/, the test command's):
#   build-win32   x86 cross build (DLL, test programs), run directories, Wine prefix
#   build-win64   the same for x64
#   build-w32ref  Linux build of the reference programs
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
ref_build=${FNDL_W32REF_BUILD_DIR:-$root/build-w32ref}
archs=("$@")
[ ${#archs[@]} -eq 0 ] && archs=(x86 x64)
for arch in "${archs[@]}"; do
  case $arch in x86 | x64) ;; *) echo "usage: win32-test.sh [x86] [x64]" >&2; exit 2 ;; esac
done
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2
started=$SECONDS

fail() {
  echo "win32-test: FAILED: $*" >&2
  exit 1
}
step() { echo "== win32-test: $*"; }

# --- packages ------------------------------------------------------------
bash scripts/deps.sh test
step "checking the cross compilers and Wine packages"
bash scripts/install-packages.sh --add-architecture i386 --with-recommends \
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 \
  wine wine32:i386 wine64 file fonts-dejavu-core fonts-liberation \
  || fail "cannot install the cross compilers and Wine"
command -v wine >/dev/null || fail "wine is not installed"

# --- the Linux side ------------------------------------------------------
step "building the Linux reference programs in $ref_build"
# In the test command's build (build/) they are two more programs beside the
# tests; elsewhere a build of their own.
ref_preset=w32ref
[ "$ref_build" = "$root/build" ] && ref_preset=test
cmake --preset "$ref_preset" -B "$ref_build" -DFNDL_BUILD_WIN32_REFERENCE=ON >/dev/null || fail "Linux configure"
cmake --build "$ref_build" -j"$jobs" --target fndl_w32_reference fndl_char_widths \
  || fail "Linux build"
reference=$ref_build/fndl_w32_reference
sequences=$("$reference" list)
expected_exports=$(bash scripts/exports.sh)

trap 'for p in "${prefixes[@]}"; do WINEPREFIX=$p wineserver -k >/dev/null 2>&1 || true; done' EXIT
prefixes=()

# prove ARCH: the checks listed at the top, for one architecture.
prove() {
  local arch=$1 preset win_build objdump pe_format file_type wine_arch
  case $arch in
    x86) preset=win32 win_build=${FNDL_WIN32_BUILD_DIR:-$root/build-win32}
         objdump=i686-w64-mingw32-objdump pe_format=pei-i386 wine_arch=win32
         file_type="PE32 executable (DLL) (console) Intel 80386" ;;
    x64) preset=win64 win_build=${FNDL_WIN64_BUILD_DIR:-$root/build-win64}
         objdump=x86_64-w64-mingw32-objdump pe_format=pei-x86-64 wine_arch=win64
         file_type="PE32+ executable (DLL) (console) x86-64" ;;
  esac

  # --- build ---------------------------------------------------------------
  step "$arch: cross-building Qorvfndl.dll in $win_build"
  cmake --preset "$preset" -B "$win_build" >/dev/null || fail "$arch: cross configure"
  cmake --build "$win_build" -j"$jobs" \
    --target qorvfndl fndl_header_check fndl_win32_test fndl_char_widths \
    || fail "$arch: cross build"

  # --- the DLL's exports and imports ---------------------------------------
  local dll=$win_build/Qorvfndl.dll exports imports imported
  step "$arch: checking $dll"
  $objdump -f "$dll" | grep "file format $pe_format" >/dev/null || fail "$arch: Qorvfndl.dll is not $pe_format"
  exports=$($objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' \
    | awk '/^[[:space:]]*\[ *[0-9]+\]/ {print $NF}' | sort | tr '\n' ' ')
  [ "$exports" = "$expected_exports" ] || fail "$arch: exports are '$exports', expected '$expected_exports'"
  imports=$($objdump -p "$dll" | awk '/DLL Name:/ {print tolower($3)}' | sort | tr '\n' ' ')
  for imported in $imports; do
    case $imported in
      kernel32.dll | gdi32.dll | msvcrt.dll) ;;
      *) fail "$arch: Qorvfndl.dll needs $imported (only kernel32, gdi32 and msvcrt are allowed)" ;;
    esac
  done
  file -b "$dll" | grep -F "$file_type" || fail "$arch: file(1) does not see a $file_type: $(file -b "$dll")"
  echo "exports: $exports"
  echo "imports: $imports"

  # --- Wine ----------------------------------------------------------------
  export WINEPREFIX=$win_build/wineprefix WINEARCH=$wine_arch
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
  prefixes+=("$WINEPREFIX")
  step "$arch: starting Wine (prefix $WINEPREFIX, $WINEARCH)"
  local wine_version boot_log
  wine_version=$(wine --version 2>&1) || fail "wine cannot start: $wine_version"
  if ! boot_log=$(timeout 600 wineboot -i 2>&1) || [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "$boot_log" >&2
    fail "Wine cannot start: wineboot could not initialise $WINEPREFIX"
  fi
  echo "$wine_version"

  # --- request sequences: Linux build against the DLL under Wine -----------
  local runs=$win_build/w32run
  rm -rf "$runs"
  "$reference" prepare "$runs/linux" || fail "cannot prepare $runs/linux"
  "$reference" prepare-wine "$runs/wine" || fail "cannot prepare $runs/wine"
  cmp -s "$runs/linux/synthetic.ttf" "$runs/wine/synthetic.ttf" || fail "synthetic fonts differ"

  step "$arch: request sequences on Linux"
  (cd "$runs/linux" && "$reference" run) || fail "request sequences on Linux"
  step "$arch: request sequences under Wine"
  run_wine "$runs/wine" "$win_build/fndl_win32_test.exe"

  local compared=0 name ext file log
  for name in $sequences; do
    for ext in pxl log; do
      file=$name.$ext
      if [ ! -e "$runs/linux/$file" ] && [ ! -e "$runs/wine/$file" ]; then
        continue
      fi
      [ -e "$runs/linux/$file" ] || fail "$arch: $file: only under Wine"
      [ -e "$runs/wine/$file" ] || fail "$arch: $file: missing under Wine"
      if ! cmp "$runs/linux/$file" "$runs/wine/$file"; then
        [ "$ext" = log ] && diff "$runs/linux/$file" "$runs/wine/$file" >&2 || true
        fail "$arch: $file differs between Linux and Wine (both in $runs)"
      fi
      compared=$((compared + 1))
    done
  done
  # Both sides failing alike would compare equal: only the failure sequence
  # may fail, and the outputs must hold something.
  for log in "$runs"/linux/*.log; do
    case $(basename "$log") in failures.log) continue ;; esac
    ! grep -q 'result 3' "$log" || fail "a download failed on Linux: $log"
  done
  for name in $sequences; do
    [ "$name" = failures ] && continue
    [ -s "$runs/linux/$name.pxl" ] || fail "$name wrote nothing"
  done
  echo "$arch: $compared output files identical on Linux and under Wine"

  # --- font header: device context (Wine's GDI) against the font file ------
  step "$arch: font header through GDI against the font file"
  local side
  for side in linux wine; do
    cmp "$runs/$side/header_from_dc.pxl" "$runs/$side/header_from_file.pxl" \
      || fail "$arch: $side: DejaVu Sans through the device context differs from its file"
  done
  echo "DejaVu Sans: header through GetFontData equals the font file's, on both"

  # --- GetCharWidthA: Linux platform layer against Wine's GDI ----------------
  step "$arch: GetCharWidthA on Linux and under Wine"
  "$ref_build/fndl_char_widths" "$runs/linux/widths.txt" || fail "widths on Linux"
  run_wine "$runs/wine" "$win_build/fndl_char_widths.exe" widths.txt
  local total differing
  total=$(wc -l <"$runs/linux/widths.txt")
  differing=$(paste "$runs/linux/widths.txt" "$runs/wine/widths.txt" \
    | awk -F'\t' '$1 != $5 || $2 != $6 || $3 != $7 {print "misaligned"; exit} $4 != $8' | wc -l)
  echo "$arch: widths: $((total - differing)) of $total equal"
  if [ "$differing" -ne 0 ] || [ "$total" -ne "$(wc -l <"$runs/wine/widths.txt")" ]; then
    echo "face / lfHeight / code: Linux width, Wine width" >&2
    paste "$runs/linux/widths.txt" "$runs/wine/widths.txt" \
      | awk -F'\t' '$4 != $8 {printf "  %s / %s / %s: %s, %s\n", $1, $2, $3, $4, $8}' >&2
    fail "$arch: GetCharWidthA of the Linux platform layer differs from Wine's"
  fi
  wineserver -k >/dev/null 2>&1 || true
}

run_wine() { # directory, program, arguments...
  local dir=$1
  shift
  (cd "$dir" && timeout 600 wine "$@") || fail "under Wine: $* exited with $? (in $dir)"
}

for arch in "${archs[@]}"; do
  prove "$arch"
done
step "passed (${archs[*]}) in $((SECONDS - started)) s"
