# Sourced: starts a headless X server on a free display and exports DISPLAY.
# The caller stops it with vt_stop_xvfb.
vt_start_xvfb() {
  local d
  for d in $(seq 90 140); do
    [ -e "/tmp/.X$d-lock" ] || [ -e "/tmp/.X11-unix/X$d" ] && continue
    Xvfb ":$d" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    VT_XVFB_PID=$!
    local i
    for i in $(seq 1 50); do
      [ -e "/tmp/.X11-unix/X$d" ] && { export DISPLAY=":$d"; return 0; }
      kill -0 "$VT_XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
  done
  echo "xvfb: no display could be started" >&2
  return 1
}
vt_stop_xvfb() { if [ -n "${VT_XVFB_PID:-}" ]; then kill "$VT_XVFB_PID" 2>/dev/null || true; fi; wait "${VT_XVFB_PID:-}" 2>/dev/null || true; }
