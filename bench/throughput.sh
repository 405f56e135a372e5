#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Throughput of a batch run side by side with copying the same folder, jhead and exiftool.
#
#   bench/throughput.sh [OPTIONS]
#
# Times, with the page cache warm, over a folder of photos and a folder of raw-size files:
#   cp -r                          the physical floor: read every byte, write every byte
#   morrowtide-cli run --jobs 1    one worker                  \  when the CLI knows --jobs;
#   morrowtide-cli run             the default pool of workers /  otherwise one line for the plain run
#   baseline                       another build (--baseline-cli), e.g. one made before a change
#   jhead -ta+1:00                 on a copy made beforehand (not timed); photos only, where jhead is installed
#   exiftool -AllDates+=1 -o       where exiftool is installed
# cp -r and the morrowtide runs take turns in an order that rotates every round, and each reports its median over
# the rounds; jhead and exiftool run --other-rounds times (median). For each command it prints wall time, files per
# second, the ratio to cp -r (per file, as exiftool may see fewer files), user and system CPU seconds, CPU use (100 %
# is one core busy) and peak memory, then checks the targets: default pool <= 0.8 x cp -r; one worker no slower
# than the baseline (within 5 %) or, without one, <= 1.35 x cp -r; peak memory below 64 MB + 1 KB per listed file.
#
# The photos are copies of the ten largest decodable, dated camera JPEGs of the corpus (MORROWTIDE_CORPUS_DIR,
# default ../shared/corpus beside the repository), or with --synthetic (or without a corpus) noise images of 3-5 MB
# with a camera-like EXIF block. The raw-size files are the corpus's dated DNG, NEF, CR2 and TIFF files, each grown
# to 20-30 MB by bench/raw_size.py (its largest image's strip moved to the end and filled up), run with --all-types.
# The raw folder has fewer files than --count when one output would pass half the kernel's background writeback
# threshold (10 % of the available memory by default: some 45 files on 24 GB), so the figures are of the programs
# rather than the disk; --raw-count sets it, lowered only when the sources and one output would not fit the page
# cache (70 % of the available memory) or the disk. The header says which. Exits 1 when a morrowtide run left files out or the
# read-back of a moved date failed; a missed target is only reported.
#
# Options:
#   --set photos|raw|both     which folders to time (default both)
#   --count N                 files in each folder (default 1000)
#   --raw-count N             files in the raw-size folder (default: --count, lowered as above)
#   --rounds N                interleaved rounds (default $ROUNDS or 5)
#   --other-rounds N          rounds of jhead and exiftool (default 1)
#   --exiftool-count N        files exiftool is timed on (default 200; it is some 20 times slower than cp -r)
#   --no-exiftool, --no-jhead leave them out
#   --cli PATH                the morrowtide-cli to time (default: a Release build made in build/bench)
#   --baseline-cli PATH       another morrowtide-cli to time beside it
#   --synthetic               synthetic photos even when the corpus is there
#   --work DIR, --keep        where the folders go (default a temporary folder), and keep them afterwards
set -eEuo pipefail
trap 'echo "throughput.sh: line $LINENO failed: $BASH_COMMAND" >&2' ERR

root=$(cd "$(dirname "$0")/.." && pwd)
sets=both
count=1000
raw_count=""
rounds=${ROUNDS:-5}
other_rounds=1
exiftool_count=200
use_exiftool=1
use_jhead=1
synthetic=0
keep=0
work=""
cli=""
baseline_cli=""
usage() { awk 'NR > 2 && !/^#/ { exit } NR > 2 { sub(/^# ?/, ""); print }' "$0"; }
while [[ $# -gt 0 ]]; do
  case "$1" in
    --set) sets=$2; shift 2 ;;
    --count) count=$2; shift 2 ;;
    --raw-count) raw_count=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --other-rounds) other_rounds=$2; shift 2 ;;
    --exiftool-count) exiftool_count=$2; shift 2 ;;
    --no-exiftool) use_exiftool=0; shift ;;
    --no-jhead) use_jhead=0; shift ;;
    --cli) cli=$2; shift 2 ;;
    --baseline-cli) baseline_cli=$2; shift 2 ;;
    --synthetic) synthetic=1; shift ;;
    --work) work=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "unknown argument: $1 (see --help)" >&2; exit 2 ;;
  esac
done
case $sets in
  photos|raw|both) ;;
  *) echo "--set takes photos, raw or both" >&2; exit 2 ;;
esac
command -v jhead >/dev/null || use_jhead=0
command -v exiftool >/dev/null || use_exiftool=0

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

# The morrowtide lines: one worker and the default pool where the CLI has --jobs, else its plain run.
if [[ $("$cli" run --help 2>&1) == *--jobs* ]]; then
  morrowtide_keys=(one pool)
else
  morrowtide_keys=(single)
fi
[[ -n "$baseline_cli" ]] && morrowtide_keys+=(baseline)
interleaved_keys=(cp "${morrowtide_keys[@]}")

# Arithmetic without bc: calc EXPR prints its value, holds EXPR succeeds when it is true.
calc() { awk "BEGIN { print $1 }"; }
holds() { awk "BEGIN { exit !($1) }"; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
meminfo_kb() { awk -v key="$1:" '$1 == key { print $2 }' /proc/meminfo; }
disk_free_kb() { df -Pk "$work" | awk 'NR == 2 { print $4 }'; }
load() { cut -d' ' -f1-3 /proc/loadavg; }
# About the dirty data the kernel holds before it starts writing back: a share of the memory it can use for the cache.
writeback_kb() { calc "int($(meminfo_kb MemAvailable) * $(cat /proc/sys/vm/dirty_background_ratio) / 100)"; }

# --- the files ----------------------------------------------------------------------------------------------------
seed_photos_from_corpus() {
  # The ten largest decodable, dated camera files.
  awk -F'\t' 'NR > 1 && $1 !~ /^malformed/ && $19 == "yes" && $8 != "-" { print $2 "\t" $1 }' "$corpus/INDEX.tsv" |
    sort -rn | awk 'NR <= 10' | while IFS=$'\t' read -r _ path; do
      cp "$corpus/$path" "$1/$(printf '%02d' "$(ls "$1" | wc -l)").jpg"
    done
}

seed_photos_synthetic() {
  command -v cjpeg >/dev/null || { echo "cjpeg (libjpeg-turbo-progs) is needed for synthetic photos" >&2; exit 1; }
  python3 - "$1" <<'EOF'
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

# The corpus's dated TIFF-based raw files, grown to 20-30 MB, sizes spread evenly over the seeds.
seed_raw() {
  local dir=$1 paths path i=0 n
  mapfile -t paths < <(awk -F'\t' 'NR > 1 && $2 ~ /^(DNG|NEF|CR2|TIFF)$/ && $5 ~ /DateTimeOriginal=/ { print $1 }' \
    "$corpus/formats/INDEX.tsv")
  n=${#paths[@]}
  for path in "${paths[@]}"; do
    python3 "$root/bench/raw_size.py" "$corpus/formats/$path" "$dir/$(printf '%02d' "$i").${path##*.}" \
      $((20000000 + 10000000 * i / (n > 1 ? n - 1 : 1))) || true
    i=$((i + 1))
  done
}

# fill_folder FOLDER COUNT SEED...: COUNT copies of the seeds in turn, named IMG_0000.ext on.
fill_folder() {
  local folder=$1 n=$2 i seed
  shift 2
  rm -rf "$folder"
  mkdir -p "$folder"
  for ((i = 0; i < n; i++)); do
    seed=${*:i % $# + 1:1}
    cp "$seed" "$folder/$(printf 'IMG_%04d' "$i").${seed##*.}"
  done
}

# fit_folder REQUESTED AVERAGE_BYTES: into fit_count, REQUESTED or fewer files when the sources and one output would
# not fit in 70 % of the available memory (so both stay in the page cache) or in the free disk less 2 GB, and, unless
# --raw-count asked for more, when one output would pass half the kernel's background writeback threshold (the other
# half left to the rest of the machine; past it the disk's speed counts, not the programs'); into fit_note, what
# decided.
fit_folder() {
  local requested=$1 average=$2 cache_files disk_files writeback_files
  cache_files=$(calc "int($(meminfo_kb MemAvailable) * 1024 * 0.7 / (2 * $average))")
  disk_files=$(calc "int(($(disk_free_kb) - 2 * 1048576) * 1024 / (2 * $average))")
  writeback_files=$(calc "int($(writeback_kb) * 1024 / 2 / $average)")
  fit_count=$requested fit_note="as asked"
  if [[ -z "$raw_count" ]] && ((writeback_files < fit_count)); then
    fit_count=$writeback_files fit_note="lowered from $requested to keep an output below half the writeback threshold"
  fi
  if ((cache_files < fit_count)); then
    fit_count=$cache_files fit_note="lowered from $requested so that sources and one output fit the page cache"
  fi
  if ((disk_files < fit_count)); then fit_count=$disk_files fit_note="lowered from $requested to fit the free disk"; fi
  ((fit_count >= 1)) || { echo "no room for even one raw-size file" >&2; exit 1; }
}

# note_writeback FOLDER: says so when a copy of FOLDER is more than the kernel holds before writing back.
note_writeback() {
  if (($(du -sk "$1" | cut -f1) > $(writeback_kb))); then
    printf 'An output is over the %.0f MB of dirty data the kernel holds before writing back: the disk counts.\n' \
      "$(calc "$(writeback_kb) / 1024")"
  fi
}

# --- measuring ----------------------------------------------------------------------------------------------------
# Wall and CPU seconds and peak resident memory (KB) of one command, into the globals wall, user, sys and peak.
measure() {
  local log=$work/measure.txt
  if [[ -x /usr/bin/time ]]; then
    /usr/bin/time -f '%e %M %U %S' -o "$log" "$@" >/dev/null 2>"$work/stderr.txt" || true
  else
    python3 -c '
import resource, subprocess, sys, time
t = time.monotonic()
subprocess.run(sys.argv[2:], stdout=subprocess.DEVNULL, stderr=open(sys.argv[1], "w"))
u = resource.getrusage(resource.RUSAGE_CHILDREN)
print("%.3f %d %.2f %.2f" % (time.monotonic() - t, u.ru_maxrss, u.ru_utime, u.ru_stime))
' "$work/stderr.txt" "$@" >"$log"
  fi
  # GNU time puts "Command exited with non-zero status N" before the figures when the command fails.
  read -r wall peak user sys < <(tail -n 1 "$log")
}

# Every command starts alike: sources in the page cache, no output of an earlier command waiting to be written, and
# memory for its output at hand. A virtual machine with free page reporting hands the memory of deleted outputs back
# to its host, and pages fetched back from the host can triple the kernel time of a copy, depending on how long ago
# the last output was deleted. Touching twice as much memory as the output will need (at most half the available
# memory), just before the command, gives most commands backed pages, as on real hardware (the runs' spread, printed
# under the table, shows the rest).
warm() {
  cat "$1"/* >/dev/null
  sync
  if [[ -d /sys/module/page_reporting ]]; then
    python3 -c "import sys; bytearray(b'\x01') * int(sys.argv[1])" \
      "$(du -sb "$1" | awk -v room="$(meminfo_kb MemAvailable)" '{ x = $1 * 2; if (x > room * 512) x = room * 512; printf "%.0f", x }')"
  fi
}

# command_of KEY SOURCE OUTPUT: the command line of one contender, into the array cmd.
command_of() {
  local source=$2 output=$3
  case $1 in
    cp) cmd=(cp -r "$source" "$output") ;;
    one) cmd=("$cli" run --jobs 1 "${run_flags[@]}" "$source" "$output") ;;
    pool | single) cmd=("$cli" run "${run_flags[@]}" "$source" "$output") ;;
    baseline) cmd=("$baseline_cli" run "${run_flags[@]}" "$source" "$output") ;;
    jhead) cmd=(jhead -q -ta+1:00 "$output"/*) ;;
    exiftool) cmd=(exiftool -q -AllDates+=1 -o "$output/" "$source") ;;
  esac
}

label_of() {
  case $1 in
    cp) echo "cp -r" ;;
    one) echo "morrowtide --jobs 1" ;;
    pool) echo "morrowtide (default pool)" ;;
    single) echo "morrowtide-cli run" ;;
    baseline) echo "baseline morrowtide" ;;
    jhead) echo "jhead -ta+1:00 (copy)" ;;
    exiftool) echo "exiftool -AllDates+=1 -o" ;;
  esac
}

is_morrowtide() { [[ $1 == one || $1 == pool || $1 == single || $1 == baseline ]]; }

declare -A walls users syss peaks files
# time_once KEY SOURCE N: one timed run of KEY over SOURCE (N files), its figures added to the key's lists. The
# output is checked and removed at once, so that its pages are dropped rather than written back to the disk.
time_once() {
  local key=$1 source=$2 n=$3 output=$work/out
  rm -rf "$output"
  [[ $key == jhead ]] && cp -r "$source" "$output"  # jhead changes its files in place
  warm "$source"
  command_of "$key" "$source" "$output"
  measure "${cmd[@]}"
  walls[$key]+=" $wall" users[$key]+=" $user" syss[$key]+=" $sys" files[$key]=$n
  ((peak > ${peaks[$key]:-0})) && peaks[$key]=$peak
  if is_morrowtide "$key"; then check_output "$key" "$source" "$output" "$n"; fi
  rm -rf "$output"
}

# check_output KEY SOURCE OUTPUT N: every file written, and on the first check of a set, one file's capture date
# moved by an hour and its size kept (read back with exiftool).
check_output() {
  local key=$1 source=$2 output=$3 n=$4 written first moved before after
  written=$(find "$output" -type f | wc -l)
  if ((written != n)); then
    echo "$(label_of "$key") wrote $written of $n files:" >&2
    head -5 "$work/stderr.txt" >&2
    failures+=1
  fi
  if [[ $checked -eq 1 ]] || ! command -v exiftool >/dev/null; then return 0; fi
  checked=1
  first=$(find "$source" -type f -name 'IMG_0000.*')
  moved=$(find "$output" -type f -name "* - ${first##*/}")
  before=$(exiftool -s3 -d %s -DateTimeOriginal "$first")
  after=$(exiftool -s3 -d %s -DateTimeOriginal "$moved" 2>/dev/null || true)
  if [[ -n "$after" && $((after - before)) -eq 3600 && $(stat -c %s "$first") -eq $(stat -c %s "$moved") ]]; then
    check_note="checked ${first##*/} -> \"${moved##*/}\": DateTimeOriginal $(exiftool -s3 -DateTimeOriginal "$moved"), $(stat -c %s "$moved") bytes as before"
  else
    check_note="CHECK FAILED: ${first##*/} -> \"${moved##*/}\": DateTimeOriginal ${after:-missing} s, $(stat -c %s "$moved" 2>/dev/null || echo no) bytes"
    failures+=1
  fi
}

# bench_set NAME SOURCE N: every contender over SOURCE, then the table and the targets.
bench_set() {
  local name=$1 source=$2 n=$3 r j et_source=$work/exiftool-source et_n et_files
  walls=() users=() syss=() peaks=() files=()
  checked=0 check_note="outputs not read back: no exiftool"
  printf 'load average before: %s\n' "$(load)"
  # cp -r and Morrowtide take turns, the order rotating every round, and each reports its median: creating files
  # costs more after recent create/delete churn in a folder, so timing one command's rounds all before the other's
  # favours whichever runs first.
  for ((r = 0; r < rounds; r++)); do
    for ((j = 0; j < ${#interleaved_keys[@]}; j++)); do
      time_once "${interleaved_keys[(r + j) % ${#interleaved_keys[@]}]}" "$source" "$n"
    done
  done
  # The others are far slower: fewer rounds, and exiftool on the first files only (hard links: no more cache).
  if [[ $use_jhead -eq 1 && $name == photos ]]; then
    for ((r = 0; r < other_rounds; r++)); do time_once jhead "$source" "$n"; done
  fi
  if [[ $use_exiftool -eq 1 ]]; then
    et_n=$((exiftool_count < n ? exiftool_count : n))
    rm -rf "$et_source"
    mkdir -p "$et_source"
    mapfile -t et_files < <(find "$source" -type f | sort)
    ln -t "$et_source" "${et_files[@]:0:et_n}"
    for ((r = 0; r < other_rounds; r++)); do time_once exiftool "$et_source" "$et_n"; done
    rm -rf "$et_source"
  fi
  printf 'load average after:  %s\n' "$(load)"
  report "$name"
}

# report NAME: the table of the set just timed, ratios per file to cp -r, then the targets.
report() {
  local key w u s runs per_file cp_per_file
  declare -gA ratios=()
  cp_per_file=$(calc "$(median ${walls[cp]}) / ${files[cp]}")
  holds "$cp_per_file > 0" || cp_per_file=0.000001
  printf '\n%-26s %6s %5s %8s %8s %8s %8s %8s %6s %8s\n' command files runs "wall s" files/s "x cp -r" "user s" \
    "sys s" "CPU %" "peak MB"
  for key in cp "${morrowtide_keys[@]}" jhead exiftool; do
    [[ -n "${walls[$key]:-}" ]] || continue
    w=$(median ${walls[$key]}) u=$(median ${users[$key]}) s=$(median ${syss[$key]})
    runs=$(wc -w <<<"${walls[$key]}")
    holds "$w > 0.005" || w=0.005
    per_file=$(calc "$w / ${files[$key]}")
    ratios[$key]=$(calc "$per_file / $cp_per_file")
    printf '%-26s %6d %5d %8.2f %8.0f %8.2f %8.2f %8.2f %6.0f %8.1f\n' "$(label_of "$key")" "${files[$key]}" "$runs" \
      "$w" "$(calc "1 / $per_file")" "${ratios[$key]}" "$u" "$s" "$(calc "100 * ($u + $s) / $w")" \
      "$(calc "${peaks[$key]} / 1024")"
  done
  for key in cp "${morrowtide_keys[@]}" jhead exiftool; do
    [[ -n "${walls[$key]:-}" ]] && printf '  %-26s wall s of each run:%s\n' "$(label_of "$key")" "${walls[$key]}"
  done
  echo "($check_note)"
  echo
  targets "$1"
}

# target TEXT CONDITION: TEXT, then whether CONDITION holds.
target() { if holds "$2"; then echo "$1  (met)"; else echo "$1  (MISSED)"; fi; }

targets() {
  local key text limit_bytes=$(((64 * 1024 + ${files[cp]}) * 1024))
  if [[ -n "${ratios[pool]:-}" ]]; then
    printf -v text '%s: default pool <= 0.80 x cp -r: %.2f x' "$1" "${ratios[pool]}"
    target "$text" "${ratios[pool]} <= 0.8"
  fi
  key=${ratios[one]:+one}
  key=${key:-single}
  if [[ -n "${ratios[baseline]:-}" ]]; then
    printf -v text '%s: %s no slower than the baseline (%.2f x, 5 %% allowed): %.2f x' "$1" "$(label_of "$key")" \
      "${ratios[baseline]}" "${ratios[$key]}"
    target "$text" "${ratios[$key]} <= 1.05 * ${ratios[baseline]}"
  else
    # A one-photo-at-a-time run took 1.2-1.35 x cp -r on a two-core machine before the pool.
    printf -v text '%s: %s <= 1.35 x cp -r: %.2f x' "$1" "$(label_of "$key")" "${ratios[$key]}"
    target "$text" "${ratios[$key]} <= 1.35"
  fi
  for key in "${morrowtide_keys[@]}"; do
    printf -v text '%s: %s peak memory < 64 MB + 1 KB per file = %.1f MB: %.1f MB' "$1" "$(label_of "$key")" \
      "$(calc "$limit_bytes / 1048576")" "$(calc "${peaks[$key]} / 1024")"
    target "$text" "${peaks[$key]} * 1024 < $limit_bytes"
  done
}

# --- the runs -----------------------------------------------------------------------------------------------------
declare -i failures=0
printf 'morrowtide-cli: %s (%s)\n' "$cli" "$(if [[ ${morrowtide_keys[0]} == one ]]; then echo "has --jobs"; else echo "no --jobs: one line"; fi)"
[[ -n "$baseline_cli" ]] && printf 'baseline:       %s\n' "$baseline_cli"
printf 'machine: %s cores, %.1f GB memory (%.1f GB available), %d rounds interleaved, %d for jhead/exiftool\n' \
  "$(nproc)" "$(calc "$(meminfo_kb MemTotal) / 1048576")" "$(calc "$(meminfo_kb MemAvailable) / 1048576")" \
  "$rounds" "$other_rounds"
[[ $use_exiftool -eq 1 ]] || echo "exiftool left out"
[[ -d /sys/module/page_reporting ]] && echo "free memory goes back to the host (page reporting): each command's output memory is touched first"

if [[ $sets != raw ]]; then
  mkdir -p "$work/seed-photos"
  if [[ $synthetic -eq 0 && -f "$corpus/INDEX.tsv" ]]; then
    kind=corpus
    seed_photos_from_corpus "$work/seed-photos"
  else
    kind=synthetic
    seed_photos_synthetic "$work/seed-photos"
  fi
  seeds=("$work"/seed-photos/*)
  fill_folder "$work/photos" "$count" "${seeds[@]}"
  run_flags=(--hours 1)
  printf '\nPhotos: %d files (%s: %d sources), %.1f MB in all, largest %.2f MB\n' "$count" "$kind" "${#seeds[@]}" \
    "$(calc "$(du -sb "$work/photos" | cut -f1) / 1048576")" \
    "$(calc "$(stat -c %s "${seeds[@]}" | sort -n | tail -1) / 1048576")"
  note_writeback "$work/photos"
  bench_set photos "$work/photos" "$count"
  rm -rf "$work/photos"
fi

if [[ $sets != photos ]]; then
  mkdir -p "$work/seed-raw"
  seed_raw "$work/seed-raw"
  seeds=("$work"/seed-raw/*)
  average=$(stat -c %s "${seeds[@]}" | awk '{ s += $1 } END { print s / NR }')
  fit_folder "${raw_count:-$count}" "$average"
  n=$fit_count
  fill_folder "$work/raw" "$n" "${seeds[@]}"
  run_flags=(--all-types --hours 1)
  set_mb=$(calc "$(du -sb "$work/raw" | cut -f1) / 1048576")
  printf '\nRaw-size files: %d files of 20-30 MB (%s), %.1f MB in all, from %d sources: %s\n' "$n" "$fit_note" \
    "$set_mb" "${#seeds[@]}" "$(cd "$work/seed-raw" && echo *)"
  note_writeback "$work/raw"
  bench_set raw "$work/raw" "$n"
  rm -rf "$work/raw"
fi

exit $((failures > 0))
