#!/usr/bin/env bash
# Builds the fuzz target (clang, libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer) into build-fuzz/ and runs it for SECONDS
# (default 60) from the checked-in seeds in fuzz/corpus, then prints the
# fuzzer's summary. What it finds is saved as build-fuzz/crash-* and fails
# the run.
#
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build-fuzz" -DCMAKE_CXX_COMPILER=clang++ -DTERRAIN_FUZZ=ON -DBUILD_TESTING=OFF \
  -DTERRAIN_BENCHMARKS=OFF -DTERRAIN_WERROR="${TERRAIN_WERROR:-OFF}" >/dev/null
cmake --build "$root/build-fuzz" -j"$(nproc)" --target heightmap_fuzz >/dev/null

# New inputs go to a working corpus, so the checked-in seeds stay as they are.
work="$root/build-fuzz/corpus"
mkdir -p "$work"
cd "$root/build-fuzz"
export ASAN_OPTIONS="detect_leaks=1" LSAN_OPTIONS="suppressions=$root/tests/sanitizer/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
fuzz/heightmap_fuzz -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=2048 -timeout=10 \
  "$work" "$root/fuzz/corpus" 2>"$root/build-fuzz/fuzz.log" || status=$?
grep -E '(DONE|INITED) |^(Done [0-9]+ runs|stat::number_of_executed_units|stat::average_exec_per_sec|stat::new_units_added|stat::peak_rss_mb)' \
  "$root/build-fuzz/fuzz.log" || true
echo "corpus: $(ls "$work" | wc -l) inputs in $work"
if [ "$status" -ne 0 ]; then
  grep -E 'ERROR|SUMMARY|Test unit written' "$root/build-fuzz/fuzz.log" >&2 || true
  echo "fuzz.sh: the fuzzer found a fault (log: build-fuzz/fuzz.log)" >&2
fi
exit "$status"
