#!/usr/bin/env bash
# Creates the Wine prefix given as $1 once (Windows 10), and keeps its
# wineserver running until `wineserver -k`.
set -euo pipefail
prefix=$1
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/.vt-ready" ]; then
  rm -rf "$prefix"
  mkdir -p "$prefix"
  wineboot -i >/dev/null 2>&1
  wine winecfg /v win10 >/dev/null 2>&1
  wineserver -w
  touch "$prefix/.vt-ready"
fi
# A virtual desktop: without a window manager on the private X server, Wine
# waits two seconds for every top-level window it hides; inside its own
# desktop window it does not.
if [ ! -f "$prefix/.vt-desktop2" ]; then
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1
  # No Segoe UI here: DejaVu Sans Condensed is as narrow as it, where Wine's
  # default DejaVu Sans is wider, so captions fit their designed widths.
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Segoe UI' /d 'DejaVu Sans Condensed' /f >/dev/null 2>&1
  wineserver -w
  touch "$prefix/.vt-desktop2"
fi
# Detached from the caller's output, so that nothing the tests start later
# (the wineserver, Wine's service processes) keeps a test runner's pipes open.
wineserver -p >/dev/null 2>&1 </dev/null || true  # already running: keep it
wine cmd /c exit >/dev/null 2>&1 </dev/null
