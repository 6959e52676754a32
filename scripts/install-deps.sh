#!/usr/bin/env bash
# Installs the Debian packages Corvane needs to build, test and run.
# Idempotent and quiet when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  locales libcfitsio-dev pkg-config libtomlplusplus-dev libeigen3-dev
  qt6-svg-dev libgif-dev
  libopenmpi-dev openmpi-bin
  pandoc file dpkg-dev lintian desktop-file-utils man-db
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
