#!/usr/bin/env bash
# Synchronised calls from a worker to the window thread against plain
# SendMessageW round trips, in one process under Wine.
# Run from the repository root after a build (VT_BUILD_DIR, default ./build).
set -euo pipefail
root=$(pwd)
build="${VT_BUILD_DIR:-$root/build}"
exe="$build/bench/sync/bench_sync.exe"
[ -f "$exe" ] || { echo "sync_calls: $exe missing: build first (scripts/build.sh)" >&2; exit 2; }
echo "== synchronised calls (bench/sync_calls.sh)"
timeout 300 "$build/wine-run.sh" "$exe" 20000
