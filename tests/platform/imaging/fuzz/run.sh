#!/usr/bin/env bash
# Builds the BMP reader's fuzz target with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs it for a bounded time, seeded with generated
# pictures of every kind and the kept regression inputs. Fails on a crash, a leak or an
# input that takes more than a second. FUZZ_SECONDS (default 20) and FUZZ_BUILD (default
# build-fuzz/bmp) adjust it.
set -euo pipefail
root=$(cd "$(dirname "$0")/../../../.." && pwd)
here="$root/tests/platform/imaging/fuzz"
out=${FUZZ_BUILD:-$root/build-fuzz/bmp}
seconds=${FUZZ_SECONDS:-20}
mkdir -p "$out/seeds" "$out/corpus"

flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -I"$root")
sanitize=(-fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
echo "bmp fuzz: building the target"
clang++ "${flags[@]}" "${sanitize[@]}" "$root/platform/imaging/bmp_format.cpp" "$here/bmp_fuzz.cpp" -o "$out/bmp_fuzz"
clang++ "${flags[@]}" "$root/tests/platform/imaging/bmp_files.cpp" "$here/make_seeds.cpp" -o "$out/make_seeds"
"$out/make_seeds" "$out/seeds"

echo "bmp fuzz: running for ${seconds}s (log: $out/fuzz.log)"
cd "$out"
rm -f crash-* leak-* timeout-* oom-* slow-unit-*
status=0
ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ./bmp_fuzz -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 -max_len=8192 \
  -artifact_prefix="$out/" -print_final_stats=1 corpus seeds "$here/regressions" \
  >fuzz.log 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
  tail -n 60 fuzz.log
  echo "bmp fuzz: failed; keep the input below in tests/platform/imaging/fuzz/regressions/ once it is fixed:"
  ls "$out"/crash-* "$out"/leak-* "$out"/timeout-* "$out"/oom-* 2>/dev/null || true
  exit 1
fi
grep -E "^stat::(number_of_executed_units|average_exec_per_sec)" fuzz.log || true
echo "bmp fuzz: clean"
