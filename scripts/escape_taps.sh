#!/usr/bin/env bash
# Counts the quick taps of Escape (xdotool key: down and up some 10 to 20 ms
# apart) that end the viewer, under a private X server, on the sample image.
#
#   scripts/escape_taps.sh [RUNS] [FRAME_DELAY_MS] [VIEWER]
#
# FRAME_DELAY_MS (default 0) makes each frame that much longer through the
# tests' probe (build/tests/libzeb_probe.so), as a large terrain does: 500
# gives two frames a second. Each run waits for five frames, taps once and
# counts the tap seen when the viewer ends within 1 s plus two frames.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
runs=${1:-20} delay=${2:-0} viewer=${3:-$root/build/terrain-viewer}
probe="$root/build/tests/libzeb_probe.so"
[ -f "$probe" ] || { echo "escape_taps.sh: build first (scripts/build.sh): no $probe" >&2; exit 1; }

. "$root/scripts/xvfb.sh"
start_xvfb
work=$(mktemp -d)
trap 'stop_xvfb; rm -rf "$work"' EXIT
cp "$root/data/hmap.bmp" "$work/"
cd "$work"

seen=0
for run in $(seq "$runs"); do
  LD_PRELOAD="$probe" ZEB_PROBE_FRAME_DELAY_MS="$delay" stdbuf -oL "$viewer" >out.txt 2>/dev/null &
  pid=$!
  window=$(viewer_window "$pid") || { echo "run $run: no window" >&2; kill "$pid"; wait "$pid" || true; continue; }
  xdotool windowfocus --sync "$window"
  for _ in $(seq 600); do
    [ "$(grep -c '^yaw=' out.txt)" -ge 5 ] && break
    sleep 0.05
  done
  xdotool key Escape
  if wait_until_gone "$pid" $(( 2 + 2 * delay / 1000 )); then
    seen=$((seen + 1))
  else
    kill -TERM "$pid" 2>/dev/null || true
  fi
  wait "$pid" 2>/dev/null || true
done
echo "taps seen: $seen of $runs (frame delay ${delay} ms)"
