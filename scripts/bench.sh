#!/usr/bin/env bash
# Builds everything and runs every benchmark in bench/ under Wine.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build="${VT_BUILD_DIR:-$here/build}"
"$here/scripts/setup.sh"
"$here/scripts/build.sh"
. "$here/scripts/xvfb.sh"
export VT_WINEPREFIX="$build/wineprefix"
cleanup() { WINEPREFIX="$VT_WINEPREFIX" wineserver -k 2>/dev/null || true; vt_stop_xvfb; }
trap cleanup EXIT
vt_start_xvfb
"$here/scripts/wine-prefix.sh" "$VT_WINEPREFIX"
for b in "$here"/bench/*.sh; do
  "$b"
done
