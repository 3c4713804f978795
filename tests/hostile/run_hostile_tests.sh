#!/usr/bin/env bash
# Runs the setup's hostile-input tests: makes rebranded copies of the loopback
# build whose branding resources have odd sizes and contents, then runs the
# test program. No server is started: the downloads go to a dead loopback port.
# Usage: run_hostile_tests.sh WINE_RUN TEST_EXE LOOPBACK_EXE [gtest args...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
winerun=$1 exe=$2 loopback=$3
shift 3

work=$(mktemp -d /tmp/vt-hostile.XXXXXX)
trap 'rm -rf "$work"' EXIT
# 0, 1 and 7 bytes; 64 KiB of UTF-16 with format characters, path separators,
# quotes, a line break, a NUL in the middle, lone surrogates and (seeded) random bytes.
python3 - "$work" <<'PY'
import random, sys
d = sys.argv[1]
open(d + "/0.bin", "wb").close()
open(d + "/1.bin", "wb").write(b"R")
open(d + "/7.bin", "wb").write("%s\\".encode("utf-16-le") + b"X")
head = "Partner%s%d%n&t=x#y?z/..\\..\\\"'<>|*:\r\n".encode("utf-16-le")
head += "\0".encode("utf-16-le") + b"\x00\xd8" + b"\x00\xdc" + "\u00e9\u0131\ufeff".encode("utf-16-le")
rnd = random.Random(20260613)
body = bytes(rnd.randrange(256) for _ in range(65536 - len(head)))
open(d + "/65536.bin", "wb").write(head + body)
PY
copies="$work/copies"
mkdir -p "$copies"
for name in REB_REFER REB_PRODUCTNAME REB_DOWNLOADNAME REB_TOPIC; do
  for size in 0 1 7 65536; do
    VT_BUILD_DIR="$(dirname "$(dirname "$loopback")")" "$root/scripts/rebrand.sh" "$loopback" \
      "$copies/${name#REB_}-$size.exe" --raw "$name" "$work/$size.bin"
  done
done
# A referrer that reads as a path out of the private temp folder.
VT_BUILD_DIR="$(dirname "$(dirname "$loopback")")" "$root/scripts/rebrand.sh" "$loopback" "$copies/referpath.exe" \
  --refer '..\escaped'
export VT_COPIES="Z:$copies"

# Bounded below CTest's own limit, so that the trap above always runs.
timeout 840 "$winerun" "$exe" "$@" </dev/null
