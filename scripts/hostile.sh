#!/usr/bin/env bash
# Runs the viewer on every hostile height image (build/tools/make_hostile_bmp)
# under a private X server and prints, for each, the exit code, the peak
# resident memory, the time and the viewer's message. The first row, with no
# hmap.bmp at all, is the viewer's own baseline up to the height image.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" >/dev/null
viewer="$root/build/terrain-viewer"

. "$root/scripts/xvfb.sh"
start_xvfb
work="$(mktemp -d)"
trap 'stop_xvfb; rm -rf "$work"' EXIT
start_box_closer error

run_case() {
  local name=$1 dir="$work/$1" run code peak seconds message
  (cd "$dir" && exec timeout -s KILL 300 /usr/bin/time -q -f '%x %M %e' -o "$dir/time" \
     stdbuf -oL "$viewer" >"$dir/out" 2>"$dir/err") &
  run=$!
  # One that shows its terrain is ended once three frames are out.
  # (0, not nothing, before the output file exists, which would end the wait early.)
  while kill -0 "$run" 2>/dev/null && [ "$(cat "$dir/out" 2>/dev/null | grep -c '^yaw=')" -lt 3 ]; do sleep 0.1; done
  end_viewer "$run" || true  # its exit code is read from time's report
  read -r code peak seconds < <(tail -1 "$dir/time" 2>/dev/null || echo "killed 0 300")
  message=$(tail -1 "$dir/err" | sed 's/^terrain-viewer: //')
  [ -z "$message" ] && message="(shown: $(grep -c '^yaw=' "$dir/out") frames)"
  printf '%-30s %4s %9.1f %7.2f  %s\n' "$name" "$code" "$(awk "BEGIN { print $peak / 1024 }")" "$seconds" "$message"
}

"$root/build/tools/make_hostile_bmp" "$work" >"$work/cases"
mkdir "$work/baseline_no_image"
printf '%-30s %4s %9s %7s  %s\n' case exit "peak MiB" seconds message
run_case baseline_no_image
while IFS=$'\t' read -r name _; do run_case "$name"; done <"$work/cases"
