#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Puts the licence line at the top of every source file of the checkout that lacks it: "// SPDX-..." in C++,
# "# SPDX-..." in CMake, shell and Python files (below a "#!" line). Files that already have it are left as they are,
# so the script can be run again at any time. Data files (photos, pictures, translations, help pages, the corpus) get
# none.
#   scripts/add-spdx-headers.sh            add the line where it is missing
#   scripts/add-spdx-headers.sh --check    only list the files that lack it; exit 1 when there are any
set -euo pipefail
cd "$(dirname "$0")/.."
readonly licence="SPDX-License-Identifier: GPL-3.0-or-later"
check=false
[[ ${1:-} == --check ]] && check=true

# The files under version control; outside a git checkout (a source tarball), the files of the tree less the builds.
list_files() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files
  else
    find . -path ./build -prune -o -path ./.git -prune -o -type f -print | sed 's|^\./||'
  fi
}

# The comment marker of a source file, or nothing for a file that is not source.
marker_of() {
  local path=$1
  case $path in
    fuzz/corpus/*) return ;;
    *.cpp | *.h | *.h.in) echo "//" ;;
    */CMakeLists.txt | CMakeLists.txt | *.cmake | *.sh | *.py | *.bash-completion) echo "#" ;;
    *)
      # Scripts without an extension (.ci/run) are known by their "#!" line.
      if [[ -f $path && $(head -c 2 "$path") == "#!" ]]; then echo "#"; fi
      ;;
  esac
}

missing=()
while IFS= read -r path; do
  marker=$(marker_of "$path")
  [[ -n $marker && -f $path ]] || continue
  # The line counts within the first three lines (after a "#!" line and an encoding line).
  head -n 3 "$path" | grep -qF "$licence" && continue
  missing+=("$path")
  $check && continue
  line="$marker $licence"
  if [[ $(head -c 2 "$path") == "#!" ]]; then
    { head -n 1 "$path"; echo "$line"; tail -n +2 "$path"; } >"$path.spdx-tmp"
  else
    { echo "$line"; cat "$path"; } >"$path.spdx-tmp"
  fi
  # Keeps the file's mode (scripts stay executable).
  chmod --reference="$path" "$path.spdx-tmp"
  mv "$path.spdx-tmp" "$path"
done < <(list_files)

if $check; then
  if ((${#missing[@]} > 0)); then
    echo "Source files without the line \"$licence\" (scripts/add-spdx-headers.sh adds it):" >&2
    printf '  %s\n' "${missing[@]}" >&2
    exit 1
  fi
  echo "Every source file carries \"$licence\"."
else
  echo "Added the licence line to ${#missing[@]} file(s)."
fi
