#!/usr/bin/env bash
# Short fuzzing runs: builds the libFuzzer targets with clang (ASan + UBSan,
# build/fuzz), replays the saved crashes under fuzz/regressions/ and the seed
# corpora, then fuzzes every target for FUZZ_SECONDS (default 60) and fails
# on the first crash, leak or timeout. Crash inputs land in
# build/fuzz/artifacts/; copy one into fuzz/regressions/<target>/ once fixed.
#
# A longer run, one target at a time, keeping what it learns between runs:
#   scripts/fuzz-short.sh                      # builds build/fuzz once
#   mkdir -p build/fuzz/corpus/fuzz_command
#   build/fuzz/fuzz/fuzz_command -max_total_time=3600 -jobs=2 -workers=2 \
#     -artifact_prefix=build/fuzz/artifacts/ -timeout=10 -rss_limit_mb=2048 \
#     build/fuzz/corpus/fuzz_command fuzz/corpus/fuzz_command
# (the same for fuzz_inf, fuzz_inf_commands and fuzz_regfile). New inputs go
# to the first folder; `-merge=1 fuzz/corpus/<target> build/fuzz/corpus/<target>`
# folds the useful ones back into the seed corpus.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
seconds=${FUZZ_SECONDS:-60}
build=build/fuzz
targets=(fuzz_command fuzz_inf fuzz_inf_commands fuzz_regfile)

CC=clang CXX=clang++ cmake -S . -B "$build" -DQZ_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
ctest --test-dir "$build" -R '^fuzz_.*_regressions$' --output-on-failure

mkdir -p "$build/artifacts"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1
status=0
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  log="$build/$target.log"
  printf '%-18s ' "$target"
  if "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$top/$build/artifacts/$target-" \
      "$corpus" "fuzz/corpus/$target" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "${runs:-?} executions, no crash"
  else
    echo "CRASH (see $log and $build/artifacts/)"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$log" | head -5 || true
    status=1
  fi
done
exit $status
