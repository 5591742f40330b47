#!/usr/bin/env bash
# Installs the Debian packages Pixova needs to build, test and run.
# Does nothing when they are all present. "bench" adds the benchmark peers, "fuzz" clang
# for the fuzzers, "format" clang-format for the formatting check.
set -euo pipefail

packages=(
  g++ make cmake pkg-config ccache
  qt6-base-dev libgl-dev libxkbcommon-dev
  libpng-dev zlib1g-dev libdeflate-dev libjpeg-dev libopenjp2-7-dev libzstd-dev
  libgif-dev libwebp-dev libtiff-dev liblcms2-dev
  libgtest-dev libbenchmark-dev
  xvfb xauth fonts-liberation
  openbox xdotool x11-utils
)
if [ "${1:-}" = "bench" ]; then
  packages+=(imagemagick pngquant lomiri-wallpapers hyperfine adwaita-icon-theme)
fi
if [ "${1:-}" = "fuzz" ]; then
  packages+=(clang libclang-rt-dev)
fi
if [ "${1:-}" = "format" ]; then
  packages+=(clang-format)
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
