#!/usr/bin/env bash
# Installs what the build, the tests and the window need on Debian, and nothing that is already there.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config clang-format git ccache
  qt6-base-dev qt6-serialport-dev qt6-serialbus-dev libgl-dev qt6-tools-dev qt6-l10n-tools
  libqt6sql6-sqlite libqt6sql6-psql postgresql sqlite3
  fonts-wqy-microhei locales
  dpkg-dev file lintian desktop-file-utils appstream man-db
  # the screenshots in docs/ are taken under a virtual display
  xvfb imagemagick xdotool
  # the lot report test reads its PDF back as text
  poppler-utils
  # the pdf: labels' DataMatrix, and the label test that reads it back
  libzint-dev dmtx-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  sudo_cmd=()
  if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
  echo "Installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
