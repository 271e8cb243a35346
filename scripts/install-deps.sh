#!/usr/bin/env bash
# Installs the Debian packages the project needs. Quiet and quick when they are all present.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  libjpeg62-turbo-dev libpng-dev libgif-dev libexif-dev
  libheif-dev libwebp-dev  # HEIC (with its HEVC decoder and, for the demo and tests, encoder) and WebP
  libjpeg-turbo-progs  # jpegtran, for the variants of bench/real-photos.sh
  libfreetype-dev fonts-liberation fonts-wqy-microhei
  libsdl2-dev libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
  libvips-tools  # vipsthumbnail, the reference of the photo benchmark's thumbnail
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
