#!/usr/bin/env bash
# The whole test suite: unit tests plain, under AddressSanitizer + UndefinedBehaviorSanitizer and
# under ThreadSanitizer; the Windows build; the release, made twice and compared; a short run of
# every fuzz target; one pass of every benchmark; and the end-to-end tests of the real executable.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup-deps.sh

echo "=== format"
bash scripts/format.sh
echo "=== test budget"
bash scripts/budget.sh

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

# What users download: made twice by scripts/release.sh from two copies of the tree, at two
# paths of different lengths and some seconds apart, and compared byte for byte; then the exe
# out of the zip goes through the exe check.
echo "=== release: made twice, compared byte for byte; the zip's exe checked"
release_started=$SECONDS
release_work=$(mktemp -d /tmp/lumenhop-release.XXXXXX)
trap 'rm -rf "$release_work"' EXIT
release_copies=("$release_work/a" "$release_work/a-second-copy-further-down/b")
for copy in "${release_copies[@]}"; do
  mkdir -p "$copy"
  tar -c --exclude=./build --exclude=./.git . | tar -x -C "$copy"
  # Copies without git history: both zips take the fixed date. No SOURCE_DATE_EPOCH, which the
  # linker would take for the exe's time stamp and so hide one that the build itself lets in.
  env -u SOURCE_DATE_EPOCH bash "$copy/scripts/release.sh" | tail -n 2
done
release_zip=$(cd "${release_copies[0]}/build/release" && echo Lumenhop-*-win32.zip)
for file in build/release-build/app/Lumenhop.exe "build/release/$release_zip"; do
  cmp "${release_copies[0]}/$file" "${release_copies[1]}/$file"
done
(cd "${release_copies[0]}/build/release" && sha256sum -c "$release_zip.sha256")
/usr/bin/python3 -m zipfile -l "${release_copies[0]}/build/release/$release_zip"
/usr/bin/python3 - "${release_copies[0]}/build/release/$release_zip" "$release_work/unzipped" <<'PYTHON'
import sys
import zipfile

archive = zipfile.ZipFile(sys.argv[1])
names = archive.namelist()
if names != ["Lumenhop.exe", "README.txt"]:
    sys.exit("the zip holds %s, not exactly Lumenhop.exe and README.txt" % names)
text = archive.read("README.txt")
if b"\n" in text.replace(b"\r\n", b"") or b"\r" in text.replace(b"\r\n", b""):
    sys.exit("README.txt has line ends other than CR LF")
if sys.argv[1].rsplit("/", 1)[1].encode() not in text:
    sys.exit("README.txt does not name the zip it comes in")
archive.extractall(sys.argv[2])
PYTHON
/usr/bin/python3 tools/PeCheck.py "$release_work/unzipped/Lumenhop.exe"
rm -rf "$release_work"
trap - EXIT
echo "--- identical twice, $((SECONDS - release_started))s"

echo "=== contract tests, window and dialog tests under Wine, against the real interfaces"
bash scripts/wine-tests.sh

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
