#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds a tree of hostile files in a temporary folder and runs `morrowtide-cli run` over it: the synthetic hostile
# tree (names with blanks, quotes, newlines and non-ASCII bytes, files that only claim to be JPEGs, empty files,
# FIFOs, looping links and directories, huge counts, offsets at the 32-bit limits, cuts at every section boundary),
# plus, when the shared corpus is there, its malformed files and camera photos cut at every section boundary (copied
# into the temporary tree only). Reports how the run ended, the messages by kind, and whether any source changed.
#   bench/hostile_tree.sh [BUILD_DIR] [--keep]     (BUILD_DIR default build/release; a sanitizer build works too)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
keep=${2:-}
corpus=${MORROWTIDE_CORPUS_DIR:-$(pwd)/../shared/corpus}

cmake --build "$build" --target morrowtide-cli make_hostile_tree -j "$(nproc)" >/dev/null
cli=$build/src/cli/morrowtide-cli
maker=$build/tests/hostile/make_hostile_tree

work=$(mktemp -d "${TMPDIR:-/tmp}/morrowtide-hostile.XXXXXX")
if [[ $keep != --keep ]]; then trap 'rm -rf "$work"' EXIT; fi
tree=$work/in
"$maker" tree "$tree/synthetic" >/dev/null
if [[ -d $corpus/malformed ]]; then
  mkdir -p "$tree/corpus malformed"
  cp "$corpus"/malformed/* "$tree/corpus malformed/"
  for file in "$corpus"/malformed/*.jpg; do
    "$maker" cuts "$file" "$tree/corpus malformed cut/$(basename "$file" .jpg)" >/dev/null
  done
  # The smallest camera photos of each folder, cut at every section boundary.
  find "$corpus/cameras" -type f \( -name '*.jpg' -o -name '*.JPG' \) -size -64k | sort | head -n 40 |
    while IFS= read -r file; do
      "$maker" cuts "$file" "$tree/corpus cameras cut/$(basename "$file")" >/dev/null
    done
else
  echo "(no corpus at $corpus: synthetic files only)"
fi

# Counted with -printf: some names hold newlines.
files=$(find "$tree" \( -type f -o -type p -o -type l \) -printf . | wc -c)
before=$(cd "$tree" && find . -type f -print0 | sort -z | xargs -0 sha256sum | sha256sum)
echo "hostile tree: $files entries, $(du -sh "$tree" | cut -f1), in $tree"

timing=()
if [[ -x /usr/bin/time ]]; then timing=(/usr/bin/time -f "%e s, peak %M KB" -o "$work/time.txt"); fi
status=0
"${timing[@]}" timeout 600 "$cli" run --hours 1 "$tree" "$work/out" >"$work/out.log" 2>"$work/err.log" </dev/null ||
  status=$?
after=$(cd "$tree" && find . -type f -print0 | sort -z | xargs -0 sha256sum | sha256sum)

echo "exit status: $status ($(tail -n 1 "$work/out.log"))"
[[ -f $work/time.txt ]] && echo "time: $(cat "$work/time.txt")"
listed=$(($(wc -l <"$work/out.log") - 1))
errors=$(wc -l <"$work/err.log")
written=$(find "$work/out" -type f -printf . | wc -c)
echo "listed $listed, written $written, error lines $errors"
echo "messages by kind:"
sed -e 's|^.*\.[jJ][pP][gG]: ||' -e 's|"[^"]*"|"..."|g' "$work/err.log" | sort | uniq -c | sort -rn | sed 's/^/  /'

verdict=0
if ((status > 2)); then
  echo "FAIL: the run ended with status $status (a crash, a sanitizer report or a hang)"
  verdict=1
fi
unnamed=$(grep -cv "^$tree/" "$work/err.log" || true)
if ((unnamed > 0)); then
  echo "FAIL: $unnamed message lines name no file:"
  grep -v "^$tree/" "$work/err.log" | head -n 5
  verdict=1
fi
if ((written + errors != listed)); then
  echo "FAIL: $listed files listed, but $written written and $errors reported"
  verdict=1
fi
if [[ -n $(find "$work/out" -name '*.tmp') ]]; then
  echo "FAIL: temporary files left behind"
  verdict=1
fi
if [[ $before != "$after" ]]; then
  echo "FAIL: a source file changed"
  verdict=1
fi
((verdict == 0)) && echo "OK: no crash, every bad file named, no source changed"
[[ $keep == --keep ]] && echo "kept: $work"
exit $verdict
