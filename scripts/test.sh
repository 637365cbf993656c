#!/usr/bin/env bash
# Installs what is missing, checks the format of the C++ sources, builds and runs every test: first the
# normal build in build/, then the Debian package made from it and checked, then the same tests built
# with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/ (no benchmarks there).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/format.sh
scripts/build.sh

export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j4

scripts/package.sh >/dev/null
scripts/package-check.sh

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQT2XX_SANITIZE=ON -DQT2XX_BENCH=OFF >/dev/null
cmake --build build-asan
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1" \
LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  ctest --test-dir build-asan --output-on-failure -j4
