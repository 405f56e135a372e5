#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes what `morrowtide-cli info` prints for every file under the given corpus folders into one file, one block
# per file in a stable order, so that two builds can be compared with diff.
# Usage: scripts/info_snapshot.sh CLI OUTPUT DIR...
set -eu
cli=$1
output=$2
shift 2
: > "$output"
find "$@" -type f ! -name INDEX.tsv ! -name SOURCES.md | LC_ALL=C sort | while IFS= read -r file; do
    "$cli" info "$file" >> "$output" 2>&1 || echo "exit status $?" >> "$output"
done
