#!/usr/bin/env bash
# Sets up, builds and runs the setup once under Wine, with its debug log
# written beside the build.
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
log="$build/run/VeltranoShieldSetup.log"
mkdir -p "$build/run"
set +e
VeltranoDbgLog="Z:$log" "$build/wine-run.sh" "$build/VeltranoShieldSetup.exe" "$@"
rc=$?
set -e
echo "exit code: $rc"
echo "debug log: $log"
exit $rc
