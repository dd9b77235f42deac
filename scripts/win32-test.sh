#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds Qorvfndl.dll for 32-bit Windows (mingw-w64) and proves it under Wine:
#  - the DLL exports exactly its calls, undecorated, and imports only
#    system DLLs;
#  - the same request sequences run against the Linux build and, under Wine,
#    against the DLL (loaded with LoadLibrary/GetProcAddress) give identical
#    output files and results, byte for byte;
#  - through Wine's GDI the font header of DejaVu Sans equals the one read
#    from its file;
#  - GetCharWidthA of the Linux platform layer equals Wine's for DejaVu Sans,
#    DejaVu Sans Mono and Liberation Sans over printable ASCII at two heights.
# Installs the packages it needs when missing. Fails, never skips.
#
# Build directories (override with FNDL_WIN32_BUILD_DIR, FNDL_W32REF_BUILD_DIR):
#   build-win32   cross build (DLL, test programs), run directories, Wine prefix
#   build-w32ref  Linux build of the reference programs
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
win_build=${FNDL_WIN32_BUILD_DIR:-$root/build-win32}
ref_build=${FNDL_W32REF_BUILD_DIR:-$root/build-w32ref}
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
step "checking the cross compiler and Wine packages"
bash scripts/install-packages.sh --add-architecture i386 --with-recommends \
  g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386 fonts-dejavu-core fonts-liberation \
  >/dev/null || fail "cannot install the cross compiler and Wine"

# --- builds --------------------------------------------------------------
step "cross-building Qorvfndl.dll in $win_build"
cmake --preset win32 -B "$win_build" >/dev/null || fail "cross configure"
cmake --build "$win_build" -j"$jobs" --target qorvfndl fndl_win32_test fndl_char_widths \
  || fail "cross build"

step "building the Linux reference programs in $ref_build"
cmake --preset w32ref -B "$ref_build" >/dev/null || fail "Linux configure"
cmake --build "$ref_build" -j"$jobs" --target fndl_w32_reference fndl_char_widths \
  || fail "Linux build"

# --- the DLL's exports and imports ---------------------------------------
dll=$win_build/Qorvfndl.dll
step "checking $dll"
objdump=i686-w64-mingw32-objdump
$objdump -f "$dll" | grep -q 'file format pei-i386' || fail "Qorvfndl.dll is not a 32-bit PE file"
exports=$($objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' \
  | awk '/^[[:space:]]*\[ *[0-9]+\]/ {print $NF}' | sort | tr '\n' ' ')
expected=$(bash scripts/exports.sh)
[ "$exports" = "$expected" ] || fail "exports are '$exports', expected '$expected'"
imports=$($objdump -p "$dll" | awk '/DLL Name:/ {print tolower($3)}' | sort | tr '\n' ' ')
for imported in $imports; do
  case $imported in
    kernel32.dll | gdi32.dll | msvcrt.dll) ;;
    *) fail "Qorvfndl.dll needs $imported (only kernel32, gdi32 and msvcrt are allowed)" ;;
  esac
done
echo "exports: $exports"
echo "imports: $imports"

# --- Wine ----------------------------------------------------------------
export WINEPREFIX=$win_build/wineprefix
export WINEDEBUG=-all
export WINEARCH=win32
export WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
step "starting Wine (prefix $WINEPREFIX)"
command -v wine >/dev/null || fail "wine is not installed"
wine_version=$(wine --version 2>&1) || fail "wine cannot start: $wine_version"
if ! boot_log=$(timeout 600 wineboot -i 2>&1) || [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "$boot_log" >&2
  fail "Wine cannot start: wineboot could not initialise $WINEPREFIX"
fi
echo "$wine_version"

run_wine() { # directory, program, arguments...
  local dir=$1
  shift
  (cd "$dir" && timeout 600 wine "$@") || fail "under Wine: $* exited with $? (in $dir)"
}

# --- request sequences: Linux build against the DLL under Wine -----------
runs=$win_build/w32run
rm -rf "$runs"
reference=$ref_build/fndl_w32_reference
"$reference" prepare "$runs/linux" || fail "cannot prepare $runs/linux"
"$reference" prepare-wine "$runs/wine" || fail "cannot prepare $runs/wine"
cmp -s "$runs/linux/synthetic.ttf" "$runs/wine/synthetic.ttf" || fail "synthetic fonts differ"

step "request sequences on Linux"
(cd "$runs/linux" && "$reference" run) || fail "request sequences on Linux"
step "request sequences under Wine"
run_wine "$runs/wine" "$win_build/fndl_win32_test.exe"

sequences=$("$reference" list)
compared=0
for name in $sequences; do
  for ext in pxl log; do
    file=$name.$ext
    if [ ! -e "$runs/linux/$file" ] && [ ! -e "$runs/wine/$file" ]; then
      continue
    fi
    [ -e "$runs/linux/$file" ] || fail "$file: only under Wine"
    [ -e "$runs/wine/$file" ] || fail "$file: missing under Wine"
    if ! cmp "$runs/linux/$file" "$runs/wine/$file"; then
      [ "$ext" = log ] && diff "$runs/linux/$file" "$runs/wine/$file" >&2 || true
      fail "$file differs between Linux and Wine (both in $runs)"
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
echo "$compared output files identical on Linux and under Wine"

# --- font header: device context (Wine's GDI) against the font file ------
step "font header through GDI against the font file"
for side in linux wine; do
  cmp "$runs/$side/header_from_dc.pxl" "$runs/$side/header_from_file.pxl" \
    || fail "$side: DejaVu Sans through the device context differs from its file"
done
echo "DejaVu Sans: header through GetFontData equals the font file's, on both"

# --- GetCharWidthA: Linux platform layer against Wine's GDI ----------------
step "GetCharWidthA on Linux and under Wine"
"$ref_build/fndl_char_widths" "$runs/linux/widths.txt" || fail "widths on Linux"
run_wine "$runs/wine" "$win_build/fndl_char_widths.exe" widths.txt
total=$(wc -l <"$runs/linux/widths.txt")
differing=$(paste "$runs/linux/widths.txt" "$runs/wine/widths.txt" \
  | awk -F'\t' '$1 != $5 || $2 != $6 || $3 != $7 {print "misaligned"; exit} $4 != $8' | wc -l)
echo "widths: $((total - differing)) of $total equal"
if [ "$differing" -ne 0 ] || [ "$total" -ne "$(wc -l <"$runs/wine/widths.txt")" ]; then
  echo "face / lfHeight / code: Linux width, Wine width" >&2
  paste "$runs/linux/widths.txt" "$runs/wine/widths.txt" \
    | awk -F'\t' '$4 != $8 {printf "  %s / %s / %s: %s, %s\n", $1, $2, $3, $4, $8}' >&2
  fail "GetCharWidthA of the Linux platform layer differs from Wine's"
fi

step "passed in $((SECONDS - started)) s"
