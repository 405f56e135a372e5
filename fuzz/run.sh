#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fuzzes for real: builds a fuzz target (FUZZ_TARGET, default reader_fuzz; also pipeline_fuzz, iptc_fuzz,
# xmp_fuzz, container_fuzz) and the metadata library with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer in build/fuzz (build/fuzz-<target> for the others), then runs it for SECONDS (default
# 600) on the checked-in seeds of the target and of the reader. New inputs go to <build>/corpus; crashing inputs to <build>/crashes (copy each one
# you fix into fuzz/corpus/<target>/ so CTest replays it from then on).
#   [FUZZ_TARGET=name] fuzz/run.sh [SECONDS] [extra libFuzzer options...]
set -euo pipefail
cd "$(dirname "$0")/.."
target=${FUZZ_TARGET:-reader_fuzz}
seconds=${1:-600}
shift || true
out=build/fuzz
[[ "$target" == reader_fuzz ]] || out=build/fuzz-${target%_fuzz}
seeds=(fuzz/corpus/"$target")
[[ "$target" == reader_fuzz ]] || seeds+=(fuzz/corpus/reader_fuzz)
mkdir -p "$out/obj" "$out/generated/meta" "$out/corpus" "$out/crashes"

version=$(sed -n 's/^project(Morrowtide VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
IFS=. read -r major minor patch <<<"$version"
sed -e "s/@PROJECT_VERSION_MAJOR@/$major/" -e "s/@PROJECT_VERSION_MINOR@/$minor/" -e "s/@PROJECT_VERSION@/$version/" \
  src/meta/version.h.in >"$out/generated/meta/version.h.tmp"
cmp -s "$out/generated/meta/version.h.tmp" "$out/generated/meta/version.h" ||
  mv "$out/generated/meta/version.h.tmp" "$out/generated/meta/version.h"

# MORROWTIDE_LIBFUZZER turns on what only libFuzzer calls (custom mutators); the CTest replay builds without it.
flags=(-std=c++20 -g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
  -fconstexpr-steps=100000000 -DMORROWTIDE_LIBFUZZER -Isrc -I"$out/generated")
objects=()
for source in src/meta/*.cpp src/meta/makernote/*.cpp src/meta/formats/*.cpp "fuzz/$target.cpp"; do
  object="$out/obj/$(echo "$source" | tr / _).o"
  if [[ ! -f "$object" || "$source" -nt "$object" || -n "$(find src/meta -name '*.h' -newer "$object" -print -quit)" ]]; then
    echo "compiling $source"
    clang++ "${flags[@]}" -c "$source" -o "$object"
  fi
  objects+=("$object")
done
clang++ "${flags[@]}" "${objects[@]}" -ljpeg -o "$out/$target"

echo "fuzzing for ${seconds}s"
exec "$out/$target" "$out/corpus" "${seeds[@]}" -max_total_time="$seconds" -max_len=70000 -timeout=10 \
  -rss_limit_mb=2048 -artifact_prefix="$out/crashes/" -print_final_stats=1 "$@"
