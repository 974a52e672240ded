#!/usr/bin/env bash
# The test budget. A copy of the files git lists is formatted with scripts/count.clang-format, a
# yardstick kept apart from the code's own style, so that neither style nor packing moves the
# count; cloc then counts code lines. Test code is every line that exists only for the tests:
# tests/, platform/substitute/, tools/replay/, the end-to-end harness (scripts/e2e.sh,
# scripts/wine-session.sh) and the Wine tests' session and emulator (scripts/wine-tests.sh).
# Shipped code: app, settings, monitor, tray, driveinfo, platform/ outside the substitute, wine/,
# and res/ without README.txt's prose. Limits: the test code at
# most 1.5 times the shipped code, the substitute at most 1,200 lines. Exits 1 when one is over.
set -euo pipefail
cd "$(dirname "$0")/.."

copy=$(mktemp -d)
trap 'rm -rf "$copy"' EXIT
git ls-files -z | tar -c --null -T - | tar -x -C "$copy"
(cd "$copy" && git -C "$OLDPWD" ls-files -z -- '*.c' '*.cpp' '*.h' |
    xargs -0 clang-format -i --style=file:"$OLDPWD/scripts/count.clang-format")

# lines PATH...: cloc's code lines, every language it knows, in those paths of the copy.
lines() {
    (cd "$copy" && cloc --quiet --csv -- "$@") |
        awk -F, '$2 != "language" && $2 != "SUM" { code += $5 } END { print code + 0 }'
}

substitute=$(lines platform/substitute)
tests=$(lines tests tools/replay scripts/e2e.sh scripts/wine-session.sh scripts/wine-tests.sh)
rm "$copy/res/README.txt"
shipped=$(($(lines app settings monitor tray driveinfo platform wine res) - substitute))

awk -v substitute="$substitute" -v tests="$tests" -v shipped="$shipped" 'BEGIN {
    total = tests + substitute
    ratio = shipped > 0 ? total / shipped : 0
    printf "%-44s %6d   limit %6d   %s\n", "platform/substitute/", substitute, 1200,
        substitute <= 1200 ? "ok" : "OVER"
    printf "%-44s %6d\n", "tests/, tools/replay/, the Wine harnesses", tests
    printf "%-44s %6d\n", "all test code", total
    printf "%-44s %6d\n", "shipped code", shipped
    printf "%-44s %6.2f   limit %6.2f   %s\n", "test code / shipped code", ratio, 1.5,
        ratio <= 1.5 ? "ok" : "OVER"
    exit (substitute > 1200 || ratio > 1.5) ? 1 : 0
}'
