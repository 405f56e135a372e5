#!/usr/bin/env bash
# Fuzzes the whole correction of one photo (reader, date shift and writer together, fuzz/pipeline_fuzz.cpp) with
# clang's libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer, in build/fuzz-pipeline, for SECONDS (default
# 1800). Seeds: fuzz/corpus/pipeline_fuzz and the reader's seeds; new inputs go to build/fuzz-pipeline/corpus,
# failing ones to build/fuzz-pipeline/crashes (copy each one into fuzz/corpus/pipeline_fuzz/ so CTest replays it).
#   fuzz/run_pipeline.sh [SECONDS] [extra libFuzzer options, e.g. -jobs=2 -workers=2]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-1800}
shift || true
out=build/fuzz-pipeline
mkdir -p "$out/obj" "$out/generated/meta" "$out/corpus" "$out/crashes"

version=$(sed -n 's/^project(Morrowtide VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
IFS=. read -r major minor patch <<<"$version"
sed -e "s/@PROJECT_VERSION_MAJOR@/$major/" -e "s/@PROJECT_VERSION_MINOR@/$minor/" -e "s/@PROJECT_VERSION@/$version/" \
  src/meta/version.h.in >"$out/generated/meta/version.h.tmp"
cmp -s "$out/generated/meta/version.h.tmp" "$out/generated/meta/version.h" ||
  mv "$out/generated/meta/version.h.tmp" "$out/generated/meta/version.h"

flags=(-std=c++20 -g -O1 -fno-omit-frame-pointer -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
  -fconstexpr-steps=100000000 -Isrc -I"$out/generated")
objects=()
for source in src/meta/*.cpp src/meta/makernote/*.cpp fuzz/pipeline_fuzz.cpp; do
  object="$out/obj/$(echo "$source" | tr / _).o"
  if [[ ! -f "$object" || "$source" -nt "$object" || -n "$(find src/meta -name '*.h' -newer "$object" -print -quit)" ]]; then
    echo "compiling $source"
    clang++ "${flags[@]}" -c "$source" -o "$object"
  fi
  objects+=("$object")
done
clang++ "${flags[@]}" "${objects[@]}" -ljpeg -o "$out/pipeline_fuzz"

echo "fuzzing for ${seconds}s"
exec "$out/pipeline_fuzz" "$out/corpus" fuzz/corpus/pipeline_fuzz fuzz/corpus/reader_fuzz -max_total_time="$seconds" \
  -max_len=70000 -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$out/crashes/" -print_final_stats=1 "$@"
