#!/usr/bin/env bash
# Builds everything and runs every benchmark in bench/ under Wine.
set -euo pipefail
. "$(dirname "$0")/harness.sh"
for b in "$here"/bench/*.sh; do
  "$b"
done
