#!/usr/bin/env bash
# The whole test suite, stage by stage, or the stages named:
#
#   bash scripts/test.sh [STAGE...]      bash scripts/test.sh --help lists the stages
#
# Without a stage it runs them all, in the order listed, and goes on past a stage that fails; the
# summary names the failed ones and the command exits 1 if there are any.
set -euo pipefail
cd "$(dirname "$0")/.."

stages=(format budget unit windows release wine fuzz bench e2e)
describe() {
  case $1 in
  format) echo "every C and C++ file in the one format (scripts/format.sh)" ;;
  budget) echo "the test code within its line budget (scripts/budget.sh)" ;;
  unit) echo "unit tests plain, under AddressSanitizer + UBSan and under ThreadSanitizer (ctest)" ;;
  windows) echo "the Windows build, without a warning" ;;
  release) echo "the release made twice, compared byte for byte; the zip's exe checked" ;;
  wine) echo "the contract, window and dialog tests under Wine, at every DPI (ctest -L wine)" ;;
  fuzz) echo "each fuzz target for ${LUMENHOP_FUZZ_SECONDS:-20} seconds (LUMENHOP_FUZZ_SECONDS)" ;;
  bench) echo "one short pass of every benchmark" ;;
  e2e) echo "the end-to-end scenarios of the real exe under Wine (scripts/e2e.sh)" ;;
  esac
}
usage() {
  sed -n '2,7s/^# \{0,1\}//p' "$0"
  echo
  for stage in "${stages[@]}"; do printf '  %-8s %s\n' "$stage" "$(describe "$stage")"; done
}

jobs=$(nproc)

stage_format() { bash scripts/format.sh; }
stage_budget() { bash scripts/budget.sh; }

stage_unit() {
  for preset in native asan tsan; do
    echo "--- $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
  done
}

stage_windows() {
  cmake --preset windows >/dev/null
  cmake --build --preset windows -j "$jobs"
}

stage_release() {
  # What users download: made twice by scripts/release.sh from two copies of the tree, at two
  # paths of different lengths and some seconds apart, and compared byte for byte; then the exe
  # out of the zip goes through the exe check.
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
}

# One Wine session for all of them: ctest's fixture "wine" sets it up and ends it.
stage_wine() {
  stage_windows
  ctest --preset windows -L wine
}

stage_fuzz() {
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j "$jobs"
  for target in build/fuzz/tests/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    corpus="build/fuzz/corpus/$(basename "$target")"
    mkdir -p "$corpus"
    echo "--- $(basename "$target")"
    "$target" -max_total_time="${LUMENHOP_FUZZ_SECONDS:-20}" -print_final_stats=0 "$corpus" 2>&1 | tail -n 2
  done
}

stage_bench() {
  cmake --preset bench >/dev/null
  cmake --build --preset bench -j "$jobs"
  for program in build/bench/bench/bench_*; do
    [ -x "$program" ] || continue
    "$program" --benchmark_min_time=0.01 >/dev/null
    echo "--- $(basename "$program") ran"
  done
}

stage_e2e() { bash scripts/e2e.sh; }

chosen=("$@")
[ ${#chosen[@]} -gt 0 ] || chosen=("${stages[@]}")
for stage in "${chosen[@]}"; do
  case $stage in
  -h | --help) usage; exit 0 ;;
  esac
  [ -n "$(describe "$stage")" ] || { echo "test.sh: no stage \"$stage\"" >&2; usage >&2; exit 2; }
done

bash scripts/setup-deps.sh
failed=()
for stage in "${chosen[@]}"; do
  echo "=== $stage: $(describe "$stage")"
  started=$SECONDS
  # In a subshell of its own, so that a failing command ends its stage alone.
  set +e
  (
    set -e
    "stage_$stage"
  )
  status=$?
  set -e
  if [ "$status" = 0 ]; then
    echo "--- $stage passed, $((SECONDS - started)) s"
  else
    echo "--- $stage FAILED (exit $status), $((SECONDS - started)) s"
    failed+=("$stage")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "=== failed: ${failed[*]}"
  exit 1
fi
echo "=== all passed: ${chosen[*]}"
