#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the project needs, only those that are missing.
set -euo pipefail

PACKAGES=(
  cmake g++ make qt6-base-dev libjpeg62-turbo-dev libgtest-dev xvfb xauth fonts-dejavu-core xdg-utils
  libimage-exiftool-perl clang libclang-rt-14-dev qt6-tools-dev-tools qt6-tools-dev libqt6sql6-sqlite locales
  qt6-l10n-tools qt6-translations-l10n python3 dpkg-dev file lintian appstream desktop-file-utils man-db
)

SUDO=""
if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi

missing=()
for pkg in "${PACKAGES[@]}"; do
  if ! dpkg -s "$pkg" >/dev/null 2>&1; then
    missing+=("$pkg")
  fi
done

if ((${#missing[@]} > 0)); then
  echo "Installing missing packages: ${missing[*]}"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The number-formatting tests need a locale whose decimal separator is a comma.
installed_locales=$(locale -a 2>/dev/null || true)
if ! grep -qix 'de_DE\.utf-\?8' <<<"$installed_locales"; then
  echo "Generating the de_DE.UTF-8 locale"
  # Exit status 1 only reports warnings about the locale source; the locale is written all the same.
  $SUDO localedef -i de_DE -c -f UTF-8 de_DE.UTF-8 || [[ $? -eq 1 ]]
fi
