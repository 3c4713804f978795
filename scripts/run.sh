#!/usr/bin/env bash
# The setup's whole job, locally: sets up and builds, then runs
# build/loopback/VeltranoShieldSetup.exe under Wine against a redirect service
# (https://127.0.0.1:47443) and a package mirror (http://127.0.0.1:47080) on
# loopback that serve a demonstration package signed by the test signer
# "Veltrano Limited" (the test root is in the demo prefix's machine root store,
# as a real root is on Windows). The download is paced so a person can watch
# it; the package is installed into the demo's own Wine prefix. Pictures of
# the window at each stage, the exit code and the debug log's path are
# printed at the end. The window goes to the user's display when there is
# one, otherwise to a private X server. Every server is stopped on exit.
# Arguments go to the setup (for example /QUIET or /L*v install.log).
set -euo pipefail
user_display="${DISPLAY:-}"
. "$(dirname "$0")/harness.sh"
. "$here/tests/net/net_servers.sh"
. "$here/tests/worker/worker_servers.sh"

demo="$build/demo"
prefix="$build/demoprefix"
fixtures="$build/fixtures"
mkdir -p "$demo"
rm -f "$demo"/*.png "$demo/VeltranoShieldSetup.log" "$demo/install.log"

demo_stop() {
  net_stop_servers
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  vt_harness_stop
}
trap demo_stop EXIT
[ -n "$user_display" ] && export DISPLAY="$user_display"

# The demo's own prefix: the test prefix stays as the tests expect it.
"$here/scripts/wine-prefix.sh" "$prefix"
export VT_WINEPREFIX="$prefix" WINEPREFIX="$prefix"
winerun="$build/wine-run.sh"
"$winerun" "$build/tests/fixtures/vt_rootstore.exe" add "Z:$fixtures/ca/root.crt" >/dev/null
# A second run starts from an uninstalled product, as the first one did.
"$winerun" msiexec /x "Z:$fixtures/msi/demo-veltrano.msi" /qn >/dev/null 2>&1 || true

NET_WORK=$(mktemp -d /tmp/vt-demo.XXXXXX)
worker_start_servers "$fixtures" msi/demo-veltrano.msi --paced
net_watchdog $$

log="$demo/VeltranoShieldSetup.log"
# The window's stages, pictured as they come (each waits for its text).
shots=()
shot() {
  timeout 120 "$winerun" "$build/scripts/demo/vt_shot.exe" "Z:$demo/$1.png" "$2" "$3" 90000 >/dev/null 2>&1 &
  shots+=("$!")
}
shot 1-downloading "Downloading" 1500
shot 2-installing "Installing" 0
set +e
VeltranoDbgLog="Z:$log" timeout 300 "$winerun" "$build/loopback/VeltranoShieldSetup.exe" \
  /L*v "Z:$demo/install.log" "$@"
rc=$?
set -e
sleep 1
kill "${shots[@]}" 2>/dev/null || true
wait "${shots[@]}" 2>/dev/null || true

echo "exit code: $rc"
echo "debug log: $log"
echo "installer log: $demo/install.log"
for p in "$demo"/*.png; do [ -f "$p" ] && echo "picture: $p"; done
if "$winerun" reg query 'HKLM\Software\Veltrano\Shield (demo)' /v Installed /reg:32 >/dev/null 2>&1; then
  echo "installed: Veltrano Shield (demo) in the Wine prefix $prefix"
fi
exit $rc
