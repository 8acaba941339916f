#!/usr/bin/env bash
# Configures and builds everything into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
# TERRAIN_WERROR=ON (as CI sets it) turns warnings into errors.
cmake -S . -B build -DTERRAIN_WERROR="${TERRAIN_WERROR:-OFF}" >/dev/null
cmake --build build -j"$(nproc)"
