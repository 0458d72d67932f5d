#!/usr/bin/env bash
# Installs every Debian 12 package that building, running and testing Quorvella needs.
# Idempotent; works as root or through sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6svg6 qt6-qpa-plugins libgl-dev
  libsqlite3-dev sqlite3
  libavformat-dev libavcodec-dev libavutil-dev libswresample-dev
  libudev-dev libcurl4-openssl-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  xorriso genisoimage p7zip-full libarchive-tools python3-pycdlib udftools
  ffmpeg sox xvfb xauth
)

if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
