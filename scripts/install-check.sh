#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the README's install commands (the first block under "Installing and
# packaging") in this clone, after its set-up commands have used build/, and
# proves the result: the README's example builds through pkg-config against
# the installed files and runs, and the installed fndl writes a job.
# The "sudo" commands are the system's part: by default the install goes to
# a staging root (DESTDIR=build-install-root) and the loader step is checked,
# not run: the prefix's lib folder must be one the loader's configuration
# lists, so that "sudo ldconfig" is all a fresh install needs; the staged
# programs then run with LD_LIBRARY_PATH standing in for it.
# FNDL_INSTALL_SYSTEM=1 (as root, on a machine of its own) runs every
# command as written, ldconfig too, and the example without LD_LIBRARY_PATH.
set -euo pipefail
cd "$(dirname "$0")/.."
root_dir=$PWD
# What the set-up commands install: the compiler, CMake and pkg-config among it.
bash scripts/deps.sh cover
fail() { echo "install-check: FAILED: $*" >&2; exit 1; }
step() { echo "== install-check: $*"; }

mapfile -t commands < <(awk '
  /^## / { section = ($0 == "## Installing and packaging") }
  section && /^    [^ ]/ { sub(/^    /, ""); print; found = 1; next }
  section && found { exit }' README.md)
[ ${#commands[@]} -gt 0 ] || fail "README.md has no install commands under \"Installing and packaging\""
system=${FNDL_INSTALL_SYSTEM:-0}
stage=$root_dir/build-install-root
prefix=""
for command in "${commands[@]}"; do
  if [[ $command =~ -DCMAKE_INSTALL_PREFIX=([^ ]+) ]]; then prefix=${BASH_REMATCH[1]}; fi
done
[ -n "$prefix" ] || fail "the install commands set no CMAKE_INSTALL_PREFIX"
rm -rf "$stage"
for command in "${commands[@]}"; do
  step "$command"
  if [ "$system" = 1 ]; then
    [ "$(id -u)" -eq 0 ] && command=${command#sudo }
    bash -c "$command" || fail "$command"
  elif [[ $command == "sudo ldconfig" ]]; then
    # Whether ldconfig will look in the prefix's lib folder.
    libdir=$prefix/lib
    listed=$(cat /etc/ld.so.conf /etc/ld.so.conf.d/*.conf 2>/dev/null | grep -x "$libdir" || true)
    [ -n "$listed" ] || fail "$libdir is not in the loader's configuration: ldconfig alone would not do"
    echo "  $libdir is listed in /etc/ld.so.conf.d: ldconfig finds the library there"
  elif [[ $command == sudo\ * ]]; then
    DESTDIR=$stage bash -c "${command#sudo }" || fail "$command"
  else
    bash -c "$command" || fail "$command"
  fi
done

tree=$stage
[ "$system" = 1 ] && tree=""
libdir=$tree$prefix/lib
[ -e "$libdir/libqorvfndl.so.0" ] || fail "no $libdir/libqorvfndl.so.0"
[ -x "$tree$prefix/bin/fndl" ] || fail "no $tree$prefix/bin/fndl"
[ "$system" = 1 ] || export LD_LIBRARY_PATH=$libdir
work=$root_dir/build-install/check
rm -rf "$work"
mkdir -p "$work"
step "the README's example through pkg-config, against $tree$prefix"
awk '/^```c$/ {on = 1; next} /^```$/ {on = 0} on' README.md >"$work/example.c"
# shellcheck disable=SC2046
cc -std=c99 -Wall -Wextra -o "$work/example" "$work/example.c" \
  $(PKG_CONFIG_SYSROOT_DIR=$tree PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs qorvfndl) \
  || fail "the example does not build"
(cd "$work" && ./example) || fail "the example failed"
"$tree$prefix/bin/fndl" dump --summary "$work/job.pxl" >/dev/null || fail "the example's job does not decode"
"$tree$prefix/bin/fndl" preview "$work/job.pxl" -o "$work/job-%d.png" || fail "the example's job does not preview"
ls "$work"/job-*.png >/dev/null 2>&1 || fail "the example's job has no page"
"$tree$prefix/bin/fndl" job -o "$work/cover.pxl" >/dev/null 2>&1 || fail "the installed fndl cannot write a job"
step "passed: installed to $tree$prefix, the example's job has $(ls "$work"/job-*.png | wc -l) page(s)"
