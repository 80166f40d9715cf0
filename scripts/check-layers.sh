#!/usr/bin/env bash
# Checks every #include "folder/..." of the project against the folder table of
# docs/ARCHITECTURE.md: a folder may include its own headers and those of the folders it may use.
# Tests may also include the shared test helpers (testing/). Benchmarks and fuzz targets may use
# everything.
set -euo pipefail
cd "$(dirname "$0")/.."
declare -A allowed=(
  [platform]="platform"
  [chart]="chart platform"
  [media]="media platform"
  [playback]="playback chart media platform"
  [player]="player playback chart media platform"
  [chartview]="chartview playback chart platform"
  [playlist]="playlist playback chart platform"
  [app]="app player chartview playlist playback chart media platform"
  [tools]="tools playback chart media platform"
  [testing]="testing app player chartview playlist playback chart media platform"
)
status=0
while IFS= read -r file; do
  folder=${file%%/*}
  [ -n "${allowed[$folder]+x}" ] || continue
  may=" ${allowed[$folder]} "
  case $file in */tests/*) may="$may testing " ;; esac
  while IFS= read -r target; do
    if [[ "$may" != *" $target "* ]]; then
      echo "$file includes $target/, which $folder/ may not use"
      status=1
    fi
  done < <(sed -n 's|^#include "\([a-z_]*\)/.*|\1|p' "$file")
done < <(git ls-files '*.cpp' '*.h')
[ $status -eq 0 ] && echo "layers: every include keeps to the folder table"
exit $status
