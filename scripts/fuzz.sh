#!/usr/bin/env bash
# Builds the fuzz target (clang, libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer) into build-fuzz/, linked with a copy of Allegro
# built there from source with the same instrumentation (once, about 80 s;
# later runs reuse it), and runs it for SECONDS (default 60) from the
# checked-in seeds in fuzz/corpus, then prints the fuzzer's summary. Any
# sanitizer report fails the run, but for the known noise named in
# tests/sanitizer/ (the library's byte readers' shifts, system libraries'
# leaks); what it finds is saved as build-fuzz/crash-* (or leak-*, timeout-*,
# oom-*).
#
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-fuzz"
seconds="${1:-60}"
"$root/scripts/setup.sh"
mkdir -p "$build"
if ! "$root/scripts/build.sh" fuzz >"$build/build.log" 2>&1; then
  tail -n 30 "$build/build.log" >&2
  echo "fuzz.sh: the fuzz target did not build (log: build-fuzz/build.log)" >&2
  exit 1
fi

# New inputs go to a working corpus, so the checked-in seeds stay as they are.
work="$build/corpus"
mkdir -p "$work"
cd "$build"
export ASAN_OPTIONS="detect_leaks=1" LSAN_OPTIONS="suppressions=$root/tests/sanitizer/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:report_error_type=1:suppressions=$root/tests/sanitizer/ubsan.supp"
status=0
fuzz/heightmap_fuzz -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=2048 -timeout=10 \
  "$work" "$root/fuzz/corpus" 2>"$build/fuzz.log" || status=$?
grep -E '(DONE|INITED) |^(Done [0-9]+ runs|stat::number_of_executed_units|stat::average_exec_per_sec|stat::new_units_added|stat::peak_rss_mb)' \
  "$build/fuzz.log" || true
echo "corpus: $(ls "$work" | wc -l) inputs in $work"
if [ "$status" -ne 0 ]; then
  grep -E 'ERROR|runtime error|SUMMARY|Test unit written' "$build/fuzz.log" >&2 || true
  echo "fuzz.sh: the fuzzer found a fault (log: build-fuzz/fuzz.log)" >&2
else
  echo "findings: none"
fi
exit "$status"
