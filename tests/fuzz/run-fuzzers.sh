#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in their own build folder and runs
# each for the given time on top of its seed corpus (tests/fuzz/corpus/<name>).
# Usage: tests/fuzz/run-fuzzers.sh [seconds per target, default 30] [target...]
# Environment: TQ58_FUZZ_BUILD (build folder, default build-fuzz in the source
# tree), TQ58_FUZZ_WORK (corpus and crash folder, default <build>/fuzz-work).
# Exits non-zero when a target fails to build or reports a crash, leak,
# sanitizer error or time-out; the crashing input is left in the work folder.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-30}
[ $# -gt 0 ] && shift
build=${TQ58_FUZZ_BUILD:-"$here/build-fuzz"}
work=${TQ58_FUZZ_WORK:-"$build/fuzz-work"}

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for dir in "$here"/tests/fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi

CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTQ58_BUILD_FUZZ=ON -DTQ58_BUILD_TESTS=OFF -DTQ58_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/tq58_fuzz_}"

failed=()
for name in "${targets[@]}"; do
  corpus="$work/$name/corpus" artifacts="$work/$name/artifacts"
  mkdir -p "$corpus" "$artifacts"
  echo "== fuzz $name for ${seconds}s"
  if ! "$build/tests/fuzz/tq58_fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" "$here/tests/fuzz/corpus/$name" \
      >"$work/$name/log" 2>&1; then
    tail -n 60 "$work/$name/log"
    failed+=("$name")
  fi
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' "$work/$name/log" || true
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz targets that failed: ${failed[*]} (inputs in $work/<target>/artifacts)" >&2
  exit 1
fi
echo "all fuzz targets ran ${seconds}s without a finding"
