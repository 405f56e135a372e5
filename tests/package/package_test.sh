#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package of a finished build, unpacks it into a scratch root and checks what a user would get:
# the package's name, version and dependencies, every installed file in its place, and the command-line program
# running from the unpacked tree.
#   package_test.sh BUILD_DIR SCRATCH_DIR MAKE_HOSTILE_TREE VERSION EXPECT_GUI(ON|OFF) EXPECT_HELP(ON|OFF)
set -euo pipefail
build=$1 scratch=$2 maker=$3 version=$4 expect_gui=$5 expect_help=$6

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

rm -rf "$scratch"
mkdir -p "$scratch"
if ! cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log" >&2
  fail "cpack failed"
fi
debs=("$scratch"/out/*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "expected one .deb in $scratch/out, found: ${debs[*]}"
deb=${debs[0]}
echo "package: $(basename "$deb") ($(stat -c %s "$deb") bytes)"

field() { dpkg-deb --field "$deb" "$1"; }
[[ $(field Package) == morrowtide ]] || fail "package name $(field Package)"
[[ $(field Version) == "$version" ]] || fail "package version $(field Version), project version $version"
depends=$(field Depends)
echo "depends: $depends"
for dep in libjpeg62-turbo libqt6core6; do
  [[ $depends == *"$dep"* ]] || fail "Depends lacks $dep"
done
if [[ $expect_gui == ON ]]; then
  for dep in libqt6widgets6 libqt6help6; do
    [[ $depends == *"$dep"* ]] || fail "Depends lacks $dep"
  done
fi
# Nothing of the build tree or the compilers may leak into the dependencies.
[[ $depends != *"-dev"* ]] || fail "Depends names a development package"

root=$scratch/root
dpkg -x "$deb" "$root"
expected=(usr/bin/morrowtide-cli)
if [[ $expect_gui == ON ]]; then
  expected+=(usr/bin/morrowtide usr/share/applications/morrowtide.desktop
    usr/share/icons/hicolor/scalable/apps/morrowtide.svg)
  for size in 16 32 48 64 128 256; do
    expected+=("usr/share/icons/hicolor/${size}x${size}/apps/morrowtide.png")
  done
fi
if [[ $expect_help == ON ]]; then
  expected+=(usr/share/morrowtide/Morrowtide.qch)
fi
for path in "${expected[@]}"; do
  [[ -s $root/$path ]] || fail "$path is not in the package"
done
for program in "$root"/usr/bin/*; do
  [[ -x $program ]] || fail "$program is not executable"
  # An installed program must not look for libraries in the build tree.
  if readelf -d "$program" 2>/dev/null | grep -E 'RPATH|RUNPATH' | grep -q "$build"; then
    fail "$program keeps a run path into the build tree"
  fi
done
if [[ $expect_gui == ON ]]; then
  desktop=$root/usr/share/applications/morrowtide.desktop
  grep -qx 'Exec=morrowtide' "$desktop" || fail "desktop entry does not start morrowtide"
  grep -qx 'Icon=morrowtide' "$desktop" || fail "desktop entry does not use the installed icon"
  if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$desktop"; fi
fi

cli=$root/usr/bin/morrowtide-cli
help=$("$cli" --help)
[[ $help == *"Usage: morrowtide-cli"* && $help == *"info"* && $help == *"run"* ]] || fail "--help printed: $help"
[[ $("$cli" --version) == "morrowtide-cli $version" ]] || fail "--version printed: $("$cli" --version)"

"$maker" photo "$scratch/photo with spaces.jpg" "2005:06:01 10:00:00"
info=$("$cli" info "$scratch/photo with spaces.jpg")
[[ $info == *'DateTimeOriginal: "2005:06:01 10:00:00"'* ]] || fail "info printed: $info"
[[ $info == *"Status: <none>"* ]] || fail "info printed: $info"

# And one real run from the unpacked program.
mkdir -p "$scratch/in"
cp "$scratch/photo with spaces.jpg" "$scratch/in/"
"$cli" run --hours 2 "$scratch/in" "$scratch/fixed" >"$scratch/run.log"
[[ -f "$scratch/fixed/2005-06-01 12-00-00 - photo with spaces.jpg" ]] || fail "run wrote: $(ls "$scratch/fixed")"
echo "package installs and runs"
