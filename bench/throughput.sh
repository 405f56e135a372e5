#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Throughput of a batch run compared with copying the same folder.
#
#   bench/throughput.sh [--count N] [--synthetic] [--keep] [--work DIR] [--cli PATH]
#
# Builds a folder of N photos (default 1000): copies of the largest decodable camera files of the corpus
# (MORROWTIDE_CORPUS_DIR, default ../shared/corpus beside the repository), or, when there is no corpus or with
# --synthetic, noise images of 3-5 MB made with cjpeg and given a camera-like EXIF block. Then, with the page cache
# warm, it times one after another:
#   cp -r                         the physical floor: read every byte, write every byte (median of 5 interleaved rounds)
#   morrowtide-cli run --hours 1  a Release build made in build/bench unless --cli is given (median, taking turns with cp -r)
#   jhead -ta+1:00                on a copy made beforehand (not timed), where jhead is installed
#   exiftool -AllDates+=1 -o      where exiftool is installed
# and prints wall time, files/second, the ratio to cp -r and the peak memory of each, then checks Morrowtide
# against its targets: wall time at most 1.3 x cp -r, peak memory at most 2 x the largest file + 64 MB.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
count=1000
synthetic=0
keep=0
work=""
cli=""
while [[ $# -gt 0 ]]; do
  case "$1" in
    --count) count=$2; shift 2 ;;
    --synthetic) synthetic=1; shift ;;
    --keep) keep=1; shift ;;
    --work) work=$2; shift 2 ;;
    --cli) cli=$2; shift 2 ;;
    -h|--help) sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done

corpus=${MORROWTIDE_CORPUS_DIR:-$root/../shared/corpus}
if [[ -z "$work" ]]; then
  work=$(mktemp -d "${TMPDIR:-/tmp}/morrowtide-bench.XXXXXX")
fi
mkdir -p "$work"
if [[ $keep -eq 0 ]]; then
  trap 'rm -rf "$work"' EXIT
fi

if [[ -z "$cli" ]]; then
  echo "Building morrowtide-cli (Release) in build/bench ..." >&2
  if ! { cmake -S "$root" -B "$root/build/bench" -DCMAKE_BUILD_TYPE=Release -DMORROWTIDE_BUILD_TESTS=OFF \
    -DMORROWTIDE_BUILD_GUI=OFF && cmake --build "$root/build/bench" --target morrowtide-cli -j "$(nproc)"; } \
    >"$work/build.log" 2>&1; then
    cat "$work/build.log" >&2
    exit 1
  fi
  cli=$root/build/bench/src/cli/morrowtide-cli
fi

# --- the photos -------------------------------------------------------------------------------------------------
src=$work/photos
rm -rf "$src"
mkdir -p "$src" "$work/seed"

seed_from_corpus() {
  # The ten largest decodable, dated camera files.
  awk -F'\t' 'NR > 1 && $1 !~ /^malformed/ && $19 == "yes" && $8 != "-" { print $2 "\t" $1 }' "$corpus/INDEX.tsv" |
    sort -rn | awk 'NR <= 10' | while IFS=$'\t' read -r _ path; do
      cp "$corpus/$path" "$work/seed/$(printf '%02d' "$(ls "$work/seed" | wc -l)").jpg"
    done
}

seed_synthetic() {
  command -v cjpeg >/dev/null || { echo "cjpeg (libjpeg-turbo-progs) is needed for synthetic photos" >&2; exit 1; }
  python3 - "$work/seed" <<'EOF'
import os, struct, subprocess, sys
seed = sys.argv[1]

def ifd(entries, start):
    # entries: (tag, type, count, value bytes); values over 4 bytes go after the directory
    out, data = struct.pack('<H', len(entries)), b''
    data_at = start + 2 + 12 * len(entries) + 4
    for tag, typ, cnt, val in entries:
        if len(val) <= 4:
            out += struct.pack('<HHI', tag, typ, cnt) + val.ljust(4, b'\0')
        else:
            out += struct.pack('<HHII', tag, typ, cnt, data_at + len(data))
            data += val + (b'\0' if len(val) % 2 else b'')
    return out + struct.pack('<I', 0) + data

def ascii(tag, text):
    v = text.encode() + b'\0'
    return (tag, 2, len(v), v)

for n in range(4):
    w, h = 2400 + 160 * n, 1800 + 120 * n  # 3.3 to 4.7 MB at quality 85
    ppm = os.path.join(seed, 'noise.ppm')
    with open(ppm, 'wb') as f:
        f.write(b'P6 %d %d 255\n' % (w, h) + os.urandom(w * h * 3))
    jpeg = subprocess.run(['cjpeg', '-quality', '85', ppm], check=True, capture_output=True).stdout
    os.remove(ppm)
    date = '2019:07:%02d 14:%02d:05' % (10 + n, 10 + n)
    exif_entries = [(0x829A, 5, 1, struct.pack('<II', 1, 250)), (0x829D, 5, 1, struct.pack('<II', 56, 10)),
                    (0x8827, 3, 1, struct.pack('<H', 200)), (0x9000, 7, 4, b'0231'),
                    ascii(0x9003, date), ascii(0x9004, date),
                    (0x920A, 5, 1, struct.pack('<II', 50, 1)), (0x927C, 7, 2048, os.urandom(2048)),
                    (0xA002, 4, 1, struct.pack('<I', w)), (0xA003, 4, 1, struct.pack('<I', h))]
    ifd0_entries = [ascii(0x010F, 'Canon'), ascii(0x0110, 'Canon EOS 80D'), (0x0112, 3, 1, struct.pack('<H', 1)),
                    (0x011A, 5, 1, struct.pack('<II', 72, 1)), (0x011B, 5, 1, struct.pack('<II', 72, 1)),
                    (0x0128, 3, 1, struct.pack('<H', 2)), ascii(0x0132, date), None]
    # IFD0 first; its size decides where the EXIF directory starts.
    probe = [e if e else (0x8769, 4, 1, struct.pack('<I', 0)) for e in ifd0_entries]
    exif_at = 8 + len(ifd(probe, 8))
    ifd0_entries[-1] = (0x8769, 4, 1, struct.pack('<I', exif_at))
    tiff = b'II*\0' + struct.pack('<I', 8) + ifd(ifd0_entries, 8) + ifd(exif_entries, exif_at)
    app1 = b'Exif\0\0' + tiff
    # Start-of-image, the EXIF section, then cjpeg's file without its JFIF section.
    assert jpeg[:4] == b'\xff\xd8\xff\xe0'
    app0_len = struct.unpack('>H', jpeg[4:6])[0]
    out = b'\xff\xd8\xff\xe1' + struct.pack('>H', len(app1) + 2) + app1 + jpeg[4 + app0_len:]
    with open(os.path.join(seed, '%02d.jpg' % n), 'wb') as f:
        f.write(out)
EOF
}

if [[ $synthetic -eq 0 && -f "$corpus/INDEX.tsv" ]]; then
  kind="corpus"
  seed_from_corpus
else
  kind="synthetic"
  seed_synthetic
fi
seeds=("$work"/seed/*.jpg)
for ((i = 0; i < count; i++)); do
  cp "${seeds[i % ${#seeds[@]}]}" "$src/$(printf 'IMG_%04d.JPG' "$i")"
done
largest=$(stat -c %s "${seeds[@]}" | sort -n | tail -1)
total=$(du -sb "$src" | cut -f1)

# Arithmetic without bc: calc EXPR prints its value, holds EXPR succeeds when it is true.
calc() { awk "BEGIN { print $1 }"; }
holds() { awk "BEGIN { exit !($1) }"; }

# --- measuring ----------------------------------------------------------------------------------------------------
# Wall seconds and peak resident memory (KB) of one command, into the globals wall and peak.
measure() {
  local log=$work/measure.txt
  if [[ -x /usr/bin/time ]]; then
    /usr/bin/time -f '%e %M' -o "$log" "$@" >/dev/null 2>"$work/stderr.txt" || true
  else
    python3 -c '
import resource, subprocess, sys, time
t = time.monotonic()
subprocess.run(sys.argv[2:], stdout=subprocess.DEVNULL, stderr=open(sys.argv[1], "w"))
print("%.3f %d" % (time.monotonic() - t, resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss))
' "$work/stderr.txt" "$@" >"$log"
  fi
  # GNU time puts "Command exited with non-zero status N" before the figures when the command fails.
  read -r wall peak < <(tail -n 1 "$log")
}

# Every command starts alike: sources in the page cache, no output of an earlier command waiting to be written.
warm() {
  cat "$src"/* >/dev/null
  sync
}

declare -a names walls peaks
# run_case NAME OUTPUT COMMAND...: the best of $reps runs (OUTPUT removed before each), as a busy machine only
# ever makes a run slower.
run_case() {
  local name=$1 output=$2 best="" best_peak=0
  shift 2
  for ((r = 0; r < reps; r++)); do
    rm -rf "$output"
    warm
    measure "$@"
    if [[ -z "$best" ]] || holds "$wall < $best"; then best=$wall; fi
    if ((peak > best_peak)); then best_peak=$peak; fi
  done
  names+=("$name")
  walls+=("$best")
  peaks+=("$best_peak")
}

printf 'Photos: %d files (%s: %d sources), %.1f MB in all, largest %.2f MB\n' "$count" "$kind" "${#seeds[@]}" \
  "$(calc "$total / 1048576")" "$(calc "$largest / 1048576")"

# cp -r and Morrowtide take turns, the order rotating every round, and each reports its median: creating files
# costs more after recent create/delete churn in a folder, so timing one command's rounds all before the other's
# favours whichever runs first.
rounds=${ROUNDS:-5}
declare -a cp_walls mt_walls
cp_peak=0 mt_peak=0
time_cp() { rm -rf "$work/cp"; warm; measure cp -r "$src" "$work/cp"; cp_walls+=("$wall"); ((peak > cp_peak)) && cp_peak=$peak; return 0; }
time_mt() { rm -rf "$work/mt"; warm; measure "$cli" run --hours 1 "$src" "$work/mt"; mt_walls+=("$wall"); ((peak > mt_peak)) && mt_peak=$peak; return 0; }
for ((r = 0; r < rounds; r++)); do
  if ((r % 2 == 0)); then time_cp; time_mt; else time_mt; time_cp; fi
done
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
names+=("cp -r") walls+=("$(median "${cp_walls[@]}")") peaks+=("$cp_peak")
names+=("morrowtide-cli run") walls+=("$(median "${mt_walls[@]}")") peaks+=("$mt_peak")
done_files=$(find "$work/mt" -type f | wc -l)
if [[ $done_files -ne $count ]]; then
  echo "morrowtide-cli wrote $done_files of $count files:" >&2
  head -5 "$work/stderr.txt" >&2
fi
# The others once each: they are far slower, and jhead changes its copy in place.
reps=1
if command -v jhead >/dev/null; then
  rm -rf "$work/jh"
  cp -r "$src" "$work/jh"
  run_case "jhead -ta+1:00 (copy)" "$work/none" jhead -q -ta+1:00 "$work"/jh/*.JPG
fi
if command -v exiftool >/dev/null; then
  run_case "exiftool -AllDates+=1 -o" "$work/et" exiftool -q -AllDates+=1 -o "$work/et/" "$src"
fi

# --- report -------------------------------------------------------------------------------------------------------
cp_wall=${walls[0]}
holds "$cp_wall < 0.005" && cp_wall=0.005
printf '\n%-28s %9s %12s %10s %12s\n' "command" "wall s" "files/s" "x cp -r" "peak MB"
for i in "${!names[@]}"; do
  w=${walls[i]}
  holds "$w < 0.005" && w=0.005
  printf '%-28s %9.2f %12.0f %10.2f %12.1f\n' "${names[i]}" "${walls[i]}" "$(calc "$count / $w")" \
    "$(calc "$w / $cp_wall")" "$(calc "${peaks[i]} / 1024")"
done

mt_wall=${walls[1]}
holds "$mt_wall < 0.005" && mt_wall=0.005
mt_peak_kb=${peaks[1]}
limit_kb=$(( (largest * 2) / 1024 + 64 * 1024 ))
echo
ratio=$(calc "$mt_wall / $cp_wall")
if holds "$ratio <= 1.3"; then verdict=met; else verdict=MISSED; fi
printf 'Target wall time <= 1.3 x cp -r: %.2f x  (%s)\n' "$ratio" "$verdict"
if [[ $mt_peak_kb -le $limit_kb ]]; then verdict=met; else verdict=MISSED; fi
printf 'Target peak memory <= 2 x largest + 64 MB = %.1f MB: %.1f MB  (%s)\n' "$(calc "$limit_kb / 1024")" \
  "$(calc "$mt_peak_kb / 1024")" "$verdict"
