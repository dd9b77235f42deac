#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages the build, the tests and the main job need,
# when any of them is missing.
set -euo pipefail
packages=(cmake g++ make pkg-config libgtest-dev libbenchmark-dev
          libfontconfig-dev libfreetype-dev libpng-dev fontconfig
          fonts-dejavu-core fonts-dejavu-extra fonts-liberation fonts-wqy-microhei
          fonts-ipafont-gothic fonts-urw-base35 fonts-noto-cjk
          libcups2-dev cups cups-client cups-daemon cups-filters ghostscript)
# Debian packaging (scripts/package.sh).
packages+=(debhelper dpkg-dev fakeroot)
bash "$(dirname "$0")/install-packages.sh" "${packages[@]}"
