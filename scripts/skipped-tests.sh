#!/usr/bin/env bash
# Names the tests that the last CTest run in a build folder skipped, each with the reason it printed:
#   scripts/skipped-tests.sh build/release
# GoogleTest skips (a whole CTest test) and QtTest skips (one test function inside a passing test) both count.
set -euo pipefail
log="${1:?build folder}/Testing/Temporary/LastTest.log"
[[ -f "$log" ]] || exit 0
awk '
  /^[0-9]+\/[0-9]+ Test: / { test = $0; sub(/^[0-9]+\/[0-9]+ Test: /, "", test); reason = ""; reading = 0; next }
  # GoogleTest: "file:line: Skipped", then the message up to the "[  SKIPPED ]" line.
  / Skipped$/ { reading = 1; next }
  reading && /^\[  SKIPPED \]/ { reading = 0; next }
  reading { reason = reason (reason == "" ? "" : " ") $0; next }
  /^Skip regular expression found in output/ { print test ": " (reason == "" ? "(no reason given)" : reason) }
  # QtTest: "SKIP   : Class::function() reason".
  /^SKIP +: / { line = $0; sub(/^SKIP +: /, "", line); print test ": " line }
' "$log"
