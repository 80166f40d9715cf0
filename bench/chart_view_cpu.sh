#!/usr/bin/env bash
# CPU use of the chart view at 1280 x 800 while a dense 7-key chart plays (bench_chart_view), with
# and without the view, offscreen and, when Xvfb is installed, on an X server; and how late a note
# reaches the judgement line after its sound is heard. Needs a build with -DCARVEL_BENCH=ON.
# Usage: bench/chart_view_cpu.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/release}")
seconds=${2:-30}
bench=$build/bench/bench_chart_view
[ -x "$bench" ] || { echo "build $bench first (-DCARVEL_BENCH=ON)" >&2; exit 1; }
export SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy}

echo "== offscreen (drawing into memory only)"
QT_QPA_PLATFORM=offscreen "$bench" --seconds "$seconds" --no-view
QT_QPA_PLATFORM=offscreen "$bench" --seconds "$seconds"

if command -v Xvfb >/dev/null; then
  echo "== Xvfb (each frame also goes to the X server)"
  source scripts/xvfb.sh
  XVFB_SCREEN=1920x1080x24 start_xvfb
  trap 'kill "$xvfb_pid" 2>/dev/null || true' EXIT
  QT_QPA_PLATFORM=xcb "$bench" --seconds "$seconds"
  # The X server draws what it is sent: its own CPU is part of the cost of a frame.
  ticks=$(getconf CLK_TCK)
  read -r u1 s1 < <(awk '{print $14, $15}' "/proc/$xvfb_pid/stat")
  QT_QPA_PLATFORM=xcb "$bench" --seconds "$seconds" >/dev/null
  read -r u2 s2 < <(awk '{print $14, $15}' "/proc/$xvfb_pid/stat")
  python3 -c "print(f'  Xvfb itself over that run: {100 * (($u2 - $u1) + ($s2 - $s1)) / $ticks / ($seconds + 1):.2f} % of one core')"
fi
