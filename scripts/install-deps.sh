#!/usr/bin/env bash
# Installs the Debian packages the project needs. Quiet and quick when they are all present.
#   scripts/install-deps.sh                      building and testing on this machine
#   scripts/install-deps.sh --cross ARCH...      also cross builds for ARCH (arm64, armhf):
#                                                Debian's cross compiler, QEMU's user-mode
#                                                emulation and the libraries of ARCH
#   scripts/install-deps.sh --package            also checking packages (lintian)
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
  gcovr  # make coverage
  libvips-tools  # vipsthumbnail, the reference of the photo benchmark's thumbnail
  qemu-system-x86 qemu-system-arm busybox-static cpio  # the tests on real kernels (tests/kernel/)
)

cross=()
extra=()
while [ $# -gt 0 ]; do
  case $1 in
    --cross) shift; while [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; do cross+=("$1"); shift; done ;;
    --package) extra+=(lintian); shift ;;
    *) echo "usage: install-deps.sh [--cross ARCH...] [--package]" >&2; exit 2 ;;
  esac
done

if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
updated=
native=$(dpkg --print-architecture)
apt_install() {
  local installed missing=()
  # One query for all: an installed package of the build machine may be named with its
  # architecture (libpng-dev:amd64) or without it.
  # dpkg-query fails when dpkg has never heard of one of them; what it lists still counts.
  installed=$(dpkg-query -W -f='${binary:Package} ${db:Status-Abbrev}\n' "$@" 2>/dev/null | awk '$2 == "ii" {print $1}' || true)
  for p in "$@"; do
    grep -qxF -e "$p" -e "$p:$native" <<<"$installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "install-deps: installing ${missing[*]}"
  [ -n "$updated" ] || { "${sudo[@]}" apt-get update -qq; updated=1; }
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

apt_install "${packages[@]}" "${extra[@]}"
[ ${#cross[@]} -eq 0 ] && exit 0

# The -dev packages of the libraries the build finds with pkg-config (pkg_check_modules in
# the CMakeLists.txt files), named by the package that holds each module's .pc file here,
# and the test framework for running the cross-built tests.
source_dir=$(cd "$(dirname "$0")/.." && pwd)
modules=$(grep -rhoz --include=CMakeLists.txt --exclude-dir='build*' 'pkg_check_modules([^)]*)' "$source_dir" | tr '\0\n' '\n ' |
  sed 's/^pkg_check_modules( *[^ ]*//; s/)$//' | tr ' ' '\n' | grep -v '^[A-Z_]*$' | sed 's/[<>=].*//' | sort -u)
pc_files=()
for module in $modules; do pc_files+=("$(pkg-config --variable=pcfiledir "$module")/$module.pc"); done
libraries=(libgtest-dev libgmock-dev $(dpkg-query -S "${pc_files[@]}" | cut -d: -f1 | sort -u))

for arch in "${cross[@]}"; do
  if ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    "${sudo[@]}" dpkg --add-architecture "$arch"
    updated=
  fi
done
needed=(qemu-user-static)
for arch in "${cross[@]}"; do
  needed+=("crossbuild-essential-$arch")
  for l in "${libraries[@]}"; do needed+=("$l:$arch"); done
done
apt_install "${needed[@]}"
