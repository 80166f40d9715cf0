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
scripts/check-layers.sh

echo "== release build and tests"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCARVEL_WERROR=ON \
  -DCARVEL_BENCH=ON >/dev/null
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs"

echo "== sanitizer build and tests"
# Optimised, so that the tests and the fuzz targets run fast under the sanitizers.
CC=clang CXX=clang++ cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCARVEL_WERROR=ON -DCARVEL_SANITIZE=ON -DCARVEL_FUZZ=ON -DCARVEL_BENCH=OFF >/dev/null
cmake --build build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/sanitize --output-on-failure -j "$jobs"

echo "== end-to-end run of the program under Xvfb"
scripts/e2e.sh build/release

# One fuzz target for `seconds` on inputs of at most `max_len` bytes and its seeds; prints how many
# inputs it ran a second.
fuzz() {
  local target=build/sanitize/fuzz/$1 seconds=$2 max_len=$3
  shift 3
  local corpus=build/sanitize/corpus/$(basename "$target")
  mkdir -p "$corpus"
  "$target" -max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=4096 \
    "$corpus" "$@" >"$corpus.log" 2>&1 || { tail -n 40 "$corpus.log"; exit 1; }
  grep -o 'Done [0-9]* runs in [0-9]* second' "$corpus.log" |
    awk -v name="$(basename "$target")" '{ printf "%s: %d inputs in %d s, %d a second\n", name, $2, $5, $2 / $5 }'
}

if [ "$fuzz_seconds" -gt 0 ]; then
  third=$(( (fuzz_seconds + 2) / 3 ))
  echo "== fuzzing: the chart reader ${fuzz_seconds}s, the other readers ${third}s each"
  # Charts of a few kilobytes cover every kind of line; longer inputs only slow the search down.
  charts=build/sanitize/seeds/charts
  mkdir -p "$charts"
  cp testdata/third-party/*/*.bm? build/sanitize/demo/demo.bms fuzz/seeds/bmson/* "$charts/"
  fuzz fuzz_chart_reader "$fuzz_seconds" 8192 "$charts"
  fuzz fuzz_title_probe "$third" 8192 "$charts"
  fuzz fuzz_list_file "$third" 65536 fuzz/seeds/list_file/
  LSAN_OPTIONS=suppressions="$PWD/fuzz/lsan.supp" \
    fuzz fuzz_media_decoders "$third" 65536 build/sanitize/demo/ testdata/third-party/angolmois/
  fuzz fuzz_video 60 65536 fuzz/seeds/video/
fi
echo "All checks passed."
