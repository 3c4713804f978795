#!/usr/bin/env bash
# Configures and builds everything into build/ (after setup.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
. "$here/scripts/env.sh"
build="${VT_BUILD_DIR:-$here/build}"
[ -f "$build/deps.env" ] || { echo "build: $build/deps.env missing: run scripts/setup.sh first" >&2; exit 1; }
. "$build/deps.env"
# Other library builds than the configured ones: configure afresh.
if [ -f "$build/CMakeCache.txt" ] && ! cmp -s "$build/deps.env" "$build/deps.configured"; then
  rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake" \
    -DVT_OPENSSL_ROOT="$VT_OPENSSL_ROOT" -DVT_CURL_ROOT="$VT_CURL_ROOT" -DVT_GTEST_ROOT="$VT_GTEST_ROOT" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cp "$build/deps.env" "$build/deps.configured"
fi
cmake --build "$build" -j"$(nproc)"
