#!/usr/bin/env bash
# The test budget, in cloc code lines (every language cloc counts, over the files git lists):
# platform/substitute/ at most 1200, tests/ at most 2000, and the two together at most 1.5 times
# the code that ships (app, settings, monitor, tray, driveinfo, res, platform/ outside
# substitute/, wine). Exits 0 when all three hold, 1 when one does not.
set -euo pipefail
cd "$(dirname "$0")/.."

# code_lines PATHSPEC...: the code lines cloc counts in the files git lists for the pathspecs.
code_lines() {
  git ls-files -- "$@" | cloc --list-file=- --csv --quiet |
    awk -F, '$2 != "language" && $2 != "SUM" { code += $5 } END { print code + 0 }'
}

substitute=$(code_lines platform/substitute)
tests=$(code_lines tests)
shipped=$(code_lines app settings monitor tray driveinfo res platform wine ':(exclude)platform/substitute')

awk -v substitute="$substitute" -v tests="$tests" -v shipped="$shipped" 'BEGIN {
  ratio = shipped > 0 ? (tests + substitute) / shipped : 0
  over = 0
  printf "%-34s %6d   limit %6d   %s\n", "platform/substitute/", substitute, 1200,
    substitute <= 1200 ? "ok" : "OVER"
  printf "%-34s %6d   limit %6d   %s\n", "tests/", tests, 2000, tests <= 2000 ? "ok" : "OVER"
  printf "%-34s %6d\n", "shipped code", shipped
  printf "%-34s %6.2f   limit %6.1f   %s\n", "(tests + substitute) / shipped", ratio, 1.5,
    ratio <= 1.5 ? "ok" : "OVER"
  exit (substitute > 1200 || tests > 2000 || ratio > 1.5) ? 1 : 0
}'
