#!/usr/bin/env bash
# Builds and runs both benchmarks: mesh building, then frames under a private X server.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" >/dev/null
"$root/build/bench/mesh_bench" "${1:-5}"
. "$root/scripts/xvfb.sh"
start_xvfb
trap stop_xvfb EXIT
"$root/build/bench/frame_bench" "$root/data/hmap.bmp"
