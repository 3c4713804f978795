# Shared locations of the build scripts; sourced, not run.
: "${VT_CACHE:=${XDG_CACHE_HOME:-${HOME:-/root}/.cache}/veltrano-setup}"
DEPS_DIR="$VT_CACHE/deps"
SRC_DIR="$VT_CACHE/src"
