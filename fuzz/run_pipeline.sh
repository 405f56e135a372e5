#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fuzzes the whole correction of one photo (reader, date shift and writer together, fuzz/pipeline_fuzz.cpp) with the
# sanitizers, in build/fuzz-pipeline, for SECONDS (default 1800). See fuzz/run.sh.
#   fuzz/run_pipeline.sh [SECONDS] [extra libFuzzer options, e.g. -jobs=2 -workers=2]
seconds=${1:-1800}
shift || true
FUZZ_TARGET=pipeline_fuzz exec "$(dirname "$0")/run.sh" "$seconds" "$@"
