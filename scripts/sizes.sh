#!/usr/bin/env bash
# Measures the viewer on square height images of the given sides (the
# sample's landscape, made larger) under a private X server: the time from
# launch to the first frame, the peak resident memory and frames per second.
#
#   scripts/sizes.sh [SIDE]...      (default 512 1024 2048 3160 9800)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" >/dev/null
[ $# -eq 0 ] && set -- 512 1024 2048 3160 9800

. "$root/scripts/xvfb.sh"
start_xvfb
work="$(mktemp -d)"
trap 'stop_xvfb; rm -rf "$work"' EXIT
start_box_closer error  # a refusal ends the run instead of waiting

now() { date +%s.%N; }
frames() { local n; n=$(grep -c '^yaw=' "$work/out" 2>/dev/null) || true; echo "${n:-0}"; }
# A row for a run that showed no measurement: its exit status and last words.
failed=0
failed_row() {
  local status=0
  failed=1
  end_viewer "$viewer" || status=$?
  printf '%-12s %s (exit status %s) %s\n' "${side}x${side}" "$1" "$status" "$(tail -1 "$work/err" 2>/dev/null)"
}

printf '%-12s %14s %14s %10s\n' image "first frame s" "peak memory" "frames/s"
for side in "$@"; do
  "$root/build/tools/make_sample_hmap" "$work/hmap.bmp" "$side" "$side"
  rm -f "$work/out" "$work/err"  # no frames counted from the run before
  start=$(now)
  (cd "$work" && exec stdbuf -oL "$root/build/terrain-viewer" >"$work/out" 2>"$work/err") &
  viewer=$!
  # The first frame: the largest images take minutes to build.
  while [ "$(frames)" -lt 1 ] && kill -0 "$viewer" 2>/dev/null &&
        awk "BEGIN { exit !($(now) - $start < 1800) }"; do
    sleep 0.05
  done
  if [ "$(frames)" -lt 1 ]; then failed_row "no frame"; continue; fi
  first=$(now)
  # Frames for five seconds, or four frames at the least, while it runs.
  while :; do
    sleep 0.2
    counted=$(frames)
    elapsed=$(awk "BEGIN { print $(now) - $first }")
    peak=$(awk '/VmHWM/ { print $2 }' "/proc/$viewer/status" 2>/dev/null) || true
    awk "BEGIN { exit !($elapsed >= 5 && $counted >= 4) }" && break
    kill -0 "$viewer" 2>/dev/null || break
    awk "BEGIN { exit !($elapsed < 1800) }" || break
  done
  if [ "$counted" -lt 4 ] || [ -z "$peak" ]; then failed_row "only $counted frames"; continue; fi
  end_viewer "$viewer" || true
  awk -v image="${side}x${side}" -v up="$(awk "BEGIN { print $first - $start }")" -v peak="$peak" \
      -v fps="$(awk "BEGIN { print ($counted - 1) / $elapsed }")" \
      'BEGIN { printf "%-12s %14.1f %11.0f MiB %10.1f\n", image, up, peak / 1024, fps }'
done
exit "$failed"
