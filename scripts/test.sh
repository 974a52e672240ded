#!/usr/bin/env bash
# The whole test suite: unit tests plain, under AddressSanitizer + UndefinedBehaviorSanitizer and
# under ThreadSanitizer; the Windows build; a short run of every fuzz target; one pass of every
# benchmark; and the end-to-end tests of the real executable.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-deps.sh

jobs=$(nproc)
fuzz_seconds=${LUMENHOP_FUZZ_SECONDS:-20}

for preset in native asan tsan; do
  echo "=== unit tests: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done

echo "=== Windows build"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"

echo "=== contract tests under Wine, against the real interfaces"
bash scripts/contract.sh

echo "=== fuzz targets, ${fuzz_seconds}s each"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
for target in build/fuzz/tests/fuzz/fuzz_* build/fuzz/tools/replay/fuzz_*; do
  [ -x "$target" ] || continue
  corpus="build/fuzz/corpus/$(basename "$target")"
  mkdir -p "$corpus"
  echo "--- $(basename "$target")"
  "$target" -max_total_time="$fuzz_seconds" -print_final_stats=0 "$corpus" 2>&1 | tail -n 2
done

echo "=== benchmarks, one short pass each"
cmake --preset bench >/dev/null
cmake --build --preset bench -j "$jobs"
for program in build/bench/bench/bench_*; do
  [ -x "$program" ] || continue
  "$program" --benchmark_min_time=0.01 >/dev/null
  echo "--- $(basename "$program") ran"
done

if [ -f scripts/e2e.sh ]; then
  echo "=== end-to-end tests under Wine"
  bash scripts/e2e.sh
fi

echo "=== all tests passed"
