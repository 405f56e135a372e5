#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Many photos of the same second: FILES copies (default 20,000) of one photo, corrected by `morrowtide-cli run` twice
# into fresh folders - once under a mask that gives every photo the same name (so each takes the next "_N"), once
# under a mask that keeps the names apart. The same photos are read and written both times; the first run should
# take about as long as the second, not grow with the square of the number of clashes.
#   bench/clashes.sh [BUILD_DIR] [FILES] [ROUNDS]     (BUILD_DIR default build/release, ROUNDS default 3)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
files=${2:-20000}
rounds=${3:-3}

cmake --build "$build" --target morrowtide-cli make_hostile_tree -j "$(nproc)" >/dev/null
cli=$build/src/cli/morrowtide-cli
maker=$build/tests/hostile/make_hostile_tree

work=$(mktemp -d "${TMPDIR:-/tmp}/morrowtide-clashes.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$maker" photo "$work/template.jpg"
mkdir "$work/in"
for ((i = 0; i < files; i++)); do cp "$work/template.jpg" "$work/in/p$i.jpg"; done

# Seconds one run takes into a fresh folder.
timed_run() {
  local mask=$1 out=$2
  local start=$EPOCHREALTIME
  "$cli" run --mask "$mask" --no-recurse "$work/in" "$out" >"$work/log.txt" 2>&1 || true
  local end=$EPOCHREALTIME
  tail -n 1 "$work/log.txt" >&2
  echo "$end - $start" | bc
}

echo "files: $files (one capture second)"
for ((r = 1; r <= rounds; r++)); do
  clash=$(timed_run "yyyymmdd_hhnnss" "$work/clash$r")
  last=$(ls "$work/clash$r" | sort -t_ -k3 -n | tail -n 1)
  rm -rf "$work/clash$r"
  distinct=$(timed_run "yyyymmdd_hhnnss *FILENAME" "$work/distinct$r")
  rm -rf "$work/distinct$r"
  printf 'round %d: same name %.2f s (last: %s), distinct names %.2f s\n' "$r" "$clash" "$last" "$distinct"
done
