#!/usr/bin/env bash
# Debug log throughput against plain WriteFile calls, in one run under Wine.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build="${VT_BUILD_DIR:-$here/build}"
echo "== debug log: 100,000 lines from two threads"
VT_WINEPREFIX="${VT_WINEPREFIX:-$build/wineprefix}" "$build/wine-run.sh" "$build/bench/log/bench_log.exe"
