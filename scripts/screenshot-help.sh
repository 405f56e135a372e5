#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Saves pictures of the help window at its index (help-index.png) and of the About box (about-box.png) into OUTDIR
# (default docs/screenshots). The GUI tests that open these windows save them when MORROWTIDE_SCREENSHOT_DIR is set;
# they run here under a virtual X server, so the pictures show the real X11 rendering.
#   scripts/screenshot-help.sh [OUTDIR]
#   MORROWTIDE_BUILD_DIR=build/help scripts/screenshot-help.sh   (use an existing build folder)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs/screenshots}
mkdir -p "$out"
out=$(cd "$out" && pwd)

build=${MORROWTIDE_BUILD_DIR:-}
if [[ -z "$build" ]]; then
  (cd "$root" && cmake --preset release >/dev/null &&
    cmake --build --preset release --target gui_help_viewer_test gui_about_box_test >&2)
  build="$root/build/release"
fi
command -v xvfb-run >/dev/null || { echo "screenshot-help.sh: xvfb-run is missing (scripts/install-deps.sh)" >&2; exit 1; }

runtime=$(mktemp -d "${TMPDIR:-/tmp}/morrowtide-shots.XXXXXX")
trap 'rm -rf "$runtime"' EXIT
chmod 700 "$runtime"
for test in help_viewer_test about_box_test; do
  exe=$(find "$build" -name "gui_$test" -type f -perm -u+x | head -n 1)
  [[ -n "$exe" ]] || { echo "screenshot-help.sh: gui_$test not found under $build" >&2; exit 1; }
  XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=xcb MORROWTIDE_SCREENSHOT_DIR="$out" \
    xvfb-run -a -s "-screen 0 1280x1024x24" "$exe" -silent >&2
done

for shot in help-index about-box; do
  [[ -s "$out/$shot.png" ]] || { echo "screenshot-help.sh: $out/$shot.png was not written" >&2; exit 1; }
done
echo "Screenshots written to $out: help-index.png about-box.png"
