#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the named Debian packages that are missing, as root or through
# sudo. Without either it prints the commands to run as root and exits 1.
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
echo "installing: ${missing[*]}"
$add_arch && "${as_root[@]}" dpkg --add-architecture "$arch"
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -qq "${recommends[@]}" "${missing[@]}"
