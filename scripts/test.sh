#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite under a private X server.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh"

. "$root/scripts/xvfb.sh"
start_xvfb
trap stop_xvfb EXIT
# Here a display that cannot be reached fails the tests instead of skipping them.
export TERRAIN_TESTS_NEED_DISPLAY=1
cd "$root/build"
ctest --output-on-failure -j2 "$@"
