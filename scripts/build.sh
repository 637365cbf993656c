#!/usr/bin/env bash
# Configures and builds into build/ (programs in build/bin/), or into the folder given first with the
# CMake options that follow it (they override the defaults here). When ccache is installed it keeps the
# compiled objects, so a second build of the same sources, from any clone, mostly reads them back.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift $(($# > 0 ? 1 : 0))

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # Paths below the clone are hashed relative to it, so another clone of the same sources hits too;
  # the precompiled headers and the generated sources are new in every clone.
  export CCACHE_BASEDIR=$PWD
  export CCACHE_NOHASHDIR=true
  export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
fi
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
cmake --build "$dir"
