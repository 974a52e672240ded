#!/usr/bin/env bash
# Mutation run: plants one simple fault at a time in the program's own sources and headers
# (flipped comparisons and logic, constants off by one, deleted calls, swapped booleans), rebuilds
# the tests that can see it, runs them and reports whether they noticed. A fault in code the host
# build compiles goes to every native test, under AddressSanitizer + UBSan (build/mutate-asan);
# one in code the cross-built test programs or the pdh.dll they load compile goes to those
# programs, run under Wine (build/mutate-windows). The sample is fixed by the seed, so two runs
# on the same tree plant the same faults. --timeout is the least time a test run is given.
#
#   bash scripts/mutate.sh [--seed S] [--count N] [--timeout SECONDS] [--list]
set -uo pipefail
cd "$(dirname "$0")/.."

seed=1
count=60
min_timeout=120   # a test run's limit is this or five times the unmutated run, whichever is longer
list_only=0
native_dir=build/mutate-asan
windows_dir=build/mutate-windows

usage() { sed -n '2,10s/^# \{0,1\}//p' "$0"; }

while [ $# -gt 0 ]; do
  case "$1" in
    --seed) seed=${2:?--seed needs a value}; shift 2 ;;
    --count) count=${2:?--count needs a value}; shift 2 ;;
    --timeout) min_timeout=${2:?--timeout needs a value}; shift 2 ;;
    --list) list_only=1; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "mutate.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
  esac
done
for number in "$seed" "$count" "$min_timeout"; do
  [[ "$number" =~ ^[0-9]+$ ]] || { echo "mutate.sh: '$number' is not a whole number" >&2; exit 2; }
done

work=$(mktemp -d)
plan=$work/plan.json
python3 scripts/mutants.py plan --seed "$seed" --count "$count" "$plan" || exit 1

if [ "$list_only" = 1 ]; then
  python3 scripts/mutants.py show "$plan"
  rm -rf "$work"
  exit 0
fi

source scripts/wine-session.sh
# The asan test preset's sanitizer options.
eval "$(python3 -c 'import json, shlex
presets = json.load(open("CMakePresets.json"))["testPresets"]
for name, value in next(p for p in presets if p["name"] == "asan")["environment"].items():
    print(f"export {name}={shlex.quote(value)}")')"

logs=build/mutate-logs
mutated_file=""   # the source that holds a planted fault right now, if any
job_pid=""        # the build or test run going on, if any

# Puts back the file under mutation, if there is one. Used after every mutant and on every way out.
restore() {
  if [ -n "$mutated_file" ]; then
    cp -- "$work/original" "$mutated_file"
    # A fresh time stamp, so that the builds recompile the restored file.
    touch -- "$mutated_file"
    mutated_file=""
  fi
}
on_exit() {
  if [ -n "$job_pid" ]; then kill "$job_pid" 2>/dev/null; wait "$job_pid" 2>/dev/null; fi
  restore
  wine_session_end
  rm -rf "$work"
}
trap on_exit EXIT
trap 'echo; echo "mutate.sh: interrupted, sources restored" >&2; exit 130' INT TERM HUP

# job LOG COMMAND...: runs the command with its output in LOG and answers its status. In the
# background, so that Ctrl-C is acted on at once.
job() {
  local log=$1
  shift
  "$@" >"$log" 2>&1 &
  job_pid=$!
  # Quietly: a crash is reported as the mutant's fate, not by the shell.
  wait "$job_pid" 2>/dev/null
  local status=$?
  job_pid=""
  return "$status"
}

wine_ready=0
build_native() { job "$1" ninja -C "$native_dir" -j2; }
build_windows() {
  job "$1" ninja -C "$windows_dir" -j2 "${windows_targets[@]}" || return 1
  # The provider just built is the Wine prefix's own pdh.dll, once the session's prefix is there.
  if [ "$wine_ready" = 1 ]; then wine_session_provider "$windows_dir/wine/pdh.dll"; fi
}

# Every test ctest knows in the sanitizer build, stopping at the first failure.
test_native() {
  job "$1" timeout -k 10 $((native_timeout + 30)) ctest --test-dir "$native_dir" -j2 --stop-on-failure \
    --output-on-failure --timeout "$native_timeout"
}
# Each cross-built test program under Wine, stopping at the first failure.
test_windows() {
  local program status
  : >"$1"
  for program in "${windows_programs[@]}"; do
    echo "=== $program" >>"$1"
    job "$1.part" timeout -k 10 "$windows_timeout" wine "$windows_dir/$program" --gtest_fail_fast
    status=$?
    cat "$1.part" >>"$1"
    rm -f "$1.part"
    [ "$status" = 0 ] || return "$status"
  done
}

# How a failed run ended: "SIDE: what", from the run's status ($2) and its log ($3).
fate_of() {
  local side=$1 code=$2 log=$3 limit failed name sanitizer
  limit=$([ "$side" = native ] && echo "$native_timeout" || echo "$windows_timeout")
  if [ "$code" = 124 ] || [ "$code" = 137 ]; then echo "$side: timeout after $limit s"; return; fi
  sanitizer=$(grep -m1 -oE 'ERROR: (Address|Leak)Sanitizer: [a-z-]+|runtime error: [^,(]{1,40}' "$log" |
    sed 's/^ERROR: //')
  if [ "$side" = native ]; then
    # ctest's line for the first test that did not pass: "Test  #12: Suite.Name ...***Failed".
    failed=$(grep -E 'Test +#[0-9]+: ' "$log" | grep -vm1 ' Passed ')
    name=$(sed -E 's/.*#[0-9]+: ([^ ]+) .*/\1/' <<<"$failed")
    case "$failed" in
      "") echo "$side: ctest exit $code${sanitizer:+ ($sanitizer)}" ;;
      *Failed*) echo "$side: $name failed${sanitizer:+ ($sanitizer)}" ;;
      *Timeout*) echo "$side: timeout after $limit s in $name" ;;
      *) echo "$side: $name crashed${sanitizer:+ ($sanitizer)}" ;;
    esac
  else
    failed=$(grep -m1 -o '^\[  FAILED  \] [A-Za-z0-9_/.]*' "$log" | sed 's/^\[  FAILED  \] //')
    if [ -n "$failed" ]; then echo "$side: $failed failed"; return; fi
    failed=$(grep -o '^\[ RUN      \] [A-Za-z0-9_/.]*' "$log" | tail -n 1 | sed 's/^\[ RUN      \] //')
    echo "$side: crashed (exit $code) in ${failed:-?}"
  fi
}

if [ ! -f "$native_dir/build.ninja" ]; then
  echo "configuring $native_dir like the asan preset"
  cmake --preset asan -B "$native_dir" >/dev/null || exit 1
fi
if [ ! -f "$windows_dir/build.ninja" ]; then
  echo "configuring $windows_dir like the windows preset"
  cmake --preset windows -B "$windows_dir" >/dev/null || exit 1
fi
mkdir -p "$logs"
rm -f "$logs"/*.log
# The cross-built test programs, and the disk-counter provider they load instead of Wine's pdh.dll.
mapfile -t windows_programs < <(ninja -C "$windows_dir" -t targets all | sed -n 's/^\(tests\/[^:]*\.exe\): .*/\1/p')
windows_targets=("${windows_programs[@]}" wine/pdh.dll)

# What the tree looks like now (build/ is ignored); the run must leave it so.
status_before=$(git status --porcelain --untracked-files=all)
sums_before=$(python3 -c 'import json,sys; print("\n".join(json.load(open(sys.argv[1]))["files"]))' "$plan" |
  xargs sha256sum)

echo "building the unmutated tree: $native_dir (all), $windows_dir (${windows_targets[*]})"
for side in native windows; do
  if ! "build_$side" "$logs/baseline-$side-build.log"; then
    echo "mutate.sh: the unmutated tree does not build; see $logs/baseline-$side-build.log" >&2; exit 1
  fi
done
python3 scripts/mutants.py route "$plan" native "$native_dir" all &&
  python3 scripts/mutants.py route "$plan" windows "$windows_dir" "${windows_targets[@]}" || exit 1

# One Wine session for the whole run: the prefix is made once, the server and the display stay up.
wine_session_prefix "$PWD/$windows_dir/wine" || exit 1
wine_session_unmanaged
wine_session_provider "$windows_dir/wine/pdh.dll" || exit 1
wine_ready=1
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;pdh=n,b"
wine_session_display || exit 1
wineserver -p
# A crash ends the program at once, with no dialog waiting for a click.
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1

native_timeout=100000 windows_timeout=100000
for side in native windows; do
  start=$SECONDS
  if ! "test_$side" "$logs/baseline-$side-tests.log"; then
    echo "mutate.sh: the $side tests fail without any mutant; see $logs/baseline-$side-tests.log" >&2; exit 1
  fi
  took=$((SECONDS - start))
  limit=$((5 * took > min_timeout ? 5 * took : min_timeout))
  printf -v "${side}_timeout" %d "$limit"
  echo "$side tests pass in $took s; a mutant's run is stopped after $limit s"
done
mapfile -t mutants < <(python3 scripts/mutants.py show "$plan")
echo "${mutants[0]}"
mutants=("${mutants[@]:1}")
echo

killed=0 survived=0 not_built=0
survivors=()
run_start=$SECONDS
total=${#mutants[@]}
for line in "${mutants[@]}"; do
  IFS=$'\t' read -r index where route operator description <<<"$line"
  file=${where%:*}
  mutant_start=$SECONDS

  cp -- "$file" "$work/original"
  mutated_file=$file
  if ! python3 scripts/mutants.py apply "$plan" "$index"; then
    echo "mutate.sh: could not plant mutant $index" >&2; exit 1
  fi

  # Each side the file is built on, until one notices.
  tag=$(printf '%03d' "$index")
  fate="" built=0
  for side in ${route//+/ }; do
    [ "$side" = untested ] || [ "$side" = unbuilt ] && continue
    "build_$side" "$logs/$tag-$side-build.log" || continue
    built=1
    "test_$side" "$logs/$tag-$side-tests.log" && continue
    fate="killed ($(fate_of "$side" $? "$logs/$tag-$side-tests.log"))"
    break
  done
  if [ -n "$fate" ]; then
    killed=$((killed + 1))
  elif [ "$route" = untested ]; then
    fate="SURVIVED (it ships, but no test program builds it)"
    survived=$((survived + 1))
    survivors+=("$where  $operator  $description  (untested)")
  elif [ "$route" = unbuilt ]; then
    fate="not built (no build compiles this code)"
    not_built=$((not_built + 1))
  elif [ "$built" = 0 ]; then
    fate="not built"
    not_built=$((not_built + 1))
  else
    fate="SURVIVED"
    survived=$((survived + 1))
    survivors+=("$where  $operator  $description")
  fi
  restore
  printf '[%2d/%d] %s  [%s]  %s  %s  => %s  (%d s)\n' "$index" "$total" "$where" "$route" "$operator" \
    "$description" "$fate" $((SECONDS - mutant_start))
done

echo
echo "seed $seed: $total mutants, killed $killed, survived $survived, not built $not_built" \
  "in $((SECONDS - run_start)) s"
if [ $((killed + survived)) -gt 0 ]; then
  awk -v k="$killed" -v s="$survived" \
    'BEGIN { printf "kill rate %d/%d = %.1f%%\n", k, k + s, 100 * k / (k + s) }'
fi
if [ "${#survivors[@]}" -gt 0 ]; then
  echo "survivors:"
  printf '  %s\n' "${survivors[@]}"
fi

status_after=$(git status --porcelain --untracked-files=all)
sums_after=$(sha256sum $(awk '{ print $2 }' <<<"$sums_before"))
if [ "$status_before" != "$status_after" ] || [ "$sums_before" != "$sums_after" ]; then
  echo "mutate.sh: the tree differs from before the run" >&2
  git status --short >&2
  exit 1
fi
echo "tree unchanged (git status and source checksums as before)"
