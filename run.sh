#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the Release version and starts Morrowtide.
#   ./run.sh                 the program window
#   ./run.sh --cli ARGS...   the command-line program (morrowtide-cli ARGS...)
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh >&2
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" >&2

bin=build/release/src
if [[ "${1:-}" == "--cli" ]]; then
  shift
  exec "$bin/cli/morrowtide-cli" "$@"
fi
if [[ -x "$bin/gui/morrowtide" ]]; then
  exec "$bin/gui/morrowtide" "$@"
fi
# Until the window program is built, the command-line program stands in for it.
exec "$bin/cli/morrowtide-cli" "$@"
