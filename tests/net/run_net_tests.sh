#!/usr/bin/env bash
# Runs the HTTP client tests against real servers on loopback: the Python test
# server (HTTP and HTTPS), microsocks (SOCKS 5) and tinyproxy (HTTP proxy), each
# on a free port chosen now. Every server is stopped on exit, whatever happens.
# Usage: run_net_tests.sh WINE_RUN TEST_EXE [gtest args...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
winerun=$1
exe=$2
shift 2

. "$here/net_servers.sh"
trap net_stop_servers EXIT
net_start_servers
# Should this script be killed outright, the servers still go.
net_watchdog $$

# Proxy settings in the environment must not reach the client: they point at a
# port where nothing listens, and would bypass the test proxies for loopback.
export http_proxy="http://127.0.0.1:$VT_NET_DEAD_PORT" https_proxy="http://127.0.0.1:$VT_NET_DEAD_PORT"
export HTTPS_PROXY="$https_proxy" ALL_PROXY="socks5h://127.0.0.1:$VT_NET_DEAD_PORT"
export all_proxy="$ALL_PROXY"
export no_proxy="127.0.0.1,localhost" NO_PROXY="127.0.0.1,localhost"
# An OpenSSL configuration that would break every TLS handshake with the test
# server (no signature algorithm or group its RSA key can use) if it were read.
printf '%s\n' 'openssl_conf = openssl_init' '[openssl_init]' 'ssl_conf = ssl_sect' '[ssl_sect]' \
  'system_default = system_default_sect' '[system_default_sect]' 'SignatureAlgorithms = ed25519' \
  'Groups = ffdhe8192' >"$NET_WORK/openssl-broken.cnf"
export OPENSSL_CONF="Z:$NET_WORK/openssl-broken.cnf"

# Bounded below CTest's own limit, so that the trap above always runs.
timeout 540 "$winerun" "$exe" "$@" </dev/null
