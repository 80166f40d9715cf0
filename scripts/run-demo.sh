#!/usr/bin/env bash
# Builds Carvel and plays the bundled demo chart: in the program's windows when there is a display,
# otherwise (no DISPLAY or WAYLAND_DISPLAY) in the terminal with carvel-play.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$(nproc)" --target carvel carvel-textview carvel-play demo
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/release/app/carvel build/release/demo/demo.bms
fi
echo "No display found: playing the demo in the terminal instead (Ctrl+C stops)."
exec build/release/tools/carvel-play --once build/release/demo/demo.bms
