#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and running Carvel need, or the packages
# named on the command line; only those not installed yet.
# Usage: scripts/install-deps.sh [PACKAGE]...
set -euo pipefail
packages=("$@")
if [ ${#packages[@]} -eq 0 ]; then
  packages=(build-essential cmake ninja-build pkg-config qt6-base-dev libsndfile1-dev
    libsamplerate0-dev libsdl2-dev libgtest-dev libgmock-dev libbenchmark-dev clang
    libclang-rt-14-dev clang-format fonts-ipafont-gothic xvfb xauth xdotool imagemagick
    librsvg2-bin sox python3 libavformat-dev libavcodec-dev libswscale-dev
    libavutil-dev librubberband-dev qt6-translations-l10n)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
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
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
