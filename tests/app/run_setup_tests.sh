#!/usr/bin/env bash
# Runs the setup's own tests: the real executable as a child process against
# the loopback download side (the package server on the fixed ports of the
# loopback build), with rebranded copies made for the branding cases. Every
# server is stopped on exit, whatever happens.
# Usage: run_setup_tests.sh WINE_RUN TEST_EXE FIXTURES_DIR LOOPBACK_EXE [gtest args...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
winerun=$1 exe=$2 fixtures=$3 loopback=$4
shift 4

. "$root/tests/net/net_servers.sh"
. "$root/tests/worker/worker_servers.sh"
trap net_stop_servers EXIT
NET_WORK=$(mktemp -d /tmp/vt-setup.XXXXXX)
worker_start_servers "$fixtures" msi/props-veltrano.msi
net_watchdog $$

# Copies of the loopback build with other branding; the topic picks the
# download side's answer (tests/worker/package_server.py).
copies="$NET_WORK/copies"
mkdir -p "$copies"
printf 'A\0B\0C\0D' >"$NET_WORK/seven.bin" # seven bytes: three characters
rebrand() { VT_BUILD_DIR="$(dirname "$(dirname "$loopback")")" "$root/scripts/rebrand.sh" "$loopback" "$copies/$1" "${@:2}"; }
rebrand refer.exe --refer partner7
rebrand emptyrefer.exe --refer ""
rebrand noproduct.exe --no-product
rebrand seven.exe --raw REB_PRODUCTNAME "$NET_WORK/seven.bin"
rebrand slow.exe --topic "slow.msi/props-veltrano.msi_"
rebrand notfound.exe --topic "status.404_"
cp "$loopback" "$copies/VtSetupWin7.exe"
export VT_COPIES="Z:$copies"

# Bounded below CTest's own limit, so that the trap above always runs.
timeout 840 "$winerun" "$exe" "$@" </dev/null
