#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the main job need,
# when any of them is missing.
set -euo pipefail
packages=(cmake g++ make pkg-config libgtest-dev libbenchmark-dev
          libfontconfig-dev libfreetype-dev fontconfig
          fonts-dejavu-core fonts-dejavu-extra fonts-liberation fonts-wqy-microhei
          fonts-ipafont-gothic
          libcups2-dev cups cups-client cups-daemon cups-filters)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  sudo_cmd=""; [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
