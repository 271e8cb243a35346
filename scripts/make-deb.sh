#!/usr/bin/env bash
# Builds the Debian package of vellumet for each architecture given (amd64, arm64, armhf, ...):
#   scripts/make-deb.sh [--out DIR] ARCH...
# The build machine's own architecture is built natively, the others with Debian's cross
# compilers and the toolchain files of cmake/toolchains/ (scripts/install-deps.sh --cross ARCH
# installs what they need). Each architecture is built in DIR/ARCH with the Debian build flags
# (hardening included), programs only; the packages are written to DIR (default build-deb).
#   scripts/make-deb.sh --out DIR --build-dir BUILD
# packages the programs of an existing, built build instead (the package test).
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/.." && pwd)
package_dir=$source_dir/tools/package
out=build-deb
build_dir=
archs=()
while [ $# -gt 0 ]; do
  case $1 in
    --out) out=$2; shift 2 ;;
    --build-dir) build_dir=$2; shift 2 ;;
    -*) echo "usage: make-deb.sh [--out DIR] ARCH... | --out DIR --build-dir BUILD" >&2; exit 2 ;;
    *) archs+=("$1"); shift ;;
  esac
done
native=$(dpkg --print-architecture)
if [ -n "$build_dir" ]; then
  triplet=$(sed -n 's/^set(CMAKE_CXX_LIBRARY_ARCHITECTURE "\(.*\)")/\1/p' "$build_dir"/CMakeFiles/*/CMakeCXXCompiler.cmake)
  archs=("$(dpkg-architecture -t "$triplet" -q DEB_HOST_ARCH 2>/dev/null)")
fi
[ ${#archs[@]} -gt 0 ] || { echo "make-deb: no architecture given" >&2; exit 2; }
mkdir -p "$out"
out=$(cd "$out" && pwd)
umask 022

# Configures and builds the package's programs for one architecture in $2.
build() {
  local arch=$1 dir=$2 cross=()
  if [ "$arch" != "$native" ]; then
    local triplet
    triplet=$(dpkg-architecture -a "$arch" -q DEB_HOST_GNU_TYPE 2>/dev/null)
    cross=(-DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/toolchains/$triplet.cmake")
  fi
  local launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # The flags Debian builds its packages with, for the target architecture.
  (
    eval "$(DEB_HOST_ARCH=$arch DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
    export CFLAGS="$CPPFLAGS $CFLAGS" CXXFLAGS="$CPPFLAGS $CXXFLAGS"
    cmake -S "$source_dir" -B "$dir" "${cross[@]}" "${launcher[@]}" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLUMET_TESTS=OFF >/dev/null
  )
  cmake --build "$dir" --target vellumet-package-programs -j "$(nproc)"
}

# The Depends of the programs in the package tree WORK/debian/vellumet, from the libraries they
# load (dpkg-shlibdeps, which reads the shlibs and symbols files of the target architecture's
# installed packages).
shlib_depends() {
  local arch=$1 work=$2
  printf 'Source: vellumet\n\nPackage: vellumet\nArchitecture: any\n' > "$work/debian/control"
  # Debian's armhf libstdc++ symbols file lacks __aeabi_atexit, which the programs take from
  # it: a warning per program that changes nothing in the dependencies.
  (cd "$work" && DEB_HOST_ARCH=$arch dpkg-shlibdeps -O debian/vellumet/usr/bin/* 2>&1 >&3 |
    { grep -v 'reference to symbol __aeabi_atexit@' >&2 || true; }) 3>&1 | sed -n 's/^shlibs:Depends=//p'
}

# Makes out/vellumet_VERSION_ARCH.deb from the build in $2.
package() {
  local arch=$1 dir=$2 work stage version depends size
  work=$(mktemp -d)
  stage=$work/debian/vellumet
  mkdir -p "$stage"
  DESTDIR=$stage cmake --install "$dir" --prefix /usr >/dev/null
  # Stripped as Debian strips programs, with the target's own strip.
  local strip
  strip=$(sed -n 's/^CMAKE_STRIP:FILEPATH=//p' "$dir/CMakeCache.txt")
  "$strip" --remove-section=.comment --remove-section=.note --strip-unneeded "$stage"/usr/bin/*
  local doc=$stage/usr/share/doc/vellumet
  gzip -9n "$doc/README.md" "$doc/device.md"
  gzip -9n < "$package_dir/changelog" > "$doc/changelog.gz"
  cp "$package_dir/copyright" "$doc/"

  size=$(du -sk "$stage" | cut -f1)
  mkdir "$stage/DEBIAN"
  version=$(dpkg-parsechangelog -l "$package_dir/changelog" -S Version)
  depends=$(shlib_depends "$arch" "$work")
  [ -n "$depends" ] || { echo "make-deb: no library dependencies found for $arch" >&2; exit 1; }
  sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@SIZE@/$size/" -e "s/@SHLIBS@/$depends/" \
    "$package_dir/control" > "$stage/DEBIAN/control"
  install -m 755 "$package_dir/postinst" "$package_dir/postrm" "$stage/DEBIAN/"
  (cd "$stage" && find etc -type f -printf '/%p\n' | sort) > "$stage/DEBIAN/conffiles"
  (cd "$stage" && find . \( -path ./DEBIAN -o -path ./etc \) -prune -o -type f -printf '%P\0' | sort -z | xargs -0 md5sum) \
    > "$stage/DEBIAN/md5sums"
  dpkg-deb --root-owner-group -Zxz --build "$stage" "$out/vellumet_${version}_${arch}.deb" >/dev/null
  rm -rf "$work"
  echo "make-deb: $out/vellumet_${version}_${arch}.deb ($(du -k "$out/vellumet_${version}_${arch}.deb" | cut -f1) KiB)"
}

for arch in "${archs[@]}"; do
  if [ -n "$build_dir" ]; then
    package "$arch" "$build_dir"
  else
    build "$arch" "$out/$arch"
    package "$arch" "$out/$arch"
  fi
done
