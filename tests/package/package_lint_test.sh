#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package as a distribution would judge it: built with cpack, then checked by lintian (warnings count as
# failures), its AppStream entry by appstreamcli and its desktop entry by desktop-file-validate. Also checks what
# those tools do not: the manual pages come from the programs' own help, the changelog names the project's version,
# and the bash completion completes.
#   package_lint_test.sh BUILD_DIR SCRATCH_DIR VERSION
# Exits 77 (skipped) when a checking tool is missing, unless CI is set.
set -euo pipefail
build=$1 scratch=$2 version=$3

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

for tool in lintian appstreamcli desktop-file-validate man; do
  if ! command -v "$tool" >/dev/null; then
    [[ -z ${CI:-} ]] || fail "$tool is missing (./scripts/install-deps.sh installs it)"
    echo "Skipped: $tool is missing (./scripts/install-deps.sh installs it)"
    exit 77
  fi
done

rm -rf "$scratch"
mkdir -p "$scratch"
if ! cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log" >&2
  fail "cpack failed"
fi
debs=("$scratch"/out/*.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "expected one .deb in $scratch/out, found: ${debs[*]}"
deb=${debs[0]}

# As root lintian says on standard error that it would rather not run so; only that line is dropped.
echo "=== lintian"
lintian --fail-on error,warning --display-info "$deb" 2> >(grep -v 'running with root privileges' >&2) ||
  fail "lintian reports errors or warnings"

root=$scratch/root
dpkg -x "$deb" "$root"
share=$root/usr/share
for path in doc/morrowtide/copyright doc/morrowtide/changelog.gz man/man1/morrowtide-cli.1.gz \
  bash-completion/completions/morrowtide-cli; do
  [[ -s $share/$path ]] || fail "usr/share/$path is not in the package"
done

echo "=== copyright and changelog"
grep -qx 'License: GPL-3+' "$share/doc/morrowtide/copyright" || fail "copyright file does not name GPL-3+"
zcat "$share/doc/morrowtide/changelog.gz" | head -1 | grep -q "^morrowtide ($version) " ||
  fail "changelog starts with: $(zcat "$share/doc/morrowtide/changelog.gz" | head -1)"

echo "=== manual pages"
cli=$root/usr/bin/morrowtide-cli
# The page's source, with roff's minus signs as typed: the formatted page may hyphenate a long option.
page=$(zcat "$share/man/man1/morrowtide-cli.1.gz" | sed 's/\\-/-/g')
# Every option of the run command's help is on the page.
while read -r option; do
  [[ $page == *"$option"* ]] || fail "morrowtide-cli(1) lacks $option from run --help"
done < <("$cli" run --help | grep -oE -- '--[a-z][a-z-]+' | sort -u)
[[ $page == *"$("$cli" info --help | sed -n 3p | cut -c1-40)"* ]] || fail "morrowtide-cli(1) lacks the info help"

if [[ -e $root/usr/bin/morrowtide ]]; then
  [[ -s $share/man/man1/morrowtide.1.gz ]] || fail "usr/share/man/man1/morrowtide.1.gz is not in the package"
  echo "=== desktop-file-validate"
  desktop-file-validate "$share/applications/morrowtide.desktop" || fail "desktop entry does not validate"
  echo "=== appstreamcli validate"
  metainfo=("$share"/metainfo/*.metainfo.xml)
  [[ -f ${metainfo[0]} ]] || fail "no AppStream entry in usr/share/metainfo"
  appstreamcli validate --no-net "${metainfo[0]}" || fail "AppStream entry does not validate"
  grep -q "<release version=\"$version\"" "${metainfo[0]}" || fail "AppStream entry lacks release $version"
  grep -q '<launchable type="desktop-id">morrowtide.desktop</launchable>' "${metainfo[0]}" ||
    fail "AppStream entry does not launch the installed desktop entry"
fi

echo "=== bash completion"
# Completes as bash would for the words typed so far; prints the candidates one a line.
complete_words() {
  bash -c '
    source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _morrowtide_cli morrowtide-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    ((${#COMPREPLY[@]} == 0)) || printf "%s\n" "${COMPREPLY[@]}"' _ "$share/bash-completion/completions/morrowtide-cli" "$@"
}
mkdir -p "$scratch/photos/Trip 2024" "$scratch/photos/Tokyo"
touch "$scratch/photos/Trip 2024/IMG_0001.JPG"
expect_completion() {
  local want=$1
  shift
  local got
  got=$(complete_words "$@" | sort | tr '\n' ' ')
  [[ $got == "$want" ]] || fail "completing \"$*\" gave \"$got\", expected \"$want\""
}
expect_completion "run " morrowtide-cli r
expect_completion "--dry-run " morrowtide-cli run --dr
expect_completion "--no-preserve-mtime " morrowtide-cli run --days 3 --no-pre
expect_completion "$scratch/photos/Tokyo $scratch/photos/Trip 2024 " morrowtide-cli run "$scratch/photos/T"
expect_completion "$scratch/photos/Trip 2024/IMG_0001.JPG " morrowtide-cli info "$scratch/photos/Trip 2024/I"
expect_completion "" morrowtide-cli run --hours ""
# Every option of run --help is offered after "--".
offered=$(complete_words morrowtide-cli run --)
while read -r option; do
  grep -qx -- "$option" <<<"$offered" || fail "completion does not offer $option"
done < <("$cli" run --help | grep -oE -- '--[a-z][a-z-]+' | sort -u)
echo "package passes lintian, appstreamcli and desktop-file-validate"
