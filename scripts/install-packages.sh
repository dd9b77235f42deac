#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the named Debian packages that are missing, as root or through
# sudo. Without either it prints the commands to run as root and exits 1.
# It prints what it installs and apt's count and sizes; apt's full output goes
# to a log that is printed only when apt fails.
# Usage: install-packages.sh [--add-architecture ARCH] [--with-recommends] PACKAGE...
set -euo pipefail
arch=""
recommends=(--no-install-recommends)
while [ $# -gt 0 ]; do
  case $1 in
    --add-architecture) arch=$2; shift 2 ;;
    --with-recommends) recommends=(); shift ;;
    *) break ;;
  esac
done
missing=()
for p in "$@"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

add_arch=false
if [ -n "$arch" ] && ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
  add_arch=true
fi
if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "missing Debian packages: ${missing[*]}" >&2
  echo "install them as root, then run this again:" >&2
  $add_arch && echo "  dpkg --add-architecture $arch" >&2
  echo "  apt-get update && apt-get install -y ${recommends[*]} ${missing[*]}" >&2
  exit 1
fi
echo "installing ${#missing[@]} missing Debian packages with their dependencies: ${missing[*]}"
log=$(mktemp "${TMPDIR:-/tmp}/install-packages.XXXXXX")
if ! {
  if $add_arch; then "${as_root[@]}" dpkg --add-architecture "$arch"; fi &&
  "${as_root[@]}" apt-get update -q &&
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q "${recommends[@]}" "${missing[@]}"
} >"$log" 2>&1; then
  cat "$log" >&2
  echo "install-packages: apt-get failed (the whole output is above, and in $log)" >&2
  exit 1
fi
# apt's own summary: how many packages, how much to download, how much disk.
grep -E '^[0-9]+ upgraded, |^Need to get |^After this operation, ' "$log" | sed 's/^/  /' || true
grep -E '^(W|E): ' "$log" >&2 || true
rm -f "$log"
