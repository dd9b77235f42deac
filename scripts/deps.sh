#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages a command needs, when any of them is missing.
#   deps.sh cover   building the library and fndl, and making a cover page
#   deps.sh test    that, and what the whole test suite needs (the default)
# The CI scripts add their own (compilers, packaging, Wine, benchmarks).
set -euo pipefail
level=${1:-test}
# The library, fndl (HarfBuzz and FriBidi shape its text) and its default
# font (DejaVu Sans).
packages=(cmake g++ make pkg-config libfontconfig-dev libfreetype-dev libpng-dev
          libharfbuzz-dev libfribidi-dev fonts-dejavu-core)
case $level in
  cover) ;;
  test)
    # GoogleTest, the fonts the tests load (Inter's variable fonts among
    # them), and CUPS for the filters' tests. fontTools, which the variable
    # fonts' ink test makes its static references with, pulls in SciPy
    # (477 MB): builds.sh installs it, the test skips without it.
    packages+=(libgtest-dev fontconfig
               fonts-dejavu-extra fonts-liberation fonts-wqy-microhei
               fonts-ipafont-gothic fonts-urw-base35 fonts-noto-cjk
               fonts-noto-core fonts-thai-tlwg fonts-symbola fonts-hanazono
               fonts-inter-variable
               libcups2-dev cups cups-client cups-daemon cups-filters ghostscript) ;;
  *) echo "usage: deps.sh [cover|test]" >&2; exit 2 ;;
esac
bash "$(dirname "$0")/install-packages.sh" "${packages[@]}"
