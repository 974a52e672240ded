#!/usr/bin/env bash
# Every C and C++ file git lists, in the one format .clang-format gives (Debian's clang-format).
# Exits 1 and names each file that differs; --fix formats them in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files -- '*.c' '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
    clang-format -i -- "${files[@]}"
    exit 0
fi
unformatted=0
for file in "${files[@]}"; do
    if ! clang-format --dry-run --Werror -- "$file" >/dev/null 2>&1; then
        echo "not formatted: $file (bash scripts/format.sh --fix)"
        unformatted=1
    fi
done
[ "$unformatted" -eq 0 ] && echo "${#files[@]} C and C++ files formatted"
exit "$unformatted"
