#!/usr/bin/env bash
# Sets up, builds and runs the viewer on the sample height image. With no X
# display it runs the viewer for a few seconds under a private X server, saves
# a screenshot of its window and ends it with Escape.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" >/dev/null

cd "$root/data"   # the viewer reads hmap.bmp from the working directory
if [ -n "${DISPLAY:-}" ]; then
  exec "$root/build/terrain-viewer"
fi

. "$root/scripts/xvfb.sh"
start_xvfb
trap stop_xvfb EXIT
"$root/build/terrain-viewer" > "$root/build/viewer-output.txt" &
viewer=$!
window=""
for _ in $(seq 100); do
  window=$(xdotool search --name '^terrain-viewer$' 2>/dev/null | head -1) && [ -n "$window" ] && break
  kill -0 "$viewer" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$window" ]; then
  wait "$viewer"; echo "the viewer did not open its window" >&2; exit 1
fi
sleep 3
mkdir -p "$root/out"
import -window "$window" "$root/out/viewer.png"
xdotool windowfocus --sync "$window" keydown Escape
sleep 0.25
xdotool keyup Escape
status=0
wait "$viewer" || status=$?
echo "the viewer ran $(grep -c '^yaw=' "$root/build/viewer-output.txt") frames and exited with $status"
echo "screenshot: $root/out/viewer.png"
exit "$status"
