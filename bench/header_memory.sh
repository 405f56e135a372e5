#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Peak memory of one photo whose header is huge: generated photos with SIZE_MB (default 512) of header before their
# image data, each corrected by `morrowtide-cli run` under /usr/bin/time -v. Memory must not follow the header size
# (goal: below 64 MB whatever the file):
#   fill      a run of 0xFF fill bytes before a marker: refused with a clear message, read no further than the bound
#   sections  8 KiB sections of 64 KiB (APP2) before the image: more than the scan keeps; corrected, the rest copied
#   small     the same photo without the big header, for comparison
#   pool      40 photos with 24 MB of such sections each, on the most workers (--jobs 8): only a few photos are in
#             flight at once, so memory must not follow the number of workers or photos either (same goal)
#   raw       16 TIFF files grown to 25 MB, --all-types on --jobs 8: only two headers are read at a time (same goal)
#   [CLI=path] bench/header_memory.sh [BUILD_DIR] [SIZE_MB]     (BUILD_DIR default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
size_mb=${2:-512}

cli=${CLI:-$build/src/cli/morrowtide-cli}  # CLI=path measures another build as it is
[[ -n ${CLI:-} ]] || cmake --build "$build" --target morrowtide-cli -j 2 >/dev/null
work=$(mktemp -d "${TMPDIR:-/tmp}/morrowtide-header.XXXXXX")
trap 'rm -rf "$work"' EXIT

python3 - "$work" "$size_mb" <<'EOF'
import os, struct, sys
work, size_mb = sys.argv[1], int(sys.argv[2])
def seg(marker, payload):
    return b"\xff" + bytes([marker]) + struct.pack(">H", len(payload) + 2) + payload
date = b"2005:06:01 10:00:00\x00"
tiff = b"II*\x00" + struct.pack("<I", 8) + struct.pack("<H", 1) + struct.pack("<HHII", 0x0132, 2, 20, 26) \
    + struct.pack("<I", 0) + date
exif = seg(0xE1, b"Exif\x00\x00" + tiff)
# A grey 8x8 baseline image from the quantisation table to the end of the image.
image = bytes.fromhex(
    "ffdb004300100b0c0e0c0a100e0d0e1211101318281a181616183123251d283a333d3c3933383740485c4e4044574537"
    "38506d51575f626768673e4d71797064785c656763ffc0000b080008000801011100ffc4001400010000000000000000"
    "000000000000000000ffc4001410010000000000000000000000000000000000ffda0008010100003f003fffd9")
total = size_mb << 20
for name in ("fill", "sections", "small"):
    os.makedirs(os.path.join(work, name, "in"))
    with open(os.path.join(work, name, "in", "photo.jpg"), "wb") as out:
        out.write(b"\xff\xd8" + exif)
        if name == "fill":
            chunk = b"\xff" * (1 << 20)
            for _ in range(size_mb):
                out.write(chunk)
            out.write(image[1:])  # the fill run ends in the marker code of the quantisation table
        elif name == "sections":
            app2 = seg(0xE2, b"x" * 65533)
            for _ in range(total // len(app2)):
                out.write(app2)
            out.write(image)
        else:
            out.write(image)
os.makedirs(os.path.join(work, "pool", "in"))
app2 = seg(0xE2, b"x" * 65533)
photo = b"\xff\xd8" + exif + app2 * (24 * 16) + image
for i in range(40):
    with open(os.path.join(work, "pool", "in", "p%02d.jpg" % i), "wb") as out:
        out.write(photo)
EOF

printf '%-9s %10s %9s %12s  %s\n' case "file MB" seconds "peak RSS MB" "outcome (standard error, last line of the log)"
for name in small fill sections; do
  file=$work/$name/in/photo.jpg
  /usr/bin/time -v -o "$work/time.txt" "$cli" run --hours 1 --no-datetime "$work/$name/in" "$work/$name/out" \
    >"$work/out.txt" 2>"$work/err.txt" || true
  peak=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
  elapsed=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time.txt")
  outcome="$(head -1 "$work/err.txt" | cut -c1-150) | $(tail -1 "$work/out.txt")"
  printf '%-9s %10d %9s %12.1f  %s\n' "$name" $(( $(stat -c %s "$file") >> 20 )) "$elapsed" \
    "$(echo "$peak / 1024" | bc -l)" "$outcome"
  if [[ -f $work/$name/out/photo.jpg ]]; then
    # The copy is the source with its date moved: same length, image data equal.
    cmp -s <(tail -c 100 "$file") <(tail -c 100 "$work/$name/out/photo.jpg") && same=yes || same=no
    printf '          copy: %d bytes (source %d), image data (last 100 bytes) equal: %s\n' \
      "$(stat -c %s "$work/$name/out/photo.jpg")" "$(stat -c %s "$file")" "$same"
  fi
  rm -rf "$work/$name/out"
done

# Many photos with long headers, and raw files whose directories are read through a window of several MB, each on
# the most workers. The raw case needs the corpus's TIFF (bench/raw_size.py grows it to raw size).
raw_seed=../shared/corpus/formats/mei/tif/ImageTestSuite/401d27e0565674c24a017588b8cd61d2.tif
if [[ -f $raw_seed ]]; then
  mkdir -p "$work/raw/in"
  python3 bench/raw_size.py "$raw_seed" "$work/raw/in/r00.tif" 25000000
  for i in $(seq -w 1 15); do cp "$work/raw/in/r00.tif" "$work/raw/in/r$i.tif"; done
fi
for name in pool raw; do
  [[ -d $work/$name/in ]] || continue
  /usr/bin/time -v -o "$work/time.txt" "$cli" run --jobs 8 --all-types --hours 1 --no-datetime "$work/$name/in" \
    "$work/$name/out" >"$work/out.txt" 2>"$work/err.txt" || true
  peak=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$work/time.txt")
  elapsed=$(awk -F': ' '/Elapsed \(wall clock\)/ {print $2}' "$work/time.txt")
  printf '%-9s %10d %9s %12.1f  %s\n' "$name" "$(du -sm "$work/$name/in" | cut -f1)" "$elapsed" \
    "$(echo "$peak / 1024" | bc -l)" "$(head -1 "$work/err.txt" | cut -c1-150) | $(tail -1 "$work/out.txt")"
  rm -rf "$work/$name/out"
done
