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
closer=""
trap '[ -n "$closer" ] && kill "$closer"; stop_xvfb; rm -rf "$work"' EXIT

# Presses Return in every "error" box as soon as it shows.
(while :; do
  for id in $(xdotool search --name '^error$' 2>/dev/null); do
    xdotool windowfocus --sync "$id" key Return 2>/dev/null || true
  done
  sleep 0.1
done) &
closer=$!

# A viewer that shows its terrain is ended with Escape once three frames are out.
end_when_shown() {
  local pid=$1 out=$2
  for _ in $(seq 1200); do
    kill -0 "$pid" 2>/dev/null || return 0
    if [ "$(grep -c '^yaw=' "$out" 2>/dev/null)" -ge 3 ]; then
      local window
      window=$(xdotool search --name '^terrain-viewer$' 2>/dev/null | head -1)
      [ -n "$window" ] && xdotool windowfocus --sync "$window" keydown Escape 2>/dev/null
      while kill -0 "$pid" 2>/dev/null; do sleep 0.1; done
      xdotool keyup Escape 2>/dev/null || true
      return 0
    fi
    sleep 0.1
  done
}

run_case() {
  local name=$1 dir="$work/$1"
  (cd "$dir" && timeout -s KILL 300 /usr/bin/time -q -f '%x %M %e' -o "$dir/time" \
     stdbuf -oL "$viewer" >"$dir/out" 2>"$dir/err") &
  local run=$!
  end_when_shown "$run" "$dir/out"
  wait "$run" || true
  local code peak seconds message
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
