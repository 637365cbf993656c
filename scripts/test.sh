#!/usr/bin/env bash
# Installs what is missing, checks the format of the C++ sources, builds and runs every test: first the
# normal build in build/, then the Debian package made from it and checked, then the same tests built
# with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/ (no benchmarks there). The
# sanitizer build waits for the normal tests: they play controllers against real time, and on a
# two-core machine a compiler beside them makes a controller miss its answer. Its output is kept in
# build/asan-build.log and shown when it fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/format.sh
scripts/build.sh

export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j4
scripts/package.sh >/dev/null
scripts/package-check.sh

asan_log=$PWD/build/asan-build.log
if ! scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DQT2XX_SANITIZE=ON -DQT2XX_BENCH=OFF >"$asan_log" 2>&1; then
  cat "$asan_log"
  echo "test.sh: the sanitizer build failed (its output is above and in build/asan-build.log)" >&2
  exit 1
fi

ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1" \
LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  ctest --test-dir build-asan --output-on-failure -j4
