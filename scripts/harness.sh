# Sourced by test.sh, run.sh and bench.sh: sets up and builds, then starts a
# private Xvfb and the build's Wine prefix with a warm wineserver, both
# stopped again when the calling script exits.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${VT_BUILD_DIR:-$here/build}"
"$here/scripts/setup.sh"
"$here/scripts/build.sh"
. "$here/scripts/xvfb.sh"
export VT_WINEPREFIX="$build/wineprefix"
vt_harness_stop() { WINEPREFIX="$VT_WINEPREFIX" wineserver -k 2>/dev/null || true; vt_stop_xvfb; }
trap vt_harness_stop EXIT
vt_start_xvfb
"$here/scripts/wine-prefix.sh" "$VT_WINEPREFIX"
