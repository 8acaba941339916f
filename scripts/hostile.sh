#!/usr/bin/env bash
# Runs the viewer on every hostile height image (build/tools/make_hostile_bmp)
# under a private X server and prints, for each, the exit code, the peak
# resident memory, the time and the viewer's message. The first row, with no
# hmap.bmp at all, is the viewer's own baseline up to the height image.
# "seconds" is the whole run, its box included; "refused" the time from the
# start to the reason on standard error. Every refusal must cost under 150 MB
# above the baseline and come within a second: the last line says whether
# each did, and the exit status is 1 if one did not.
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
  local name=$1 dir="$work/$1" run code peak seconds message start refused_after=""
  start=$(date +%s.%N)
  (cd "$dir" && exec timeout -s KILL 300 /usr/bin/time -f '%x %M %e' -o "$dir/time" \
     stdbuf -oL "$viewer" >"$dir/out" 2>"$dir/err") &
  run=$!
  # One that shows its terrain is ended once three frames are out; a refusal
  # is timed to its line on standard error, before its box is closed. (0, not
  # nothing, before the output file exists.)
  while kill -0 "$run" 2>/dev/null && [ "$(cat "$dir/out" 2>/dev/null | grep -c '^yaw=')" -lt 3 ]; do
    if [ -z "$refused_after" ] && [ -s "$dir/err" ]; then
      refused_after=$(awk "BEGIN { printf \"%.2f\", $(date +%s.%N) - $start }")
    fi
    sleep 0.02
  done
  end_viewer "$run" || true  # its exit code is read from time's report
  read -r code peak seconds < <(tail -1 "$dir/time" 2>/dev/null || echo "killed 0 300")
  # time reports 0 for a program a signal ended, and says so on the line before.
  grep -q 'terminated by signal' "$dir/time" 2>/dev/null && code="sig$(grep -o 'signal [0-9]*' "$dir/time" | cut -d' ' -f2)"
  message=$(tail -1 "$dir/err" | sed 's/^terrain-viewer: //')
  [ -z "$message" ] && message="(shown: $(grep -c '^yaw=' "$dir/out" || true) frames)"
  printf '%-30s %4s %9.1f %7.2f %7s  %s\n' "$name" "$code" "$(awk "BEGIN { print $peak / 1024 }")" "$seconds" \
    "${refused_after:-}" "$message"
  [ "$name" = baseline_no_image ] && baseline=$peak
  case "$code" in 0|1) ;; *) crashed="$crashed $name ($code)" ;; esac
  if [ "$code" = 1 ] &&
     awk "BEGIN { exit !($peak - $baseline > 150000 * 1000 / 1024 || \"${refused_after:-9}\" + 0 >= 1) }"; then
    over="$over $name"
  fi
}
baseline=0 over="" crashed=""

"$root/build/tools/make_hostile_bmp" "$work" >"$work/cases"
mkdir "$work/baseline_no_image"
printf '%-30s %4s %9s %7s %7s  %s\n' case exit "peak MiB" seconds refused message
run_case baseline_no_image
while IFS=$'\t' read -r name _; do run_case "$name"; done <"$work/cases"
if [ -n "$crashed" ]; then
  echo "ended by a signal or killed:$crashed"
  exit 1
fi
if [ -n "$over" ]; then
  echo "over 150 MB above the baseline or 1 s before the refusal:$over"
  exit 1
fi
echo "every refusal within 150 MB of the baseline and under 1 s"
