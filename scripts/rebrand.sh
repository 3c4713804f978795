#!/usr/bin/env bash
# Writes a rebranded copy of the setup executable: each branding resource is
# set, replaced or removed as asked, every other byte of meaning stays; the
# copy can be signed with a given certificate and key.
#
#   scripts/rebrand.sh IN.exe OUT.exe [--refer TEXT | --no-refer]
#       [--product TEXT | --no-product] [--download TEXT | --no-download]
#       [--topic TEXT | --no-topic] [--raw NAME DATAFILE] [--sign CERT KEY]
#
# TEXT may be empty (a resource of zero bytes: Windows writes it, Wine's
# resource update refuses it). --raw stores DATAFILE byte for byte under the
# branding resource NAME (REB_REFER, REB_PRODUCTNAME, REB_DOWNLOADNAME, REB_TOPIC). Needs a build (the helper
# build/scripts/rebrand/vt_rebrand.exe) and Wine; uses the build's Wine prefix
# unless VT_WINEPREFIX names another.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build="${VT_BUILD_DIR:-$here/build}"
helper="$build/scripts/rebrand/vt_rebrand.exe"
usage() { sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
[ $# -ge 2 ] || usage
in=$1 out=$2
shift 2
[ -f "$in" ] || { echo "rebrand: $in does not exist" >&2; exit 2; }
[ -f "$helper" ] || { echo "rebrand: $helper missing: build first (scripts/build.sh)" >&2; exit 2; }

args=() cert="" key=""
while [ $# -gt 0 ]; do
  case $1 in
    --refer|--product|--download|--topic)
      [ $# -ge 2 ] || usage
      case $1 in --refer) n=REB_REFER;; --product) n=REB_PRODUCTNAME;; --download) n=REB_DOWNLOADNAME;; *) n=REB_TOPIC;; esac
      args+=(--set "$n" "$2"); shift 2;;
    --no-refer) args+=(--remove REB_REFER); shift;;
    --no-product) args+=(--remove REB_PRODUCTNAME); shift;;
    --no-download) args+=(--remove REB_DOWNLOADNAME); shift;;
    --no-topic) args+=(--remove REB_TOPIC); shift;;
    --raw) [ $# -ge 3 ] || usage; args+=(--set-file "$2" "Z:$(cd "$(dirname "$3")" && pwd)/$(basename "$3")"); shift 3;;
    --sign) [ $# -ge 3 ] || usage; cert=$2 key=$3; shift 3;;
    *) usage;;
  esac
done

export WINEPREFIX="${VT_WINEPREFIX:-$build/wineprefix}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "$WINEPREFIX/.vt-ready" ] || "$here/scripts/wine-prefix.sh" "$WINEPREFIX"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$in" "$work/copy.exe"
# An old signature would no longer match: the copy is written unsigned first.
if command -v osslsigncode >/dev/null && osslsigncode remove-signature -in "$work/copy.exe" -out "$work/plain.exe" >/dev/null 2>&1; then
  mv "$work/plain.exe" "$work/copy.exe"
fi
if [ ${#args[@]} -gt 0 ]; then
  timeout 120 wine "$helper" "Z:$work/copy.exe" "${args[@]}"
fi
if [ -n "$cert" ]; then
  osslsigncode sign -certs "$cert" -key "$key" -h sha256 -in "$work/copy.exe" -out "$work/signed.exe" >/dev/null
  mv "$work/signed.exe" "$work/copy.exe"
fi
mv "$work/copy.exe" "$out"
