#!/usr/bin/env bash
# Runs the install worker tests against the loopback download side (the
# package server on the fixed ports of the loopback configuration) and real
# proxies (microsocks, tinyproxy). Every server is stopped on exit, whatever
# happens. Usage: run_worker_tests.sh WINE_RUN TEST_EXE FIXTURES_DIR [gtest args...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
winerun=$1
exe=$2
fixtures=$3
shift 3

. "$here/../net/net_servers.sh"
. "$here/worker_servers.sh"
trap net_stop_servers EXIT
NET_WORK=$(mktemp -d /tmp/vt-worker.XXXXXX)
worker_start_servers "$fixtures" msi/props-veltrano.msi
net_start_listener VT_NET_SOCKS_PORT microsocks -i 127.0.0.1 -p @PORT@
net_tinyproxy_conf "$NET_WORK/tp.tmpl" 0
net_start_listener VT_NET_HTTPPROXY_PORT bash -c \
  'sed "s/@PORT""@/$1/" "$2" >"$2.$1.conf" && exec tinyproxy -d -c "$2.$1.conf"' _ @PORT@ "$NET_WORK/tp.tmpl"
# Should this script be killed outright, the servers still go.
net_watchdog $$

# Unix symbolic links, which Wine follows without showing them as links: a
# temp folder whose "vttmp" leads elsewhere, and one whose package name (of
# this test program: the worker names it after its executable) leads to a
# victim file. The tests point TMP at these folders.
mkdir -p "$NET_WORK/elsewhere" "$NET_WORK/linkedtemp" "$NET_WORK/linkedpackage/vttmp"
ln -s "$NET_WORK/elsewhere" "$NET_WORK/linkedtemp/vttmp"
printf 'victim' >"$NET_WORK/victim.msi"
ln -s "$NET_WORK/victim.msi" "$NET_WORK/linkedpackage/vttmp/VeltranoShieldSetup_worker.msi"
export VT_WORKER_WORK="Z:$NET_WORK"

# Bounded below CTest's own limit, so that the trap above always runs.
timeout 540 "$winerun" "$exe" "$@" </dev/null
