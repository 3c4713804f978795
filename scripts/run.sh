#!/usr/bin/env bash
# Sets up, builds and runs the setup once under Wine, with its debug log
# written beside the build; arguments go to the setup.
set -euo pipefail
. "$(dirname "$0")/harness.sh"
log="$build/run/VeltranoShieldSetup.log"
mkdir -p "$build/run"
set +e
VeltranoDbgLog="Z:$log" "$build/wine-run.sh" "$build/VeltranoShieldSetup.exe" "$@"
rc=$?
set -e
echo "exit code: $rc"
echo "debug log: $log"
exit $rc
