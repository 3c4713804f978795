# Sourced after tests/net/net_servers.sh: starts the package server, the
# loopback download side that build/loopback/VeltranoShieldSetup.exe and the
# worker tests are configured for (redirect service https://127.0.0.1:47443,
# package mirror http://127.0.0.1:47080). Stopped by net_stop_servers.
#   worker_start_servers ROOT DEFAULT [ARGS...]   serve ROOT's files; DEFAULT
#                     (relative to ROOT) for the default topic; ARGS go to the
#                     server (--paced)
# Exports VT_PKG_LOG (Windows path of the request log) and uses NET_WORK.
WORKER_HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
WORKER_HTTPS_PORT=47443
WORKER_HTTP_PORT=47080

worker_start_servers() {
  local root=$1 default=$2 port i
  shift 2
  [ -n "$NET_WORK" ] || NET_WORK=$(mktemp -d /tmp/vt-net.XXXXXX)
  for port in $WORKER_HTTPS_PORT $WORKER_HTTP_PORT; do
    if net_listening "$port"; then
      echo "worker_servers: port $port is taken (another test run?)" >&2
      return 1
    fi
  done
  [ -f "$NET_WORK/cert.pem" ] || openssl req -x509 -newkey rsa:2048 -nodes -keyout "$NET_WORK/key.pem" \
    -out "$NET_WORK/cert.pem" -days 2 -subj /CN=localhost >/dev/null 2>&1
  : >"$NET_WORK/requests.log"
  python3 "$WORKER_HERE/package_server.py" --cert "$NET_WORK/cert.pem" --key "$NET_WORK/key.pem" \
    --root "$root" --default "$default" --log "$NET_WORK/requests.log" \
    --https-port "$WORKER_HTTPS_PORT" --http-port "$WORKER_HTTP_PORT" "$@" >"$NET_WORK/package-server.log" 2>&1 </dev/null &
  NET_PIDS+=("$!")
  for i in $(seq 1 100); do
    net_listening "$WORKER_HTTPS_PORT" && net_listening "$WORKER_HTTP_PORT" && break
    sleep 0.1
  done
  if ! net_listening "$WORKER_HTTPS_PORT" || ! net_listening "$WORKER_HTTP_PORT"; then
    echo "worker_servers: the package server did not start" >&2
    cat "$NET_WORK/package-server.log" >&2
    return 1
  fi
  export VT_PKG_LOG="Z:$NET_WORK/requests.log"
}
