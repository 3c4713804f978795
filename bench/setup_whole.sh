#!/usr/bin/env bash
# The whole setup, as a user starts it: build/loopback/VeltranoShieldSetup.exe
# with its window shown (Xvfb) downloads a 256 MiB package from the loopback
# download side, checks its signature and installs it. From one run, against
# peers measured in the same run:
#   download phase (debug log: DoDownload) vs curl.exe from the same
#     libcurl/OpenSSL under Wine fetching the same address     (goal >= 0.95)
#   install phase (debug log: DoInstall) vs "msiexec /i PKG /qn" (goal <= 1.05)
#   peak working set of the setup process                     (goal < 32 MiB)
#   process start to the first painted window vs a minimal Win32 window
#     program built the same way                              (goal <= 1.5)
#   the stripped executable's size                            (goal <= 4 MiB)
# The package (wixl, signed by the test signer "Veltrano Limited") is made
# once into build/bench-cache and never committed. Each installation is
# removed again. Run from the repository root after a build (VT_BUILD_DIR,
# default ./build); it binds the loopback ports 47443 and 47080.
set -euo pipefail
root=$(pwd)
[ -f "$root/tests/worker/worker_servers.sh" ] || { echo "setup_whole: run from the repository root" >&2; exit 2; }
build="${VT_BUILD_DIR:-$root/build}"
[ -f "$build/deps.env" ] || { echo "setup_whole: $build/deps.env missing: run scripts/setup.sh" >&2; exit 2; }
. "$build/deps.env"
setup="$build/loopback/VeltranoShieldSetup.exe"
driver="$build/bench/whole/setup_bench.exe"
minwin="$build/bench/whole/min_window.exe"
curlexe="$VT_CURL_ROOT/bin/curl.exe"
for f in "$setup" "$driver" "$minwin" "$curlexe"; do
  [ -f "$f" ] || { echo "setup_whole: $f missing: build first (scripts/setup.sh, scripts/build.sh)" >&2; exit 2; }
done

SIZE=$((256 * 1024 * 1024))
RUNS=${SETUP_BENCH_RUNS:-3}
START_RUNS=$RUNS # the minimal window program: as many starts as the setup had
PER_RUN_LIMIT=600 # seconds; every run is bounded
PRODUCT='{4D7B2E91-6A3C-4F58-B1E2-7C9D0A3F5B64}'
win() { local p; p=$(readlink -f "$1"); echo "Z:${p//\//\\}"; }

# The package: 256 MiB that do not compress, in one file of one component.
cache="$build/bench-cache"
package="$cache/big-veltrano.msi"
mkdir -p "$cache"
if [ ! -f "$cache/big.bin" ] || [ "$(stat -c %s "$cache/big.bin")" != "$SIZE" ]; then
  head -c "$SIZE" /dev/urandom >"$cache/big.bin.part" && mv "$cache/big.bin.part" "$cache/big.bin"
fi
cp -p "$root/bench/whole/big.wxs" "$cache/big.wxs"
[ "$package" -nt "$cache/big.bin" ] || rm -f "$package"
timeout 900 "$root/tests/fixtures/make-fixtures.sh" "$build/fixtures" package "$cache/big.wxs" "$package" veltrano
pkg_size=$(stat -c %s "$package")

. "$root/scripts/xvfb.sh"
. "$root/tests/net/net_servers.sh"
. "$root/tests/worker/worker_servers.sh"
export VT_WINEPREFIX="$build/wineprefix"
winerun="$build/wine-run.sh"
remove_product() { timeout 300 "$winerun" msiexec /x "$PRODUCT" /qn </dev/null >/dev/null 2>&1 || true; }
temp_unix="$VT_WINEPREFIX/drive_c/users/root/Temp"
cleanup() {
  remove_product
  rm -f "$temp_unix/curl-bench.bin"
  net_stop_servers
  WINEPREFIX="$VT_WINEPREFIX" wineserver -k 2>/dev/null || true
  vt_stop_xvfb
}
trap cleanup EXIT
vt_start_xvfb
"$root/scripts/wine-prefix.sh" "$VT_WINEPREFIX"
NET_WORK=$(mktemp -d /tmp/vt-bench.XXXXXX)
worker_start_servers "$cache" "$(basename "$package")"
net_watchdog $$
remove_product

value() { sed -n "s/^$1=//p" "$2" | tr -d '\r' | tail -1; }
# Milliseconds between the log lines holding $2 and $3 (times of day, hh:nn:ss.zzz).
phase() {
  awk -v a="$2" -v b="$3" '
    function ms(t,  p) { split(t, p, /[:.]/); return ((p[1] * 60 + p[2]) * 60 + p[3]) * 1000 + p[4] }
    index($0, a) && s == "" { s = ms($1) }
    index($0, b) && s != "" && e == "" { e = ms($1) }
    END { if (s == "" || e == "") print -1; else { d = e - s; if (d < 0) d += 86400000; print d } }' "$1"
}
min() { awk -v a="$1" -v b="$2" 'BEGIN { print (b < 0 || (a >= 0 && a < b)) ? a : b }'; }
max() { awk -v a="$1" -v b="$2" 'BEGIN { print (a > b) ? a : b }'; }

best_dl=-1 best_inst=-1 best_check=-1 best_paint=-1 best_curl=-1 best_msiexec=-1 peak=0
setup_run() { # $1: counted (1) or warm-up (0)
  local log="$NET_WORK/setup.log" out="$NET_WORK/setup.txt"
  rm -f "$log"
  VeltranoDbgLog="$(win "$NET_WORK")\\setup.log" timeout "$PER_RUN_LIMIT" "$winerun" "$driver" window \
    "$(win "$setup")" "" "$PER_RUN_LIMIT" >"$out" 2>"$NET_WORK/setup.err" </dev/null ||
    { cat "$NET_WORK/setup.err" >&2; exit 1; }
  if [ "$(value exit_code "$out")" != 0 ] || ! grep -q "OnInstallThreadTerminate: ir=0; ec=0" "$log"; then
    echo "setup_whole: the setup did not install (exit code $(value exit_code "$out")); its log: $log" >&2
    grep -a "OnInstallThreadTerminate\|failed" "$log" >&2 || true
    exit 1
  fi
  remove_product
  cp "$log" "$cache/setup-last.log"  # the phases can be read there
  [ "$1" = 1 ] || return 0
  local p
  for p in "$(phase "$log" "-> TInstallThread.DoDownload(" "<- TInstallThread.DoDownload(")" \
           "$(phase "$log" "-> TInstallThread.DoInstall(" "<- TInstallThread.DoInstall(")" "$(value first_paint_ms "$out")"; do
    awk -v p="$p" 'BEGIN { exit !(p >= 0) }' || { echo "setup_whole: a phase or the first paint is missing ($log)" >&2; exit 1; }
  done
  best_dl=$(min "$(phase "$log" "-> TInstallThread.DoDownload(" "<- TInstallThread.DoDownload(")" "$best_dl")
  best_check=$(min "$(phase "$log" "-> TInstallThread.CheckPackageSignature(" "<- TInstallThread.CheckPackageSignature")" "$best_check")
  best_inst=$(min "$(phase "$log" "-> TInstallThread.DoInstall(" "<- TInstallThread.DoInstall(")" "$best_inst")
  best_paint=$(min "$(value first_paint_ms "$out")" "$best_paint")
  peak=$(max "$(value peak_working_set "$out")" "$peak")
}
url="https://127.0.0.1:$WORKER_HTTPS_PORT/?v=2017.10&l=en-us&p=Q7PE&t=download_shield_msi_64"
curl_run() {
  local t n
  t=$(timeout "$PER_RUN_LIMIT" "$winerun" "$curlexe" -k -L -s -o 'C:\users\root\Temp\curl-bench.bin' \
      -w '%{time_total}' "$url" 2>/dev/null </dev/null | tr -d '\r')
  n=$(stat -c %s "$temp_unix/curl-bench.bin" 2>/dev/null || echo 0)
  rm -f "$temp_unix/curl-bench.bin"
  [ "$n" = "$pkg_size" ] || { echo "setup_whole: curl.exe wrote $n bytes, not $pkg_size" >&2; exit 1; }
  best_curl=$(min "$(awk -v t="$t" 'BEGIN { printf "%.0f", t * 1000 }')" "$best_curl")
}
msiexec_run() {
  local out="$NET_WORK/msiexec.txt"
  timeout "$PER_RUN_LIMIT" "$winerun" "$driver" plain 'C:\windows\system32\msiexec.exe' "/i $(win "$package") /qn" \
    "$PER_RUN_LIMIT" >"$out" 2>&1 </dev/null || { cat "$out" >&2; exit 1; }
  [ "$(value exit_code "$out")" = 0 ] || { echo "setup_whole: msiexec failed: $(cat "$out")" >&2; exit 1; }
  remove_product
  best_msiexec=$(min "$(value total_ms "$out")" "$best_msiexec")
}

# Warm-up of Wine and the page cache, not counted.
setup_run 0
curl_run
best_curl=-1
for i in $(seq 1 "$RUNS"); do
  setup_run 1
  curl_run
  msiexec_run
done
best_min=-1 min_peak=0
for i in $(seq 1 "$START_RUNS"); do
  out="$NET_WORK/min.txt"
  timeout 60 "$winerun" "$driver" window "$(win "$minwin")" "" 60 >"$out" 2>&1 </dev/null || { cat "$out" >&2; exit 1; }
  best_min=$(min "$(value first_paint_ms "$out")" "$best_min")
  min_peak=$(max "$(value peak_working_set "$out")" "$min_peak")
done
exe_size=$(stat -c %s "$build/VeltranoShieldSetup.exe")

awk -v dl="$best_dl" -v cu="$best_curl" -v inst="$best_inst" -v mi="$best_msiexec" -v chk="$best_check" \
    -v pk="$peak" -v mpk="$min_peak" -v pa="$best_paint" -v mpa="$best_min" -v sz="$exe_size" -v n="$pkg_size" \
    -v runs="$RUNS" -v sruns="$START_RUNS" 'BEGIN {
  mb = 1048576
  printf "setup_whole: the setup downloading and installing a %.0f MiB package, window shown; best of %d runs each\n", n / mb, runs
  printf "  download phase of the setup (HEAD, GET, redirect):  %7.2f s  %6.1f MB/s\n", dl / 1000, n / mb / (dl / 1000)
  printf "  curl.exe, same libcurl/OpenSSL (Wine), same address: %7.2f s  %6.1f MB/s\n", cu / 1000, n / mb / (cu / 1000)
  printf "  ratio setup / curl.exe (speed): %.3f  (goal >= 0.95: %s)\n", cu / dl, (cu / dl >= 0.95) ? "met" : "NOT met"
  printf "  signature check of the package:                     %7.2f s\n", chk / 1000
  printf "  install phase of the setup:                         %7.2f s\n", inst / 1000
  printf "  msiexec /i PKG /qn (Wine, from process start):      %7.2f s\n", mi / 1000
  printf "  ratio setup / msiexec (time): %.3f  (goal <= 1.05: %s)\n", inst / mi, (inst / mi <= 1.05) ? "met" : "NOT met"
  printf "  peak working set of the setup process: %.1f MiB (goal < 32 MiB: %s); the minimal window program: %.1f MiB\n", \
         pk / mb, (pk < 32 * mb) ? "met" : "NOT met", mpk / mb
  printf "  start to first painted window: setup %.0f ms, minimal window program %.0f ms (best of %d)\n", pa, mpa, sruns
  printf "  ratio setup / minimal: %.2f  (goal <= 1.5: %s)\n", pa / mpa, (pa / mpa <= 1.5) ? "met" : "NOT met"
  printf "  VeltranoShieldSetup.exe stripped: %d bytes = %.2f MiB (goal <= 4 MiB: %s)\n", sz, sz / mb, \
         (sz <= 4 * mb) ? "met" : "NOT met"
}'
