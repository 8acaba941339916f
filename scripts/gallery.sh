#!/usr/bin/env bash
# Runs the viewer on the sample under a private X server, turns the camera to
# each "YAW PITCH" given (default: the README's gallery) by moving the pointer
# as a user would, and saves a screenshot at each in out/gallery/.
#
#   scripts/gallery.sh [YAW PITCH]...
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" >/dev/null
[ $# -eq 0 ] && set -- 0 0 120 60 105 75 165 90 135 -90
shots="$root/out/gallery"
mkdir -p "$shots"

. "$root/scripts/xvfb.sh"
start_xvfb
work="$(mktemp -d)"
trap 'stop_xvfb; rm -rf "$work"' EXIT
cp "$root/data/hmap.bmp" "$work/"
(cd "$work" && exec stdbuf -oL "$root/build/terrain-viewer" >"$work/out" 2>"$work/err") &
viewer=$!
window=$(viewer_window) || { cat "$work/err" >&2; echo "gallery.sh: the viewer did not open its window" >&2; exit 1; }

# The angles of the last complete line the viewer printed: "YAW PITCH".
angles() { grep '^yaw=' "$work/out" | tail -1 | sed -E 's/yaw=(-?[0-9]+), pitch=(-?[0-9]+)/\1 \2/'; }

# Moves the pointer off the centre, 8 pixels a degree (at most 35 degrees a
# move), every 50 ms until the printed angles are the target. The viewer warps
# the pointer back every frame and sees a move once at most, often not at all.
turn_to() {
  local yaw pitch turn lift
  for _ in $(seq 600); do
    read -r yaw pitch < <(angles)
    turn=$(( ($1 - yaw + 540) % 360 - 180 )); lift=$(( $2 - pitch ))
    [ "$turn" -eq 0 ] && [ "$lift" -eq 0 ] && return 0
    turn=$(( turn > 35 ? 35 : turn < -35 ? -35 : turn )); lift=$(( lift > 35 ? 35 : lift < -35 ? -35 : lift ))
    xdotool mousemove --window "$window" $(( 400 - 8 * turn )) $(( 300 - 8 * lift ))
    sleep 0.05
  done
  return 1
}

while [ $# -ge 2 ]; do
  turn_to "$1" "$2" || { echo "gallery.sh: could not turn to yaw $1, pitch $2" >&2; exit 1; }
  sleep 0.5  # a few frames at rest
  shot="$shots/yaw${1}_pitch${2}.png"
  import -window "$window" "$shot"
  echo "yaw $1, pitch $2: $shot"
  shift 2
done
end_viewer "$viewer" || true
