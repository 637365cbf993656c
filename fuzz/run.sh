#!/usr/bin/env bash
# Runs every fuzz target for SECONDS seconds (default 60), one after the other, starting from the
# committed seeds. New inputs go to build-fuzz/corpus/, crashes to build-fuzz/crashes/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
fuzz/build.sh
for target in $(cd fuzz && ls fuzz_*.cpp | sed 's/\.cpp$//'); do
  name=${target#fuzz_}
  mkdir -p "build-fuzz/corpus/$name" "build-fuzz/crashes/$name"
  dict=(); [[ -f "fuzz/$name.dict" ]] && dict=(-dict="fuzz/$name.dict")
  echo "== $target for ${seconds}s"
  QT_QPA_PLATFORM=offscreen "build-fuzz/bin/$target" -max_total_time="$seconds" -print_final_stats=1 "${dict[@]}" \
    -artifact_prefix="build-fuzz/crashes/$name/" "build-fuzz/corpus/$name" "fuzz/corpus/$name"
done
