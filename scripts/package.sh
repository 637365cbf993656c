#!/usr/bin/env bash
# Installs what is missing, builds and makes the Debian package build/qt2xx_<version>_<arch>.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
rm -f build/qt2xx_*.deb
(cd build && cpack -G DEB >/dev/null)
ls build/qt2xx_*.deb
