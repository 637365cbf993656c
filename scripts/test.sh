#!/usr/bin/env bash
# Installs what is missing, checks the format of the C++ sources, builds and runs every test: first the
# normal build in build/, then the Debian package made from it and checked, then the same tests built
# with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/ (no benchmarks there). The
# sanitizer build compiles while the normal tests and the package checks run, since those mostly wait;
# its output is kept in build/asan-build.log and shown when it fails. That build runs at the lowest
# priority: the tests play controllers against real time, and must not wait for the compiler.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/format.sh
scripts/build.sh

asan_log=$PWD/build/asan-build.log
nice -n 19 scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DQT2XX_SANITIZE=ON -DQT2XX_BENCH=OFF >"$asan_log" 2>&1 &
asan_build=$!

export QT_QPA_PLATFORM=offscreen
failed=0
if ctest --test-dir build --output-on-failure -j4; then
  { scripts/package.sh >/dev/null && scripts/package-check.sh; } || failed=1
else
  failed=1
fi

if ! wait "$asan_build"; then
  cat "$asan_log"
  echo "test.sh: the sanitizer build failed (its output is above and in build/asan-build.log)" >&2
  exit 1
fi
((failed == 0)) || exit 1

ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1" \
LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  ctest --test-dir build-asan --output-on-failure -j4
