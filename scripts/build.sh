#!/usr/bin/env bash
# Configures and builds everything into build/ (after setup.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/env.sh"
build="${VT_BUILD_DIR:-$here/build}"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake" \
    -DVT_DEPS_DIR="$DEPS_DIR" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j"$(nproc)"
