#!/usr/bin/env bash
# Builds the BMP reader's fuzz target (run.sh, run.sh bmp) or the EXIF reader's (run.sh exif)
# with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) and runs it for a bounded
# time, seeded with generated pictures or tagged JPEG headers and the kept regression inputs.
# Fails on a crash, a leak or an input that takes more than a second. FUZZ_SECONDS (default 20)
# and FUZZ_BUILD (default build-fuzz/TARGET) adjust it.
set -euo pipefail
root=$(cd "$(dirname "$0")/../../../.." && pwd)
here="$root/tests/platform/imaging/fuzz"
target=${1:-bmp}
out=${FUZZ_BUILD:-$root/build-fuzz/$target}
seconds=${FUZZ_SECONDS:-20}
mkdir -p "$out/seeds" "$out/corpus"

flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -I"$root")
sanitize=(-fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
echo "$target fuzz: building the target"
if [ "$target" = exif ]; then
  clang++ "${flags[@]}" "${sanitize[@]}" "$root/platform/imaging/exif.cpp" "$here/exif_fuzz.cpp" -o "$out/fuzz"
  # A little-endian block with a SHORT tag after a JFIF segment, and a big-endian one with a LONG.
  printf '\xff\xd8\xff\xe0\x00\x04JF\xff\xe1\x00\x22Exif\0\0II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0\0\0\0\0\xff\xd9' >"$out/seeds/le.jpg"
  printf '\xff\xd8\xff\xe1\x00\x22Exif\0\0MM\0*\0\0\0\x08\0\x01\x01\x12\0\x04\0\0\0\x01\0\0\0\x03\0\0\0\0\xff\xda' >"$out/seeds/be.jpg"
else
  clang++ "${flags[@]}" "${sanitize[@]}" "$root/platform/imaging/bmp_format.cpp" "$here/bmp_fuzz.cpp" -o "$out/fuzz"
  clang++ "${flags[@]}" "$root/tests/platform/imaging/bmp_files.cpp" "$here/make_seeds.cpp" -o "$out/make_seeds"
  "$out/make_seeds" "$out/seeds"
fi

echo "$target fuzz: running for ${seconds}s (log: $out/fuzz.log)"
cd "$out"
rm -f crash-* leak-* timeout-* oom-* slow-unit-*
status=0
ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ./fuzz -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 -max_len=8192 \
  -artifact_prefix="$out/" -print_final_stats=1 corpus seeds "$here/regressions" \
  >fuzz.log 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
  tail -n 60 fuzz.log
  echo "$target fuzz: failed; keep the input below in tests/platform/imaging/fuzz/regressions/ once it is fixed:"
  ls "$out"/crash-* "$out"/leak-* "$out"/timeout-* "$out"/oom-* 2>/dev/null || true
  exit 1
fi
grep -E "^stat::(number_of_executed_units|average_exec_per_sec)" fuzz.log || true
echo "$target fuzz: clean"
