#!/usr/bin/env bash
# Configures and builds, each from scratch in a throwaway folder, every build
# the README documents: the three presets (default, sanitize, fuzz) and the
# default with the tests, the benchmarks or both left out. Builds only; the
# tests run in scripts/test.sh and scripts/sanitize.sh. Prints a line a build
# and the end of the log of each that fails. --skip leaves a preset out (CI:
# the scripts that use them build them from scratch in the same run).
#
#   scripts/build_options.sh [--skip PRESET]...
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
skipped=" "
while [ $# -ge 2 ] && [ "$1" = --skip ]; do skipped+="$2 "; shift 2; done
"$root/scripts/setup.sh"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
failed=0

# build NAME CMAKE_CONFIGURE_ARGUMENTS...
build() {
  local name=$1 dir="$scratch/$1" log="$scratch/$1.log" began=$SECONDS
  shift
  if cmake -S "$root" -B "$dir" "$@" -DCMAKE_COMPILE_WARNING_AS_ERROR="${TERRAIN_WERROR:-OFF}" >"$log" 2>&1 &&
     cmake --build "$dir" -j"$(nproc)" >>"$log" 2>&1; then
    printf '%-40s built in %3d s\n' "$name" $(( SECONDS - began ))
  else
    printf '%-40s FAILED\n' "$name"
    tail -40 "$log" >&2
    failed=1
  fi
  rm -rf "$dir"
}

for preset in default sanitize fuzz; do
  case "$skipped" in *" $preset "*) echo "preset $preset: left to its own script" ;; *) build "preset $preset" --preset "$preset" ;; esac
done
build "BUILD_TESTING=OFF" -DBUILD_TESTING=OFF
build "TERRAIN_BENCHMARKS=OFF" -DTERRAIN_BENCHMARKS=OFF
build "BUILD_TESTING=OFF TERRAIN_BENCHMARKS=OFF" -DBUILD_TESTING=OFF -DTERRAIN_BENCHMARKS=OFF
[ "$failed" -eq 0 ] || echo "build_options.sh: some builds failed (above)" >&2
exit "$failed"
