#!/usr/bin/env bash
# Runs the viewer on a height image under a private X server, turns the camera
# to each "YAW PITCH" given by moving the pointer as a user would, and saves a
# screenshot at each.
#
#   scripts/gallery.sh                                the README's pictures, remade in docs/gallery/
#   scripts/gallery.sh [--image FILE] [YAW PITCH]...  full size, into out/gallery/
#
# FILE is any height image the viewer reads (default: the sample); the
# angles default to the README's: 0 0, 120 60, 105 75, 165 90.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
usage() { echo "usage: scripts/gallery.sh [--image FILE] [YAW PITCH]..." >&2; exit 2; }

image="$root/data/hmap.bmp"
shots="$root/docs/gallery"
size=(-resize 50%)  # the README shows the window at half size
if [ $# -gt 0 ]; then
  shots="$root/out/gallery" size=()
  if [ "$1" = --image ]; then
    [ $# -ge 2 ] || usage
    image="$(realpath -- "$2")"
    [ -f "$image" ] || { echo "gallery.sh: $2: no such file" >&2; exit 1; }
    shift 2
  fi
fi
[ $# -eq 0 ] && set -- 0 0 120 60 105 75 165 90
[ $(( $# % 2 )) -eq 0 ] || usage
for angle in "$@"; do [[ "$angle" =~ ^-?[0-9]+$ ]] || usage; done

"$root/scripts/setup.sh"
"$root/scripts/build.sh" >/dev/null
mkdir -p "$shots"

. "$root/scripts/xvfb.sh"
start_xvfb
work="$(mktemp -d)"
trap 'stop_xvfb; rm -rf "$work"' EXIT
start_box_closer error  # a refused image ends the run instead of waiting
cp "$image" "$work/hmap.bmp"
(cd "$work" && exec stdbuf -oL "$root/build/terrain-viewer" >"$work/out" 2>"$work/err") &
viewer=$!

# Stops with the viewer's own words when it has ended.
alive() {
  kill -0 "$viewer" 2>/dev/null && return 0
  cat "$work/err" >&2
  echo "gallery.sh: the viewer ended before the pictures were taken" >&2
  exit 1
}
frames() { local n; n=$(grep -c '^yaw=' "$work/out" 2>/dev/null) || true; echo "${n:-0}"; }
# Waits until the viewer has printed COUNT angle lines: a large terrain takes
# minutes to build and draws a frame in seconds.
wait_for_frames() { while [ "$(frames)" -lt "$1" ]; do alive; sleep 0.05; done; }

window=$(viewer_window "$viewer") || { alive; echo "gallery.sh: the viewer did not open its window" >&2; exit 1; }
wait_for_frames 2

# The angles of the last complete line the viewer printed: "YAW PITCH". The
# last line of all may still be on its way, so it is left out.
angles() { sed '$d' "$work/out" | grep '^yaw=' | tail -1 | sed -E 's/yaw=(-?[0-9]+), pitch=(-?[0-9]+)/\1 \2/'; }

# Moves the pointer off the centre, 8 pixels a degree (at most 35 degrees a
# move), every 50 ms until the printed angles are the target (3 minutes at
# most). The viewer warps the pointer back every frame and sees a move once
# at most, often not at all.
turn_to() {
  local yaw pitch turn lift
  for _ in $(seq 3600); do
    alive
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
  wait_for_frames $(( $(frames) + 3 ))  # a few frames at rest
  shot="$shots/yaw${1}_pitch${2}.png"
  # No time stamps in the file: a picture remade unchanged is the same file.
  import -window "$window" png:- | convert png:- "${size[@]}" -define png:exclude-chunks=date,time "$shot"
  echo "yaw $1, pitch $2: $shot"
  shift 2
done
end_viewer "$viewer" || true
