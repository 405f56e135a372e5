#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the Release and the sanitizer build, and runs every test of both with CTest.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
skipped=()
# The run ends by naming what was skipped and why, whether the tests passed or failed.
report_skipped() {
  echo "=== skipped tests: ${#skipped[@]}"
  for line in "${skipped[@]}"; do echo "  $line"; done
}
for preset in release sanitize; do
  echo "=== ${preset}: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "=== ${preset}: test"
  status=0
  ctest --preset "$preset" -j "$jobs" || status=$?
  while IFS= read -r line; do skipped+=("[${preset}] ${line}"); done < <(./scripts/skipped-tests.sh "build/${preset}")
  if ((status != 0)); then
    report_skipped
    exit "$status"
  fi
done
echo "All tests passed in both builds."
report_skipped
