#!/usr/bin/env bash
# Installer-step benchmark of the install worker: a package of 300 files,
# installed by the worker's installer step (its UI callback driving a shown
# window's bar, log "/L*v") against "msiexec /i PACKAGE /qn" under Wine, in
# the same run; each installation is removed again. Reports the ratio. Run
# from the repository root after a build (VT_BUILD_DIR, default ./build).
set -euo pipefail
root=$(pwd)
[ -f "$root/scripts/env.sh" ] || { echo "worker_install: run from the repository root" >&2; exit 2; }
build="${VT_BUILD_DIR:-$root/build}"
exe="$build/bench/worker/worker_bench.exe"
package="$build/fixtures/msi/many-files-veltrano.msi"
product='{6E4D2C1B-8A9F-4B3C-9D2E-1F0A3B4C5D6E}'
[ -f "$exe" ] || { echo "worker_install: $exe missing: build first (scripts/build.sh)" >&2; exit 2; }
[ -f "$package" ] || { echo "worker_install: $package missing: build first" >&2; exit 2; }
RUNS=${WORKER_BENCH_RUNS:-5}
PER_RUN_LIMIT=300

. "$root/scripts/xvfb.sh"
export VT_WINEPREFIX="$build/wineprefix"
winerun="$build/wine-run.sh"
work=$(mktemp -d /tmp/vt-bench.XXXXXX)
# The worker finds the package beside its program (64-bit Windows: "64").
beside="$(dirname "$exe")/VeltranoShieldSetup64_bench.msi"
remove_product() { timeout 120 "$winerun" msiexec /x "$product" /qn </dev/null >/dev/null 2>&1 || true; }
cleanup() {
  remove_product
  rm -f "$beside"
  rm -rf "$work"
  WINEPREFIX="$VT_WINEPREFIX" wineserver -k 2>/dev/null || true
  vt_stop_xvfb
}
trap cleanup EXIT
vt_start_xvfb
"$root/scripts/wine-prefix.sh" "$VT_WINEPREFIX"
export VeltranoDbgLog="Z:$work/bench.log"
cp "$package" "$beside"
remove_product

value() { sed -n "s/^$1=//p" "$2" | tr -d '\r' | tail -1; }
best_ours=0 best_msiexec=0 SECONDS_TAKEN=0
ours_run() {
  local r="$work/ours.txt"
  timeout "$PER_RUN_LIMIT" "$winerun" "$exe" install 'C:\users\root\Temp\bench-install.log' >"$r" \
    2>"$work/ours.err" </dev/null || { cat "$work/ours.err" >&2; exit 1; }
  SECONDS_TAKEN=$(value seconds "$r")
  remove_product
}
msiexec_run() {
  local r="$work/msiexec.txt"
  timeout "$PER_RUN_LIMIT" "$winerun" "$exe" msiexec "Z:${package//\//\\}" >"$r" 2>&1 </dev/null ||
    { cat "$r" >&2; exit 1; }
  SECONDS_TAKEN=$(value seconds "$r")
  remove_product
}
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == 0 || a < b) ? a : b }'; }

# Warm-up, not counted.
ours_run
msiexec_run
for i in $(seq 1 "$RUNS"); do
  ours_run
  best_ours=$(best "$SECONDS_TAKEN" "$best_ours")
  msiexec_run
  best_msiexec=$(best "$SECONDS_TAKEN" "$best_msiexec")
done

awk -v o="$best_ours" -v m="$best_msiexec" -v runs="$RUNS" 'BEGIN {
  printf "worker_install: a package of 300 files, best of %d runs each\n", runs
  printf "  installer step of the worker (UI callback, bar, /L*v): %.3f s\n", o
  printf "  msiexec /i PACKAGE /qn (Wine):                         %.3f s\n", m
  printf "  ratio worker / msiexec: %.3f  (goal <= 1.05: %s)\n", o / m, (o / m <= 1.05) ? "met" : "NOT met"
}'
