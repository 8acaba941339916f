#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite under a private X server.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/setup.sh"
"$root/scripts/build.sh"

. "$root/scripts/xvfb.sh"
start_xvfb
trap stop_xvfb EXIT
cd "$root/build"
ctest --output-on-failure -j2 "$@"
