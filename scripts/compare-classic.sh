#!/usr/bin/env bash
# Checks that the classic reading has not moved: builds carvel-info and carvel-render at an earlier
# revision (in a worktree, cached under build/classic-<commit>) and compares, for the third-party test
# charts, the demo and a generated corpus of odd charts (scripts/classic_corpus.py):
#   - carvel-info: standard output and exit status, byte for byte;
#   - carvel-render: the WAV bytes and exit status (for the charts short enough to render).
# Standard error is not compared (newer tools add hints there). With READING=full, both tools read
# with --full --seed 1 instead, and the bmson test charts are compared too.
# Usage: [READING=full] scripts/compare-classic.sh REV [BUILD_DIR]     (BUILD_DIR: build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
rev=${1:?usage: scripts/compare-classic.sh REV [BUILD_DIR]}
build=$(realpath "${2:-build/release}")
commit=$(git rev-parse --short "$rev")
base=$PWD/build/classic-$commit
if [ ! -x "$base/tools/carvel-render" ]; then
  tree=$(mktemp -d)
  git worktree add --detach "$tree" "$commit" >/dev/null
  cmake -S "$tree" -B "$base" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCARVEL_BENCH=OFF \
    -DBUILD_TESTING=OFF >/dev/null
  cmake --build "$base" -j "$(nproc)" --target carvel-info carvel-render demo >/dev/null
  git worktree remove --force "$tree"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 scripts/classic_corpus.py "$work/corpus"
reading=(--full --seed 1)
[ "${READING:-classic}" = full ] || reading=()
charts=()
for f in testdata/third-party/*/*.bm? testdata/third-party/*/*.pms testdata/third-party/*/*.bmson "$base/demo/demo.bms" \
  "$work"/corpus/*.bms; do
  [ -f "$f" ] && charts+=("$f")
done
differ=0
compared=0
rendered=0
for chart in "${charts[@]}"; do
  status_base=0
  status_new=0
  "$base/tools/carvel-info" ${reading[@]+"${reading[@]}"} "$chart" >"$work/base.txt" 2>/dev/null || status_base=$?
  "$build/tools/carvel-info" ${reading[@]+"${reading[@]}"} "$chart" >"$work/new.txt" 2>/dev/null || status_new=$?
  compared=$((compared + 1))
  if [ "$status_base" != "$status_new" ] || ! cmp -s "$work/base.txt" "$work/new.txt"; then
    echo "carvel-info differs ($status_base/$status_new): $chart"
    diff "$work/base.txt" "$work/new.txt" | head -n 6 || true
    differ=$((differ + 1))
  fi
  case $(basename "$chart") in x*.bms) continue ;; esac
  status_base=0
  status_new=0
  "$base/tools/carvel-render" ${reading[@]+"${reading[@]}"} "$chart" "$work/base.wav" 2>/dev/null || status_base=$?
  "$build/tools/carvel-render" ${reading[@]+"${reading[@]}"} "$chart" "$work/new.wav" 2>/dev/null || status_new=$?
  rendered=$((rendered + 1))
  if [ "$status_base" != "$status_new" ] || ! cmp -s "$work/base.wav" "$work/new.wav"; then
    echo "carvel-render differs ($status_base/$status_new): $chart"
    differ=$((differ + 1))
  fi
  rm -f "$work/base.wav" "$work/new.wav"
done
echo "${READING:-classic} reading against $commit: $compared charts read, $rendered rendered, $differ differences"
[ "$differ" -eq 0 ]
