#!/usr/bin/env bash
# Makes what the real-kernel tests boot for one architecture: Debian's own kernel and an
# initramfs holding a small init, busybox, the program, the virtual touch panel, the shared
# libraries they load, the fonts, the kernel modules for input and the DRM frame buffer, and
# a device root.
#
#   tests/kernel/prepare.sh ARCH OUT HOST_BIN [ARCH_BIN]
#     ARCH      amd64 or arm64 (Debian's names)
#     OUT       gets vmlinuz, initramfs.cpio and root/ (the device root the guest starts on)
#     HOST_BIN  the programs built for this machine (vellumet-make-demo makes the card)
#     ARCH_BIN  vellumet and vellumet-touch-panel built for ARCH (default: HOST_BIN)
#
# Debian's packages are fetched once with apt-get download into
# ${XDG_CACHE_HOME:-~/.cache}/vellumet-kernel/, and are never installed on this machine.
set -euo pipefail

arch=$1 out=$2 host_bin=$3 bin=${4:-$3}
here=$(cd "$(dirname "$0")" && pwd)
case $arch in
  amd64) triplet=x86_64-linux-gnu ;;
  arm64) triplet=aarch64-linux-gnu ;;
  *) echo "prepare.sh: unknown architecture $arch" >&2; exit 2 ;;
esac
cache=${XDG_CACHE_HOME:-$HOME/.cache}/vellumet-kernel/$arch
mkdir -p "$cache" "$out"
out=$(realpath "$out")

# Unpacks the Debian package NAME of ARCH into $cache/FOLDER once (delete it to take a newer
# version); prints that folder.
unpacked() {
  local name=$1 dir=$cache/$2
  if [ ! -d "$dir" ]; then
    # A machine whose package lists were never fetched knows no kernel package yet.
    if ! apt-cache show "linux-image-$arch:$arch" >/dev/null 2>&1; then
      if [ "$(id -u)" -eq 0 ]; then apt-get update -qq; else sudo apt-get update -qq; fi
    fi
    [ "$name" != linux-image ] || name=$(apt-cache depends "linux-image-$arch:$arch" |
      awk '/Depends: linux-image-/ {sub(/:.*/, "", $2); print $2; exit}')
    (cd "$cache" && rm -rf ./*.deb "$dir.part" && apt-get download -q "$name:$arch" >/dev/null 2>&1 &&
      dpkg-deb -x ./*.deb "$dir.part" && rm -f ./*.deb && mv "$dir.part" "$dir") ||
      { echo "prepare.sh: cannot fetch $name:$arch" >&2; exit 1; }
  fi
  echo "$dir"
}

kernel=$(unpacked linux-image kernel)
modules=$(echo "$kernel"/lib/modules/*)

tree=$out/initramfs
rm -rf "$tree"
mkdir -p "$tree"/{bin,dev,proc,sys,tmp,lib/modules}
cp "$kernel"/boot/vmlinuz-* "$out/vmlinuz"

# busybox: this machine's own for amd64, Debian's static build otherwise.
if [ "$arch" = amd64 ]; then cp /bin/busybox "$tree/bin/"; else cp "$(unpacked busybox-static busybox)/bin/busybox" "$tree/bin/"; fi
install -m 755 "$here/init.sh" "$tree/init"
for program in vellumet vellumet-touch-panel; do "$triplet-strip" -o "$tree/bin/$program" "$bin/$program"; done

# The shared libraries the programs need, found through their ELF headers (ldd cannot read
# another architecture's programs) in their run paths and the system's folders, and the
# dynamic loader.
declare -A seen
libraries=()
add_needs() {
  local line lib dir path dirs=("/lib/$triplet" "/usr/lib/$triplet") needs=()
  while read -r line; do
    case $line in
      *"(RUNPATH)"*) line=${line##*[}; IFS=: read -ra dirs <<<"${line%]}:/lib/$triplet:/usr/lib/$triplet" ;;
      *"(NEEDED)"*) line=${line##*[}; needs+=("${line%]}") ;;
    esac
  done < <(readelf -d "$1")
  for lib in "${needs[@]}"; do
    [ -n "${seen[$lib]:-}" ] && continue
    seen[$lib]=1
    path=
    for dir in "${dirs[@]}"; do [ -e "$dir/$lib" ] && { path=$dir/$lib; break; }; done
    [ -n "$path" ] || { echo "prepare.sh: $lib ($arch) is not installed" >&2; exit 1; }
    libraries+=("$path")
    add_needs "$path"
  done
}
for program in "$tree"/bin/vellumet*; do add_needs "$program"; done
cp -L --parents "${libraries[@]}" "$tree/"
interpreter=$(readelf -l "$tree/bin/vellumet" | sed -n 's/.*interpreter: \(.*\)]/\1/p')
mkdir -p "$tree$(dirname "$interpreter")"
cp -L "/usr/lib/$triplet/$(basename "$interpreter")" "$tree$interpreter"

# The fonts the program looks for, where it looks for them.
for font in /usr/share/fonts/truetype/liberation/LiberationSans-{Regular,Bold}.ttf /usr/share/fonts/truetype/wqy/wqy-microhei.ttc; do
  mkdir -p "$tree$(dirname "$font")"
  cp "$font" "$tree$font"
done

# Kernel modules: for each one the init may load, MODULE.load lists the files to load in
# order, its dependencies (read from the module's .modinfo) first.
module_file() { find "$modules/kernel" -name "$1.ko" -o -name "${1//_/-}.ko" | head -1; }
load_order() {
  local file dep
  file=$(module_file "$1")
  [ -n "$file" ] || { echo "prepare.sh: no module $1 in $kernel" >&2; exit 1; }
  for dep in $(tr '\0' '\n' <"$file" | sed -n 's/^depends=//p' | tr , ' '); do load_order "$dep"; done
  echo "${file#"$modules"/}"
}
for module in uinput evdev bochs; do
  load_order $module | awk '!seen[$0]++' >"$tree/lib/modules/$module.load"
  while read -r file; do
    mkdir -p "$tree/lib/modules/$(dirname "$file")"
    cp "$modules/$file" "$tree/lib/modules/$file"
  done <"$tree/lib/modules/$module.load"
done

# The device root: the demo's settings and a card whose page does not depend on the order a
# file system lists a folder in (folders come before photos): a PNG photo and a folder with
# a JPEG photo.
demo=$out/demo
rm -rf "$demo" "$out/root"
"$host_bin/vellumet-make-demo" "$demo" >/dev/null
mkdir -p "$out/root/SDMMC/city"
cp -a "$demo/NAND" "$demo/registry.txt" "$demo/battery.txt" "$out/root/"
cp "$demo/SDMMC/Café.png" "$out/root/SDMMC/"
cp "$demo/SDMMC/city/Straße.jpg" "$out/root/SDMMC/city/"
rm -rf "$demo"
cp -a "$out/root" "$tree/root"

(cd "$tree" && find . | LC_ALL=C sort | cpio -o -H newc --quiet) >"$out/initramfs.cpio"
rm -rf "$tree"
