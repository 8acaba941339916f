#!/usr/bin/env bash
# Sets up, builds and runs the viewer on the sample height image. With no X
# display it runs the viewer for a few seconds under a private X server, saves
# a screenshot of its window and ends it with Escape.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# The first run installs and builds for minutes: it says so and shows the
# build's progress. Later runs rebuild what changed, quietly.
if [ ! -x "$root/build/terrain-viewer" ]; then
  echo "run.sh: checking the Debian packages the viewer needs (scripts/setup.sh)" >&2
  "$root/scripts/setup.sh"
  echo "run.sh: building the viewer and its tests in build/ (scripts/build.sh; the first build takes minutes)" >&2
  "$root/scripts/build.sh" >&2
  echo "run.sh: built; running the viewer on data/hmap.bmp" >&2
else
  "$root/scripts/setup.sh"
  "$root/scripts/build.sh" >/dev/null
fi

cd "$root/data"   # the viewer reads hmap.bmp from the working directory
if [ -n "${DISPLAY:-}" ]; then
  exec "$root/build/terrain-viewer"
fi

. "$root/scripts/xvfb.sh"
start_xvfb
trap stop_xvfb EXIT
"$root/build/terrain-viewer" > "$root/build/viewer-output.txt" &
viewer=$!
if ! window=$(viewer_window "$viewer"); then
  status=0
  end_viewer "$viewer" || status=$?
  echo "run.sh: the viewer did not open its window (exit status $status)" >&2
  exit 1
fi
sleep 3
mkdir -p "$root/out"
shot="$root/out/viewer.png"
import -window "$window" "$shot" 2>/dev/null || shot=""
status=0
end_viewer "$viewer" || status=$?
echo "the viewer ran $(grep -c '^yaw=' "$root/build/viewer-output.txt") frames and exited with $status"
if [ -z "$shot" ]; then
  echo "run.sh: no screenshot: the viewer's window was gone after three seconds" >&2
  exit 1
fi
echo "screenshot: $shot"
exit "$status"
