#!/usr/bin/env bash
# Download benchmark of the install worker: 256 MiB from the loopback HTTPS
# redirect service (generated on the fly), by one worker under a shown main
# window with its progress bar and message loop (a blocking synchronised call
# per work event), against curl.exe from the same libcurl and OpenSSL sources
# under Wine, in the same run. Reports the ratio and the worker process's peak
# working set. Run from the repository root after a build (VT_BUILD_DIR,
# default ./build); it binds the loopback ports 47443 and 47080.
set -euo pipefail
root=$(pwd)
[ -f "$root/tests/worker/worker_servers.sh" ] || { echo "worker_download: run from the repository root" >&2; exit 2; }
. "$root/scripts/env.sh"
build="${VT_BUILD_DIR:-$root/build}"
exe="$build/bench/worker/worker_bench.exe"
curlexe="$DEPS_DIR/curl/bin/curl.exe"
[ -f "$exe" ] || { echo "worker_download: $exe missing: build first (scripts/build.sh)" >&2; exit 2; }
[ -f "$curlexe" ] || { echo "worker_download: $curlexe missing: run scripts/setup.sh" >&2; exit 2; }

SIZE=$((256 * 1024 * 1024))
RUNS=${WORKER_BENCH_RUNS:-5}
PER_RUN_LIMIT=300 # seconds; every run is bounded
TOPIC="body.${SIZE}_"

. "$root/scripts/xvfb.sh"
. "$root/tests/net/net_servers.sh"
. "$root/tests/worker/worker_servers.sh"
export VT_WINEPREFIX="$build/wineprefix"
cleanup() {
  net_stop_servers
  WINEPREFIX="$VT_WINEPREFIX" wineserver -k 2>/dev/null || true
  vt_stop_xvfb
}
trap cleanup EXIT
vt_start_xvfb
"$root/scripts/wine-prefix.sh" "$VT_WINEPREFIX"
NET_WORK=$(mktemp -d /tmp/vt-bench.XXXXXX)
worker_start_servers "$build/fixtures" msi/props-veltrano.msi
net_watchdog $$
winerun="$build/wine-run.sh"
export VeltranoDbgLog="Z:$NET_WORK/bench.log"
url="https://127.0.0.1:$WORKER_HTTPS_PORT/?v=2017.10&l=en-us&p=Q7PE&t=${TOPIC}64"
# Both write into the prefix's temp folder, where the worker's package goes.
out_win='C:\users\root\Temp\curl-bench.bin'
out_unix="$VT_WINEPREFIX/drive_c/users/root/Temp/curl-bench.bin"

value() { sed -n "s/^$1=//p" "$2" | tr -d '\r' | tail -1; }
best_ours=0 best_curl=0 peak=0 RESULT=0
ours_run() {
  local r="$NET_WORK/ours.txt" s p
  timeout "$PER_RUN_LIMIT" "$winerun" "$exe" download "$TOPIC" >"$r" 2>"$NET_WORK/ours.err" </dev/null ||
    { cat "$NET_WORK/ours.err" >&2; exit 1; }
  s=$(value seconds "$r")
  p=$(value peak_working_set "$r")
  [ "$p" -gt "$peak" ] && peak=$p
  RESULT=$(awk -v b="$SIZE" -v s="$s" 'BEGIN { printf "%.0f", b / s }')
}
curl_run() {
  local v n
  v=$(timeout "$PER_RUN_LIMIT" "$winerun" "$curlexe" -k -s -o "$out_win" -w '%{speed_download}' "$url" \
      2>/dev/null </dev/null | tr -d '\r')
  n=$(stat -c %s "$out_unix" 2>/dev/null || echo 0)
  rm -f "$out_unix"
  [ "$n" = "$SIZE" ] || { echo "worker_download: curl.exe wrote $n bytes, not $SIZE" >&2; exit 1; }
  RESULT=${v%.*}
}
max() { [ "$1" -gt "$2" ] && echo "$1" || echo "$2"; }

# Warm-up of Wine and the page cache, not counted.
ours_run
curl_run
for i in $(seq 1 "$RUNS"); do
  ours_run
  best_ours=$(max "$RESULT" "$best_ours")
  curl_run
  best_curl=$(max "$RESULT" "$best_curl")
done
idle="$NET_WORK/idle.txt"
timeout 60 "$winerun" "$exe" idle >"$idle" 2>/dev/null </dev/null
idle_peak=$(value peak_working_set "$idle")

awk -v o="$best_ours" -v c="$best_curl" -v p="$peak" -v ip="$idle_peak" -v runs="$RUNS" 'BEGIN {
  mb = 1048576
  printf "worker_download: 256 MiB over HTTPS on loopback, best of %d runs each\n", runs
  printf "  install worker (window, bar and message loop, Wine): %8.1f MB/s\n", o / mb
  printf "  curl.exe, same libcurl/OpenSSL (Wine):               %8.1f MB/s\n", c / mb
  printf "  ratio worker / curl.exe: %.3f  (goal >= 0.95: %s)\n", o / c, (o / c >= 0.95) ? "met" : "NOT met"
  printf "  peak working set of the worker process: %.1f MiB (goal < 32 MiB: %s); the same program without a worker: %.1f MiB\n", \
         p / mb, (p < 32 * mb) ? "met" : "NOT met", ip / mb
}'
