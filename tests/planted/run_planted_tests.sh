#!/usr/bin/env bash
# Planted libraries: beside a copy of the program, a marker library (it leaves
# "<its path>.loaded" when its code runs) under the name of every library that
# is not a KnownDLL and that a run of the program loads at any point, with Wine
# preferring native libraries for those names. None of them may run, and the
# program must still do its work. The names come from Wine's load trace of the
# same runs without plants; a control shows that each planted library does run
# when a program loads it the usual way.
# Usage: run_planted_tests.sh WINE_RUN BUILD_DIR SOURCE_DIR
set -euo pipefail
winerun=$1
build=$2
src=$3
marker="$build/fixtures/dll/unsigned/vtlib.dll"
[ -f "$marker" ] || { echo "planted: $marker missing (the fixtures are made by the build)" >&2; exit 1; }

work=$(mktemp -d /tmp/vt-planted.XXXXXX)
export VT_NET_FILES="$work/served"
mkdir -p "$VT_NET_FILES"
cp "$build/fixtures/msi/signed-veltrano.msi" "$VT_NET_FILES/package.msi"
. "$src/tests/net/net_servers.sh"
trap 'net_stop_servers; rm -rf "$work"' EXIT
net_start_servers
# Should this script be killed outright, the servers still go.
net_watchdog $$
url="https://127.0.0.1:$VT_NET_HTTPS_PORT/files/package.msi"

# The runs: a name, the program, its arguments (@DIR@: the run's folder).
# The setup's start-up and main window, with the real executable (quiet: no
# window shown, nothing downloaded, no environment check; it ends with 0):
STARTUP=("$build/VeltranoShieldSetup.exe" /QUIET /NODOWNLOAD /NOCHECK)
# A download and its signature check: the probe does what the worker does,
# until the setup's window starts the worker; then this line becomes
#   FETCH=("$build/loopback/VeltranoShieldSetup.exe" /QUIET)
# (exit code 0 = installed), with the worker's loopback servers serving the
# package (tests/worker/worker_servers.sh: worker_start_servers after
# net_start_servers, and RESOURCE_LOCK veltrano_download_ports on this test).
FETCH=("$build/tests/planted/planted_probe.exe" fetch "$url" "@DIR@\\download.msi")
RUNS=(startup fetch)
run_cmd() { # $1 = run name; prints the variable holding its command
  case $1 in startup) echo "STARTUP" ;; fetch) echo "FETCH" ;; control) echo "CONTROL" ;; esac
}

winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# run_in DIR RUN [WINEDEBUG] [NATIVE_NAMES]: copies the run's program into DIR
# and runs it there (its log in DIR/run.log, its stderr in DIR/stderr);
# returns its exit code.
run_in() {
  local dir=$1 run=$2 debug=${3:--all} native=${4:-}
  local -n cmd="$(run_cmd "$run")"
  local exe="$dir/$(basename "${cmd[0]}")" args=() a
  cp "${cmd[0]}" "$exe"
  for a in "${cmd[@]:1}"; do args+=("${a//@DIR@/$(winpath "$dir")}"); done
  local rc=0
  VeltranoDbgLog="$(winpath "$dir/run.log")" WINEDEBUG="$debug" \
    WINEDLLOVERRIDES="${native:+$native=n,b;}mscoree,mshtml=" \
    timeout 60 "$winerun" "$(winpath "$exe")" "${args[@]}" </dev/null >"$dir/stdout" 2>"$dir/stderr" || rc=$?
  return $rc
}

failed=0
fail() { echo "planted: FAILED: $*"; failed=1; }

# 1. What each run loads, without plants.
names=()
for run in "${RUNS[@]}"; do
  dir="$work/trace-$run"; mkdir -p "$dir"
  rc=0; run_in "$dir" "$run" "+loaddll,+module" || rc=$?
  [ "$rc" = 0 ] || { fail "$run without plants ended with $rc"; cat "$dir/run.log" 2>/dev/null | tail -20; continue; }
  mapfile -t got < <(python3 "$src/tests/planted/loaded_libraries.py" "$dir/stderr" "$src/docs/known-dlls.txt" \
                     2> >(sed "s/^/planted: $run: /" >&2))
  echo "planted: $run loads, not KnownDLLs: ${got[*]}"
  names+=("${got[@]}")
done
mapfile -t names < <(printf '%s\n' "${names[@]}" | sort -u | sed '/^$/d')
[ "${#names[@]}" -gt 0 ] || { echo "planted: no library to plant was found"; exit 1; }
native=$(printf '%s\n' "${names[@]}" | sed 's/\.dll$//' | paste -sd,)
plant() { local n; for n in "${names[@]}"; do cp "$marker" "$1/$n"; done; }
markers() { (cd "$1" && ls *.loaded 2>/dev/null | sed 's/\.loaded$//' | sort | paste -sd' ') || true; }

# 2. The control: a program without the setup's start-up and manifest runs every one of them.
dir="$work/control"; mkdir -p "$dir"; plant "$dir"
CONTROL=("$build/tests/planted/planted_probe_plain.exe" plain "${names[@]}")
run_in "$dir" control -all "$native" || true
ran=$(markers "$dir")
[ "$ran" = "$(printf '%s\n' "${names[@]}" | sort | paste -sd' ')" ] ||
  fail "control: planted libraries that ran: '$ran' (expected all of: ${names[*]})"

# 3. The setup's runs with every one of them planted: none runs, the work is done.
for run in "${RUNS[@]}"; do
  dir="$work/planted-$run"; mkdir -p "$dir"; plant "$dir"
  rc=0; run_in "$dir" "$run" -all "$native" || rc=$?
  ran=$(markers "$dir")
  [ -z "$ran" ] || fail "$run: planted libraries ran: $ran"
  [ "$rc" = 0 ] || { fail "$run with plants ended with $rc"; tail -20 "$dir/run.log" 2>/dev/null; }
  [ "$rc" = 0 ] && [ -z "$ran" ] && echo "planted: $run: none of ${#names[@]} planted libraries ran; exit code 0"
done
exit $failed
