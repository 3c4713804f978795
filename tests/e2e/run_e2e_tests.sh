#!/usr/bin/env bash
# Runs the end-to-end tests: the whole setup executable against the loopback
# download side (the package server on the fixed ports of the loopback build),
# the HTTP client tests' server (other TLS versions, a listener that closes at
# once, a port where nothing listens) and real proxies (tinyproxy, microsocks).
# Every server is stopped on exit, whatever happens.
# Usage: run_e2e_tests.sh WINE_RUN TEST_EXE FIXTURES_DIR [gtest args...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
winerun=$1 exe=$2 fixtures=$3
shift 3

. "$root/tests/net/net_servers.sh"
. "$root/tests/worker/worker_servers.sh"
trap net_stop_servers EXIT
net_start_servers
worker_start_servers "$fixtures" msi/props-veltrano.msi
# An HTTP proxy that allows CONNECT to port 443 only.
net_tinyproxy_conf "$NET_WORK/tp-noconnect.tmpl" 0 443
net_start_listener VT_E2E_NOCONNECT_PORT bash -c \
  'sed "s/@PORT""@/$1/" "$2" >"$2.$1.conf" && exec tinyproxy -d -c "$2.$1.conf"' _ @PORT@ "$NET_WORK/tp-noconnect.tmpl"
# Should this script be killed outright, the servers still go.
net_watchdog $$
export VT_E2E_WORK="Z:${NET_WORK//\//\\}"

# Bounded below CTest's own limit, so that the trap above always runs.
timeout 840 "$winerun" "$exe" "$@" </dev/null
