#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Peak memory of correcting one big movie: a real MP4 (the corpus's, else a minimal one) with a sparse box of SIZE_GB
# (default 4) GiB appended, corrected by `morrowtide-cli run --all-types` under /usr/bin/time -v, and the same movie
# without the box for comparison. The copy is made by the kernel: memory must not follow the file size (goal: the
# big run within a few MB of the small one). The big copy is checked for its size and its dates; it takes SIZE_GB of
# disk for the moment it exists.
#   [CLI=path] bench/big_file_memory.sh [BUILD_DIR] [SIZE_GB]     (BUILD_DIR default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
size_gb=${2:-4}

cli=${CLI:-$build/src/cli/morrowtide-cli}  # CLI=path measures another build as it is
[[ -n ${CLI:-} ]] || cmake --build "$build" --target morrowtide-cli -j 2 >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/morrowtide-big.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/small" "$work/big"

python3 - "$work" "$size_gb" <<'EOF'
import os, struct, sys
work, size_gb = sys.argv[1], int(sys.argv[2])
corpus = "../shared/corpus/formats/mei/mp4/with-gps.mp4"
if os.path.exists(corpus):
    movie = open(corpus, "rb").read()
else:
    def box(kind, content):
        return struct.pack(">I", len(content) + 8) + kind + content
    mvhd = box(b"mvhd", bytes(4) + struct.pack(">II", 3_570_000_000, 3_570_000_000) + bytes(88))
    movie = box(b"ftyp", b"isom" + bytes(4) + b"isom") + box(b"moov", mvhd)
open(os.path.join(work, "small", "MOVIE.MP4"), "wb").write(movie)
big = os.path.join(work, "big", "MOVIE.MP4")
with open(big, "wb") as f:
    f.write(movie)
    length = size_gb << 30
    f.write(struct.pack(">I4sQ", 1, b"free", length))  # a 64-bit box size; the content is a hole
    f.truncate(len(movie) + length)
EOF

peak_kb() {  # the maximum resident set of one run, in KiB
  local out=$1
  shift
  /usr/bin/time -v "$cli" run --hours 1 --no-datetime --all-types "$@" "$out" 2>&1 >/dev/null |
    sed -n 's/.*Maximum resident set size (kbytes): //p'
}

small_kb=$(peak_kb "$work/small-out" "$work/small")
start=$EPOCHREALTIME
big_kb=$(peak_kb "$work/big-out" "$work/big")
seconds=$(echo "$EPOCHREALTIME - $start" | bc)
src_size=$(stat -c %s "$work/big/MOVIE.MP4")
out_size=$(stat -c %s "$work/big-out/MOVIE.MP4")
echo "movie of $src_size bytes: peak RSS ${big_kb} KiB in ${seconds} s; the same movie without the box: ${small_kb} KiB"
[[ $src_size == "$out_size" ]] || { echo "FAIL: the copy has $out_size bytes"; exit 1; }
if command -v exiftool >/dev/null; then
  echo "source: $(exiftool -s3 -QuickTime:CreateDate "$work/big/MOVIE.MP4"), copy: $(exiftool -s3 -QuickTime:CreateDate "$work/big-out/MOVIE.MP4")"
fi
