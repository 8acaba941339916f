# Sourced: start_xvfb [--resets] [XVFB ARGUMENTS] starts a private X server,
# exports DISPLAY and sets XVFB_PID; stop_xvfb ends it and the box closer.
# Below them, helpers for driving the viewer in it as a user would. Headless
# runs have no sound device either, so they use OpenAL's null output.
# -noreset: an X server resets when its last client leaves and hangs up on
# whoever connects meanwhile, so a viewer starting just as a short-lived
# xdotool exits would find no display. --resets leaves it out, for a server
# like those of xvfb-run, kiosks and startx.
start_xvfb() {
  local ready n="" noreset=-noreset
  if [ "${1:-}" = --resets ]; then
    noreset=""
    shift
  fi
  # Xvfb takes the first free display itself and writes its number, with a
  # line end, once it accepts connections: two scripts starting together
  # cannot pick the same one.
  ready="$(mktemp)"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp $noreset "$@" 3>"$ready" >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 100); do
    read -r n <"$ready" && break
    n=""
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$ready"
  if [ -n "$n" ]; then
    export DISPLAY=":$n" ALSOFT_DRIVERS=null
    return 0
  fi
  kill "$XVFB_PID" 2>/dev/null || true
  XVFB_PID=""
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

# Waits for process PID to end, SECONDS at most; fails if it is still running.
wait_until_gone() {
  local deadline=$(( SECONDS + $2 ))
  while kill -0 "$1" 2>/dev/null; do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.1
  done
  return 0
}

# The viewer's window once it shows (10 s at most); fails if it does not, or
# at once when the viewer, process PID if given, has ended.
viewer_window() {
  local window
  for _ in $(seq 100); do
    window=$(xdotool search --name '^terrain-viewer$' 2>/dev/null | head -1) || true
    [ -n "$window" ] && echo "$window" && return 0
    [ -n "${1:-}" ] && ! kill -0 "$1" 2>/dev/null && return 1
    sleep 0.1
  done
  return 1
}

# Holds Escape in the viewer's window until the viewer, process PID, ends, for
# SECONDS at most (default 30: a few frames of the largest terrains); then ends
# it by its PID, saying so on standard error. Returns the viewer's exit status.
end_viewer() {
  local pid=$1 limit=${2:-30} window status=0
  window=$(xdotool search --name '^terrain-viewer$' 2>/dev/null | head -1) || true
  if [ -n "$window" ]; then
    timeout 5 xdotool windowfocus --sync "$window" keydown Escape 2>/dev/null || true
  fi
  if ! wait_until_gone "$pid" "$limit"; then
    echo "end_viewer: the viewer (PID $pid) still runs $limit s after Escape: ending it (SIGTERM)" >&2
    kill -TERM "$pid" 2>/dev/null || true
    if ! wait_until_gone "$pid" 5; then
      echo "end_viewer: the viewer (PID $pid) still runs 5 s after SIGTERM: killing it (SIGKILL)" >&2
      kill -KILL "$pid" 2>/dev/null || true
    fi
  fi
  wait "$pid" || status=$?
  xdotool keyup Escape 2>/dev/null || true
  return "$status"
}
