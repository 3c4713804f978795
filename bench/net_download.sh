#!/usr/bin/env bash
# Download benchmark of the HTTP client: 256 MiB from the loopback HTTPS test
# server (generated on the fly), with one blocking SendMessageW to a window
# thread per work event, as the install worker does. Compares, from one run,
# our client with curl.exe (same libcurl and OpenSSL sources) under Wine and
# the machine's own curl (the ceiling), and reports our peak working set.
# Run from the repository root after a build (VT_BUILD_DIR, default ./build).
set -euo pipefail
root=$(pwd)
[ -f "$root/tests/net/net_servers.sh" ] || { echo "net_download: run from the repository root" >&2; exit 2; }
. "$root/scripts/env.sh"
build="${VT_BUILD_DIR:-$root/build}"
exe="$build/bench/net_download_bench.exe"
[ -f "$build/deps.env" ] && . "$build/deps.env"
curlexe="${VT_CURL_ROOT:-$DEPS_DIR/curl}/bin/curl.exe"
[ -x "$exe" ] || [ -f "$exe" ] || { echo "net_download: $exe missing: build first (scripts/build.sh)" >&2; exit 2; }
[ -f "$curlexe" ] || { echo "net_download: $curlexe missing: run scripts/setup.sh" >&2; exit 2; }

SIZE=$((256 * 1024 * 1024))
RUNS=${NET_BENCH_RUNS:-3}
PER_RUN_LIMIT=300 # seconds; every run is bounded

. "$root/scripts/xvfb.sh"
. "$root/tests/net/net_servers.sh"
export VT_WINEPREFIX="$build/wineprefix"
cleanup() {
  net_stop_servers
  WINEPREFIX="$VT_WINEPREFIX" wineserver -k 2>/dev/null || true
  vt_stop_xvfb
}
trap cleanup EXIT
vt_start_xvfb
"$root/scripts/wine-prefix.sh" "$VT_WINEPREFIX"
net_start_servers
winerun="$build/wine-run.sh"
url="https://127.0.0.1:$VT_NET_HTTPS_PORT/gen/$SIZE"
out="$NET_WORK/out.bin"
export VeltranoDbgLog="Z:$NET_WORK/bench.log"

value() { sed -n "s/^$1=//p" "$2" | tr -d '\r' | tail -1; }
check_size() {
  local n; n=$(stat -c %s "$out" 2>/dev/null || echo 0)
  [ "$n" = "$SIZE" ] || { echo "net_download: $1 wrote $n bytes, not $SIZE" >&2; exit 1; }
  rm -f "$out"
}

# Each *_run sets RESULT to bytes per second (no subshells: they also keep
# the peak working set and the event count).
best_ours=0 best_curlexe=0 best_native=0 peak=0 events=0 RESULT=0
ours_run() { # $1 = work interval, or empty for the client's default
  local r="$NET_WORK/ours.txt"
  timeout "$PER_RUN_LIMIT" "$winerun" "$exe" "$url" "Z:$out" $1 >"$r" 2>"$NET_WORK/ours.err" </dev/null ||
    { cat "$NET_WORK/ours.err" >&2; exit 1; }
  check_size "our client"
  local s p
  s=$(value seconds "$r")
  p=$(value peak_working_set "$r")
  [ "$p" -gt "$peak" ] && peak=$p
  events=$(value work_events "$r")
  RESULT=$(awk -v b="$SIZE" -v s="$s" 'BEGIN { printf "%.0f", b / s }')
}
curlexe_run() {
  local v
  v=$(timeout "$PER_RUN_LIMIT" "$winerun" "$curlexe" -k -s -o "Z:$out" -w '%{speed_download}' "$url" \
      2>/dev/null </dev/null | tr -d '\r')
  check_size "curl.exe"
  RESULT=${v%.*}
}
native_run() {
  local v
  v=$(timeout "$PER_RUN_LIMIT" curl -k -s -o "$out" -w '%{speed_download}' "$url" </dev/null)
  check_size "curl"
  RESULT=${v%.*}
}
max() { [ "$1" -gt "$2" ] && echo "$1" || echo "$2"; }

# Warm-up of Wine and the page cache, not counted.
ours_run ""
for i in $(seq 1 "$RUNS"); do
  ours_run ""
  best_ours=$(max "$RESULT" "$best_ours")
  best_ours_events=$events
  curlexe_run
  best_curlexe=$(max "$RESULT" "$best_curlexe")
  native_run
  best_native=$(max "$RESULT" "$best_native")
done
# For comparison: a work event for every received piece.
ours_run 0
every_piece=$RESULT
every_piece_events=$events

idle="$NET_WORK/idle.txt"
timeout 60 "$winerun" "$exe" --idle >"$idle" 2>/dev/null </dev/null
idle_peak=$(value peak_working_set "$idle")

awk -v o="$best_ours" -v c="$best_curlexe" -v n="$best_native" -v p="$peak" -v ip="$idle_peak" \
    -v e="$every_piece" -v ee="$every_piece_events" -v de="$best_ours_events" -v runs="$RUNS" 'BEGIN {
  mb = 1048576
  printf "net_download: 256 MiB over HTTPS on loopback, best of %d runs each\n", runs
  printf "  our client (Wine, SendMessageW per work event, %d events): %8.1f MB/s\n", de, o / mb
  printf "  curl.exe, same libcurl/OpenSSL (Wine):                   %8.1f MB/s\n", c / mb
  printf "  native curl (ceiling):                                   %8.1f MB/s\n", n / mb
  printf "  our client with a work event per piece (%d events):     %8.1f MB/s\n", ee, e / mb
  printf "  ratio ours / curl.exe:        %.3f  (target >= 0.9: %s)\n", o / c, (o / c >= 0.9) ? "met" : "NOT met"
  printf "  ratio ours / native curl:     %.3f\n", o / n
  printf "  ratio curl.exe / native curl: %.3f\n", c / n
  printf "  ratio per-piece events / ours: %.3f\n", e / o
  printf "  peak working set: %.1f MiB (target < 32 MiB: %s); without a download: %.1f MiB\n", \
         p / mb, (p < 32 * mb) ? "met" : "NOT met", ip / mb
}'
# The download stub's size, linked as shipped (stripped, unused sections dropped).
product="$build/VeltranoShieldSetup.exe"
awk -v s="$(stat -c %s "$product")" 'BEGIN {
  printf "  VeltranoShieldSetup.exe stripped: %d bytes = %.2f MiB (goal <= 4 MiB: %s)\n", s, s / 1048576, \
         (s <= 4 * 1048576) ? "met" : "NOT met"
}'
