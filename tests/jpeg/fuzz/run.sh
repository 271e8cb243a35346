#!/usr/bin/env bash
# Builds the JPEG core's fuzz target with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs it for a bounded time, seeded with generated
# pictures and the kept regression inputs. Fails on a crash, a leak or an input that takes
# more than a second. FUZZ_SECONDS (default 60) and FUZZ_BUILD (default build-fuzz) adjust it.
set -euo pipefail
root=$(cd "$(dirname "$0")/../../.." && pwd)
out=${FUZZ_BUILD:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-60}
mkdir -p "$out/seeds" "$out/corpus"

flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -pthread -I"$root")
sanitize=(-fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
echo "fuzz: building the target"
clang++ "${flags[@]}" "${sanitize[@]}" "$root"/jpeg/*.cpp "$root/tests/jpeg/fuzz/jpeg_fuzz.cpp" -o "$out/jpeg_fuzz"
clang++ "${flags[@]}" "$root"/tests/jpeg/support/*.cpp "$root/tools/demo/jpeg_encoder.cpp" -ljpeg -o "$out/make_samples"
"$out/make_samples" "$out/seeds"

echo "fuzz: running for ${seconds}s (log: $out/fuzz.log)"
cd "$out"
rm -f crash-* leak-* timeout-* oom-* slow-unit-*
status=0
ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ./jpeg_fuzz -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 -max_len=16384 \
  -artifact_prefix="$out/" -print_final_stats=1 corpus seeds "$root/tests/jpeg/fuzz/regressions" \
  >fuzz.log 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
  tail -n 60 fuzz.log
  echo "fuzz: failed; keep the input below in tests/jpeg/fuzz/regressions/ once it is fixed:"
  ls "$out"/crash-* "$out"/leak-* "$out"/timeout-* "$out"/oom-* 2>/dev/null || true
  exit 1
fi
grep -E "^stat::(number_of_executed_units|average_exec_per_sec)" fuzz.log || true
echo "fuzz: clean"
