#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Names the tests that the last CTest run in a build folder skipped, each with the reason it printed:
#   scripts/skipped-tests.sh build/release
# GoogleTest skips (a whole CTest test), QtTest skips (one test function inside a passing test) and disabled tests
# (kept to be run by hand) all count.
set -euo pipefail
folder="${1:?build folder}/Testing/Temporary"
log="$folder/LastTest.log"
[[ -f "$log" ]] || exit 0
disabled="$folder/LastTestsDisabled.log"  # every test that did not run, skipped ones included
[[ -f "$disabled" ]] || disabled=/dev/null
awk '
  FNR == NR {
    if ($0 ~ /^[0-9]+\/[0-9]+ Test: /) { test = $0; sub(/^[0-9]+\/[0-9]+ Test: /, "", test); reason = ""; reading = 0; next }
    # GoogleTest: "file:line: Skipped", then the message up to the "[  SKIPPED ]" line.
    if ($0 ~ / Skipped$/) { reading = 1; next }
    if (reading && $0 ~ /^\[  SKIPPED \]/) { reading = 0; next }
    if (reading) { reason = reason (reason == "" ? "" : " ") $0; next }
    if ($0 ~ /^Skip regular expression found in output/) {
      skipped[test] = 1
      print test ": " (reason == "" ? "(no reason given)" : reason)
    }
    # QtTest: "SKIP   : Class::function() reason".
    if ($0 ~ /^SKIP +: /) { line = $0; sub(/^SKIP +: /, "", line); print test ": " line }
    next
  }
  { name = $0; sub(/^[0-9]+:/, "", name); if (!(name in skipped)) print name ": disabled, did not run" }
' "$log" "$disabled"
