# Sourced: start_xvfb [XVFB ARGUMENTS] starts a private X server, exports
# DISPLAY and sets XVFB_PID; stop_xvfb ends it. Headless runs have no sound device either, so they use
# OpenAL's null output.
# -noreset: an X server resets when its last client leaves and hangs up on
# whoever connects meanwhile, so a viewer starting just as a short-lived
# xdotool exits would find no display.
start_xvfb() {
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset "$@" >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      sleep 0.1
    done
    if kill -0 "$XVFB_PID" 2>/dev/null; then
      export DISPLAY=":$n" ALSOFT_DRIVERS=null
      return 0
    fi
  done
  echo "no X server could be started" >&2
  return 1
}

stop_xvfb() {
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
  XVFB_PID=""
}
