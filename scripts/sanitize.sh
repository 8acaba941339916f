#!/usr/bin/env bash
# Builds everything, the viewer included, with AddressSanitizer and
# UndefinedBehaviorSanitizer (clang, leak checking on) into build-sanitize/,
# and runs the unit, window and program tests under a private X server (not
# those labelled slow: the 190000-frame run and the 2.2 GB mesh). Any sanitizer report, from any process the tests
# start, fails the run and is printed.
#
#   scripts/sanitize.sh [CTEST OPTIONS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-sanitize"
"$root/scripts/setup.sh"
"$root/scripts/build.sh" sanitize

. "$root/scripts/xvfb.sh"
start_xvfb
reports="$(mktemp -d)"
trap 'stop_xvfb; rm -rf "$reports"' EXIT
# Reports go to files, one a process, so none is lost in a test's captured output.
export ASAN_OPTIONS="detect_leaks=1:log_path=$reports/asan"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$reports/ubsan"
export LSAN_OPTIONS="suppressions=$root/tests/sanitizer/lsan.supp:print_suppressions=0"
# Mesa unloads its software driver at exit, before the leak check: loaded
# from the start it stays mapped, so its leaks can be told apart by name.
export LD_PRELOAD="$(ls /usr/lib/*/dri/swrast_dri.so | head -1)"
export TERRAIN_TESTS_NEED_DISPLAY=1
status=0
(cd "$build" && ctest --output-on-failure -j2 -LE slow "$@") || status=$?
unset LD_PRELOAD
if compgen -G "$reports/*" >/dev/null; then
  cat "$reports"/* >&2
  echo "sanitize.sh: the sanitizers reported the faults above" >&2
  status=1
fi
exit "$status"
