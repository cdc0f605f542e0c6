#!/usr/bin/env bash
# Installs the Debian packages Skelvane needs to build, test and run, skipping those already present.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-qpa-plugins
  libegl-dev libopengl-dev libgl-dev libegl1 libopengl0 libegl-mesa0 libgl1-mesa-dri
  libfreetype-dev libfontconfig-dev fonts-liberation
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev
  libpng-dev libxxhash-dev liburing-dev libkissfft-dev appstream
  help2man snakemake python3
)
if [ "${SKELVANE_GUI_TOOLS:-0}" = 1 ]; then
  packages+=(xvfb xdotool imagemagick)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
