#!/usr/bin/env bash
# Mutation run: plants one simple fault at a time in the program's own sources (flipped
# comparisons and logic, constants off by one, deleted calls, swapped booleans), rebuilds the
# unit tests, runs them and reports whether they noticed. The sample is fixed by the seed, so two
# runs on the same tree plant the same faults.
#
#   bash scripts/mutate.sh [--seed S] [--count N] [--build-dir DIR] [--timeout SECONDS] [--list]
set -uo pipefail
cd "$(dirname "$0")/.."

seed=1
count=60
build_dir=build/mutate
test_timeout=90
list_only=0

usage() { sed -n '2,7s/^# \{0,1\}//p' "$0"; }

while [ $# -gt 0 ]; do
  case "$1" in
    --seed) seed=${2:?--seed needs a value}; shift 2 ;;
    --count) count=${2:?--count needs a value}; shift 2 ;;
    --build-dir) build_dir=${2:?--build-dir needs a value}; shift 2 ;;
    --timeout) test_timeout=${2:?--timeout needs a value}; shift 2 ;;
    --list) list_only=1; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "mutate.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
  esac
done
for number in "$seed" "$count" "$test_timeout"; do
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

tests=$build_dir/tests/unit/lumenhop_unit_tests
logs=$build_dir/mutants
mutated_file=""   # the source that holds a planted fault right now, if any
test_pid=""

# Puts back the file under mutation, if there is one. Used after every mutant and on every way out.
restore() {
  if [ -n "$mutated_file" ]; then
    cp -- "$work/original" "$mutated_file"
    # A fresh time stamp, so that the build recompiles the restored file.
    touch -- "$mutated_file"
    mutated_file=""
  fi
}
on_exit() {
  if [ -n "$test_pid" ]; then kill "$test_pid" 2>/dev/null; wait "$test_pid" 2>/dev/null; fi
  restore
  rm -rf "$work"
}
trap on_exit EXIT
trap 'echo; echo "mutate.sh: interrupted, sources restored" >&2; exit 130' INT TERM HUP

build() {
  cmake --build "$build_dir" --target lumenhop_unit_tests -j2 >"$1" 2>&1
}

# Runs the unit tests, stopping at the first failure; the log is $1. Answers the gtest exit code,
# 124 for a run that outlived the timeout. Runs in the background so that Ctrl-C is acted on at once.
run_tests() {
  timeout -k 5 "$test_timeout" "$tests" --gtest_fail_fast >"$1" 2>&1 &
  test_pid=$!
  # Quietly: a crash is reported as the mutant's fate, not by the shell.
  wait "$test_pid" 2>/dev/null
  local status=$?
  test_pid=""
  return "$status"
}

if [ ! -f "$build_dir/build.ninja" ]; then
  echo "configuring $build_dir"
  cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null || exit 1
fi
mkdir -p "$logs"

# What the tree looks like now, apart from the build folder; the run must leave it so.
tree_status() {
  local root build
  root=$(git rev-parse --show-toplevel)
  build=$(realpath -m "$build_dir")
  if [[ "$build/" == "$root/"* ]]; then
    git status --porcelain --untracked-files=all -- . ":(exclude)${build#"$root/"}"
  else
    git status --porcelain --untracked-files=all
  fi
}
status_before=$(tree_status)
sums_before=$(python3 -c 'import json,sys; print("\n".join(json.load(open(sys.argv[1]))["files"]))' "$plan" |
  xargs sha256sum)

echo "building and testing the unmutated tree in $build_dir"
if ! build "$logs/baseline-build.log"; then
  echo "mutate.sh: the unmutated tree does not build; see $logs/baseline-build.log" >&2; exit 1
fi
start=$SECONDS
if ! run_tests "$logs/baseline-tests.log"; then
  echo "mutate.sh: the unit tests fail without any mutant; see $logs/baseline-tests.log" >&2; exit 1
fi
echo "unit tests pass in $((SECONDS - start)) s"
mapfile -t mutants < <(python3 scripts/mutants.py show "$plan")
echo "${mutants[0]}"
mutants=("${mutants[@]:1}")
echo

killed=0 survived=0 not_built=0
survivors=()
run_start=$SECONDS
total=${#mutants[@]}
for line in "${mutants[@]}"; do
  IFS=$'\t' read -r index where operator description <<<"$line"
  file=${where%:*}
  mutant_start=$SECONDS

  cp -- "$file" "$work/original"
  mutated_file=$file
  if ! python3 scripts/mutants.py apply "$plan" "$index"; then
    echo "mutate.sh: could not plant mutant $index" >&2; exit 1
  fi

  tag=$(printf '%03d' "$index")
  if ! build "$logs/$tag-build.log"; then
    fate="not-built"
    not_built=$((not_built + 1))
  elif run_tests "$logs/$tag-tests.log"; then
    fate="SURVIVED"
    survived=$((survived + 1))
    survivors+=("$where  $operator  $description")
  else
    code=$?
    killed=$((killed + 1))
    failed=$(grep -m1 -o '^\[  FAILED  \] [A-Za-z0-9_/.]*' "$logs/$tag-tests.log" | sed 's/^\[  FAILED  \] //')
    running=$(grep -o '^\[ RUN      \] [A-Za-z0-9_/.]*' "$logs/$tag-tests.log" | tail -n 1 | sed 's/^\[ RUN      \] //')
    if [ "$code" = 124 ] || [ "$code" = 137 ]; then
      fate="killed (timeout after ${test_timeout} s in ${running:-?})"
    elif [ -n "$failed" ]; then
      fate="killed by $failed"
    elif [ "$code" -gt 128 ]; then
      fate="killed (crashed, signal $((code - 128)), in ${running:-?})"
    else
      fate="killed (exit $code)"
    fi
  fi
  restore
  printf '[%2d/%d] %s  %s  %s  => %s  (%d s)\n' "$index" "$total" "$where" "$operator" \
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

status_after=$(tree_status)
sums_after=$(sha256sum $(awk '{ print $2 }' <<<"$sums_before"))
if [ "$status_before" != "$status_after" ] || [ "$sums_before" != "$sums_after" ]; then
  echo "mutate.sh: the tree differs from before the run" >&2
  git status --short >&2
  exit 1
fi
echo "tree unchanged (git status and source checksums as before)"
