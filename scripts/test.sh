#!/usr/bin/env bash
# Sets up, builds and runs every test under Wine; arguments go to ctest.
set -euo pipefail
. "$(dirname "$0")/harness.sh"
cd "$build"
ctest --output-on-failure -j"${VT_TEST_JOBS:-2}" "$@"
