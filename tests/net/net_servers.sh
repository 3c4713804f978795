# Sourced: starts and stops the loopback servers of the HTTP client tests.
# net_start_servers exports VT_NET_*_PORT and NET_WORK (a scratch folder); with
# VT_NET_FILES set, the test server serves that folder's files as /files/NAME;
# its HELLO listener writes the last ClientHello's offer to $NET_WORK/hello.txt
# (exported as VT_NET_HELLO);
# net_stop_servers (meant for a trap) kills every server it started.
NET_PIDS=()
NET_WORK=""
NET_WATCHDOG=""
NET_HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# Accounts of the proxies with credentials; the relay account is the setup's built-in one.
# (tinyproxy accepts only [-a-z0-9._] in its account.)
export VT_NET_SOCKS_USER="socks user" VT_NET_SOCKS_PASS="p:a ss@&1"
export VT_NET_HTTPPROXY_USER="tuser" VT_NET_HTTPPROXY_PASS="t-pass.9"
NET_RELAY_USER="vsh.proxy.user"
NET_RELAY_PASS='tpqrBnd7&*KxVe'

net_stop_servers() {
  local p
  if [ -n "$NET_WATCHDOG" ]; then
    kill "$NET_WATCHDOG" 2>/dev/null || true
    wait "$NET_WATCHDOG" 2>/dev/null || true
    NET_WATCHDOG=""
  fi
  for p in "${NET_PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${NET_PIDS[@]}"; do wait "$p" 2>/dev/null || true; done
  NET_PIDS=()
  [ -n "$NET_WORK" ] && rm -rf "$NET_WORK"
  NET_WORK=""
}

# Kills the servers once process $1 has gone without stopping them.
net_watchdog() {
  local owner=$1 pids="${NET_PIDS[*]}" work=$NET_WORK
  (
    trap - EXIT
    while kill -0 "$owner" 2>/dev/null; do sleep 1; done
    for p in $pids; do kill "$p" 2>/dev/null || true; done
    rm -rf "$work"
  ) </dev/null >/dev/null 2>&1 &
  NET_WATCHDOG=$!
}

net_free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# True once something accepts connections on 127.0.0.1:$1.
net_listening() {
  python3 -c 'import socket,sys; s=socket.create_connection(("127.0.0.1",int(sys.argv[1])),0.5)' "$1" 2>/dev/null
}

# net_start_listener VAR CMD...: runs CMD (which contains @PORT@) on a free
# port, retried when another process took the port first; exports VAR=port.
net_start_listener() {
  local var=$1; shift
  local try port pid i args a
  for try in 1 2 3 4 5; do
    port=$(net_free_port)
    args=()
    for a in "$@"; do args+=("${a//@PORT@/$port}"); done
    "${args[@]}" >>"$NET_WORK/$var.log" 2>&1 </dev/null &
    pid=$!
    for i in $(seq 1 50); do
      if ! kill -0 "$pid" 2>/dev/null; then break; fi
      if net_listening "$port"; then
        NET_PIDS+=("$pid")
        export "$var=$port"
        return 0
      fi
      sleep 0.1
    done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  echo "net_servers: cannot start $1" >&2
  return 1
}

net_tinyproxy_conf() { # $1 = file, $2 = with auth (0/1), [$3 = the only port CONNECT may reach]
  {
    echo "Port @PORT@"
    echo "Listen 127.0.0.1"
    echo "Timeout 60"
    echo "MaxClients 50"
    echo "Allow 127.0.0.1"
    echo "LogLevel Connect"
    if [ "$2" = 1 ]; then echo "BasicAuth $VT_NET_HTTPPROXY_USER $VT_NET_HTTPPROXY_PASS"; fi
    if [ -n "${3:-}" ]; then echo "ConnectPort $3"; fi
  } >"$1"
}

net_start_servers() {
  NET_WORK=$(mktemp -d /tmp/vt-net.XXXXXX)
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$NET_WORK/key.pem" -out "$NET_WORK/cert.pem" \
    -days 2 -subj /CN=localhost >/dev/null 2>&1
  python3 "$NET_HERE/net_server.py" --cert "$NET_WORK/cert.pem" --key "$NET_WORK/key.pem" \
    --ports "$NET_WORK/ports" ${VT_NET_FILES:+--files "$VT_NET_FILES"} --hello "$NET_WORK/hello.txt" >"$NET_WORK/server.log" 2>&1 </dev/null &
  NET_PIDS+=("$!")
  local i
  for i in $(seq 1 100); do [ -f "$NET_WORK/ports" ] && break; sleep 0.1; done
  [ -f "$NET_WORK/ports" ] || { echo "net_servers: test server did not start" >&2; cat "$NET_WORK/server.log" >&2; return 1; }
  local name port
  while IFS== read -r name port; do export "VT_NET_${name}_PORT=$port"; done <"$NET_WORK/ports"
  export VT_NET_HELLO="$NET_WORK/hello.txt"

  # Nothing listens here: connections are refused.
  export VT_NET_DEAD_PORT=$(net_free_port)

  net_start_listener VT_NET_SOCKS_PORT microsocks -i 127.0.0.1 -p @PORT@
  net_start_listener VT_NET_SOCKS_AUTH_PORT microsocks -i 127.0.0.1 -p @PORT@ -u "$VT_NET_SOCKS_USER" -P "$VT_NET_SOCKS_PASS"
  net_start_listener VT_NET_SOCKS_RELAY_PORT microsocks -i 127.0.0.1 -p @PORT@ -u "$NET_RELAY_USER" -P "$NET_RELAY_PASS"

  # tinyproxy takes its port from a configuration file, written per try.
  net_tinyproxy_conf "$NET_WORK/tp.tmpl" 0
  net_tinyproxy_conf "$NET_WORK/tp-auth.tmpl" 1
  net_start_listener VT_NET_HTTPPROXY_PORT bash -c \
    'sed "s/@PORT""@/$1/" "$2" >"$2.$1.conf" && exec tinyproxy -d -c "$2.$1.conf"' _ @PORT@ "$NET_WORK/tp.tmpl"
  net_start_listener VT_NET_HTTPPROXY_AUTH_PORT bash -c \
    'sed "s/@PORT""@/$1/" "$2" >"$2.$1.conf" && exec tinyproxy -d -c "$2.$1.conf"' _ @PORT@ "$NET_WORK/tp-auth.tmpl"
}
