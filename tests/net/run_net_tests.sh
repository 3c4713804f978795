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

# The environment must not reach the client (test IgnoresTheLibrariesEnvironmentVariables):
# proxies where nothing listens (and loopback exempted from them), ...
export http_proxy="http://127.0.0.1:$VT_NET_DEAD_PORT" https_proxy="http://127.0.0.1:$VT_NET_DEAD_PORT"
export HTTPS_PROXY="$https_proxy" ALL_PROXY="socks5h://127.0.0.1:$VT_NET_DEAD_PORT"
export all_proxy="$ALL_PROXY"
export no_proxy="127.0.0.1,localhost" NO_PROXY="127.0.0.1,localhost"
# ... an OpenSSL configuration that would break every TLS handshake with the
# test server (no signature algorithm or group its RSA key can use), also as an
# include folder, ...
printf '%s\n' 'openssl_conf = openssl_init' '[openssl_init]' 'ssl_conf = ssl_sect' '[ssl_sect]' \
  'system_default = system_default_sect' '[system_default_sect]' 'SignatureAlgorithms = ed25519' \
  'Groups = ffdhe8192' >"$NET_WORK/openssl-broken.cnf"
export OPENSSL_CONF="Z:$NET_WORK/openssl-broken.cnf" OPENSSL_CONF_INCLUDE="Z:$NET_WORK"
# ... a file for the TLS secrets (the test checks it never appears), ...
export SSLKEYLOGFILE="Z:$NET_WORK/keys.txt" VT_NET_KEYLOG="$NET_WORK/keys.txt"
# ... the processor's AES and SSSE3 instructions switched off, ...
export OPENSSL_ia32cap="~0x200000200000000"
# ... and folders and files for engines, providers and certificates that hold nothing usable.
mkdir -p "$NET_WORK/empty"
printf 'not a certificate\n' >"$NET_WORK/empty/bad.pem"
export OPENSSL_ENGINES="Z:$NET_WORK/empty" OPENSSL_MODULES="Z:$NET_WORK/empty" OPENSSL_WIN32_UTF8=1
export SSL_CERT_FILE="Z:$NET_WORK/empty/bad.pem" SSL_CERT_DIR="Z:$NET_WORK/empty" CTLOG_FILE="Z:$NET_WORK/empty/bad.pem"

# Bounded below CTest's own limit, so that the trap above always runs.
timeout 540 "$winerun" "$exe" "$@" </dev/null
