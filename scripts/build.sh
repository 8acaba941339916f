#!/usr/bin/env bash
# Configures and builds one of the presets of CMakePresets.json: default
# (build/), sanitize (build-sanitize/) or fuzz (build-fuzz/).
#
#   scripts/build.sh [PRESET]      (default: default)
#
# TERRAIN_WERROR=ON (as CI sets it) turns warnings into errors, through
# CMake's CMAKE_COMPILE_WARNING_AS_ERROR.
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"
cmake --preset "$preset" -DCMAKE_COMPILE_WARNING_AS_ERROR="${TERRAIN_WERROR:-OFF}" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)"
