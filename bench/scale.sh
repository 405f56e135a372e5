#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A batch run at scale: FILES small photos (default 100,000) in FOLDERS folders (default 400) generated in a temporary
# folder, listed by the run engine's scanFolder on its own (bench/scan_bench.cpp: time and memory of the list) and
# then corrected by `morrowtide-cli run`. The same run over a tenth of the files shows how memory grows with the
# number of files: it may grow by the file list only, never by anything kept per photo.
#   [COLD=1] bench/scale.sh [BUILD_DIR] [FILES] [FOLDERS]     (BUILD_DIR default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
files=${2:-100000}
folders=${3:-400}

cmake --build "$build" --target morrowtide-cli scan_bench make_hostile_tree -j "$(nproc)" >/dev/null
cli=$build/src/cli/morrowtide-cli
bench=$build/bench/scan_bench
maker=$build/tests/hostile/make_hostile_tree

work=$(mktemp -d "${TMPDIR:-/tmp}/morrowtide-scale.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$maker" photo "$work/template.jpg"

# Peak resident memory (KB) and elapsed seconds of a command, from /usr/bin/time when installed, else from bash.
measure() {
  local out=$1
  shift
  if [[ -x /usr/bin/time ]]; then
    /usr/bin/time -f "%e %M" -o "$work/time.txt" "$@" >"$out" 2>&1 || true
    read -r elapsed peak <"$work/time.txt"
  else
    local start=$EPOCHREALTIME
    "$@" >"$out" 2>&1 || true
    elapsed=$(echo "$EPOCHREALTIME - $start" | bc)
    peak="?"
  fi
}

small=$((files / 10))
echo "== generating $files photos in $folders folders (and $small for comparison)"
start=$EPOCHREALTIME
"$bench" generate "$work/template.jpg" "$work/big" "$files" "$folders"
"$bench" generate "$work/template.jpg" "$work/small" "$small" "$folders" >/dev/null
printf "generated in %.1f s, %s on disk\n" "$(echo "$EPOCHREALTIME - $start" | bc)" "$(du -sh "$work/big" | cut -f1)"

echo "== listing (scanFolder, as the run does it; the first listing after writing is warm in the page cache)"
"$bench" scan "$work/big" 3
# COLD=1 (as root) lists once more with the page cache dropped, as after a reboot or with a fresh memory card.
if [[ ${COLD:-} == 1 ]]; then
  sync
  echo 3 >/proc/sys/vm/drop_caches 2>/dev/null && { echo "cold cache:"; "$bench" scan "$work/big" 1; } || true
fi

echo "== morrowtide-cli run over $small files"
measure "$work/small.log" "$cli" run --hours 1 "$work/small" "$work/small-out"
small_peak=$peak
echo "$(tail -n 1 "$work/small.log"); ${elapsed} s; peak resident memory ${peak} KB"
rm -rf "$work/small-out"

echo "== morrowtide-cli run over $files files"
measure "$work/big.log" "$cli" run --hours 1 "$work/big" "$work/big-out"
big_peak=$peak
echo "$(tail -n 1 "$work/big.log"); ${elapsed} s; $(echo "scale=0; $files / $elapsed" | bc) files/s; peak resident memory ${peak} KB"
written=$(find "$work/big-out" -type f -printf . | wc -c)
echo "outputs written: $written"

if [[ $small_peak != "?" ]]; then
  growth=$((big_peak - small_peak))
  echo "== memory: +$growth KB for $((files - small)) more files = $((growth * 1024 / (files - small))) bytes per file"
fi
