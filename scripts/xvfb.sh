# Sourced: start_xvfb [XVFB ARGUMENTS] starts a private X server, exports
# DISPLAY and sets XVFB_PID; stop_xvfb ends it and the box closer. Below them,
# helpers for driving the viewer in it as a user would. Headless runs have no sound device either, so they use
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
  [ -n "${BOX_CLOSER_PID:-}" ] && kill "$BOX_CLOSER_PID" 2>/dev/null
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
  XVFB_PID="" BOX_CLOSER_PID=""
}

# Presses Return in every native box titled TITLE as soon as it shows, in the
# background until stop_xvfb.
start_box_closer() {
  (while :; do
    for id in $(xdotool search --name "^$1\$" 2>/dev/null); do
      xdotool windowfocus --sync "$id" key Return 2>/dev/null || true
    done
    sleep 0.1
  done) &
  BOX_CLOSER_PID=$!
}

# The viewer's window once it shows (10 s at most); fails if it does not.
viewer_window() {
  local window
  for _ in $(seq 100); do
    window=$(xdotool search --name '^terrain-viewer$' 2>/dev/null | head -1) || true
    [ -n "$window" ] && echo "$window" && return 0
    sleep 0.1
  done
  return 1
}

# Holds Escape in the viewer's window until the viewer, process PID, ends (it
# reads the key once a frame, so a tap could fall between two reads); returns
# the viewer's exit status.
end_viewer() {
  local window status=0
  window=$(xdotool search --name '^terrain-viewer$' 2>/dev/null | head -1) || true
  [ -n "$window" ] && xdotool windowfocus --sync "$window" keydown Escape 2>/dev/null
  wait "$1" || status=$?
  xdotool keyup Escape 2>/dev/null || true
  return "$status"
}
