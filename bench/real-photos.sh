#!/usr/bin/env bash
# The JPEG core against libjpeg-turbo on real photographs. Fetches Debian packages of photo
# wallpapers (kept in the cache, never in the repository), makes progressive, restart-marker
# and grey variants with jpegtran, and runs vellumet-real-photo-bench on them: a table of
# medians of alternating runs of the core with one thread and with all it may use, of
# libjpeg-turbo's fastest road and of the reference the benchmarks had before, with the
# ratios core / libjpeg-turbo and the core's longest decode call.
#   bench/real-photos.sh [-n REPS] [--record] [--only NAME-PATTERN]
# The core's output (with either thread count) is checked against bench/real-photos.sums;
# --record writes that file anew from the core as it is.
# Environment: VELLUMET_BENCH_CACHE (default ~/.cache/vellumet-bench), BUILD (default build).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${VELLUMET_BENCH_CACHE:-$HOME/.cache/vellumet-bench}
build=${BUILD:-$root/build}
sums=$root/bench/real-photos.sums
reps=7
record=0
only=.
while [ $# -gt 0 ]; do
  case $1 in
    -n) reps=$2; shift 2 ;;
    --record) record=1; shift ;;
    --only) only=$2; shift 2 ;;
    *) echo "usage: bench/real-photos.sh [-n REPS] [--record] [--only NAME-PATTERN]" >&2; exit 2 ;;
  esac
done

packages=(mate-backgrounds ukui-wallpapers lomiri-wallpapers-20.04)
mkdir -p "$cache/debs" "$cache/photos"
for p in "${packages[@]}"; do
  if [ ! -d "$cache/x/$p" ]; then
    echo "real-photos: fetching $p" >&2
    if ! (cd "$cache/debs" && apt-get download "$p" >/dev/null 2>&1); then
      echo "real-photos: apt-get download $p failed (run apt-get update first?)" >&2
      exit 1
    fi
    mkdir -p "$cache/x/$p.tmp"
    dpkg-deb -x "$cache"/debs/"$p"_*.deb "$cache/x/$p.tmp"
    mv "$cache/x/$p.tmp" "$cache/x/$p"
  fi
done
command -v jpegtran >/dev/null || { echo "real-photos: jpegtran missing (libjpeg-turbo-progs; make deps)" >&2; exit 1; }

mate=$cache/x/mate-backgrounds/usr/share/backgrounds/mate
ukui=$cache/x/ukui-wallpapers/usr/share/backgrounds
lomiri=$cache/x/lomiri-wallpapers-20.04/usr/share/backgrounds
photos=$cache/photos
# Variants, made once: lossless rewrites of the entropy-coded data and the headers.
variant() {  # OUT IN jpegtran-options...
  local out=$photos/$1 in=$2
  shift 2
  if [ ! -s "$out" ]; then
    jpegtran -copy none "$@" -outfile "$out.tmp" "$in"
    mv "$out.tmp" "$out"
  fi
}
variant meadow-base.jpg "$mate/nature/GreenMeadow.jpg"
variant ukui-prog.jpg "$ukui/firstgeneration.jpg" -progressive
variant ladybird-rst.jpg "$mate/nature/LadyBird.jpg" -restart 1
variant storm-prog-rst.jpg "$mate/nature/Storm.jpg" -progressive -restart 2
variant storm-grey.jpg "$mate/nature/Storm.jpg" -grayscale
variant elephants-base.jpg "$mate/abstract/Elephants_5640x3172.jpg"

list=$photos/cases.txt
cat >"$list" <<LIST
ladybird $mate/nature/LadyBird.jpg pipeline
ladybird $mate/nature/LadyBird.jpg 800x480
ladybird-rst $photos/ladybird-rst.jpg pipeline
storm $mate/nature/Storm.jpg pipeline
storm $mate/nature/Storm.jpg 800x480
storm-grey $photos/storm-grey.jpg pipeline
storm-prog-rst $photos/storm-prog-rst.jpg pipeline
meadow-base $photos/meadow-base.jpg pipeline
meadow $mate/nature/GreenMeadow.jpg pipeline
dune $mate/nature/Dune.jpg pipeline
ukui $ukui/firstgeneration.jpg pipeline
ukui $ukui/firstgeneration.jpg 800x480
ukui-prog $photos/ukui-prog.jpg pipeline
ukui-prog $photos/ukui-prog.jpg 800x480
elephants-hd $mate/abstract/Elephants.jpg pipeline
elephants $mate/abstract/Elephants_5640x3172.jpg pipeline
elephants $mate/abstract/Elephants_5640x3172.jpg 800x480
elephants-base $photos/elephants-base.jpg pipeline
kleiber $lomiri/Kleiber_by_Lukas_Baubkus.jpg pipeline
kleiber $lomiri/Kleiber_by_Lukas_Baubkus.jpg 800x480
sea $lomiri/Infinite-Sea_by_Aury88.jpg pipeline
sea $lomiri/Infinite-Sea_by_Aury88.jpg 800x480
LIST
grep -E "^[^ ]*($only)" "$list" >"$list.run" || { echo "real-photos: no case matches $only" >&2; exit 2; }

bench=$build/bin/vellumet-real-photo-bench
[ -x "$bench" ] || cmake --build "$build" --target vellumet-real-photo-bench -j2 >/dev/null
echo "bench/real-photos.sh -n $reps: medians of $reps alternating runs each, $(date -u +%Y-%m-%d)"
if [ "$record" -eq 1 ]; then
  "$bench" "$list.run" -n "$reps" --record "$sums"
else
  "$bench" "$list.run" -n "$reps" --check "$sums"
fi
