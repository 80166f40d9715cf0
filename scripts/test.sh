#!/usr/bin/env bash
# Builds Carvel twice (optimised, and with AddressSanitizer + UndefinedBehaviorSanitizer under
# clang), runs every test in both, runs the fuzz targets for a while, and checks the formatting.
# Usage: scripts/test.sh            (FUZZ_SECONDS=60 by default; 0 skips fuzzing)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-60}

echo "== format check"
mapfile -t sources < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find . -name '*.cpp' -o -name '*.h')
clang-format --dry-run --Werror "${sources[@]}"

echo "== release build and tests"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCARVEL_WERROR=ON >/dev/null
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs"

echo "== sanitizer build and tests"
CC=clang CXX=clang++ cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCARVEL_WERROR=ON -DCARVEL_SANITIZE=ON -DCARVEL_FUZZ=ON -DCARVEL_BENCH=OFF >/dev/null
cmake --build build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/sanitize --output-on-failure -j "$jobs"

echo "== end-to-end run of the program under Xvfb"
# Real-time playback on a shared machine can be stalled from outside; a second run tells such a
# stall from a fault, and both outcomes are printed.
if ! scripts/e2e.sh build/release; then
  echo "e2e: the first run failed; running it once more"
  scripts/e2e.sh build/release
fi

if [ "$fuzz_seconds" -gt 0 ]; then
  echo "== fuzzing: the chart reader ${fuzz_seconds}s, the smaller readers a third of that"
  for target in build/sanitize/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    seconds=$fuzz_seconds
    [ "$(basename "$target")" = fuzz_chart_loader ] || seconds=$(( (fuzz_seconds + 2) / 3 ))
    corpus="build/sanitize/corpus/$(basename "$target")"
    mkdir -p "$corpus"
    seeds=()
    for d in ../shared/testdata/charts/*/ demo/; do [ -d "$d" ] && seeds+=("$d"); done
    # A target's own seeds, if it has any: fuzz/seeds/list_file/ for fuzz_list_file.
    own="fuzz/seeds/$(basename "$target" | sed 's/^fuzz_//')"
    [ -d "$own" ] && seeds+=("$own/")
    "$target" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=4096 \
      "$corpus" "${seeds[@]}" >"$corpus.log" 2>&1 || { tail -n 40 "$corpus.log"; exit 1; }
    tail -n 2 "$corpus.log"
  done
fi
echo "All checks passed."
