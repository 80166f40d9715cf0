#!/usr/bin/env bash
# Starts Carvel under Xvfb on the demo chart, opens the picture area, and saves screenshots of the
# player window and the playlist window into docs/.
# Usage: scripts/screenshot.sh [BUILD_DIR]   (needs xvfb, xdotool and imagemagick)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
source scripts/xvfb.sh
start_xvfb
xvfb=$xvfb_pid
home=$(mktemp -d)
trap 'kill "$app" "$xvfb" 2>/dev/null || true; rm -rf "$home"' EXIT
export SDL_AUDIODRIVER=dummy HOME=$home XDG_DATA_HOME=$home/data XDG_RUNTIME_DIR=$home
"$build/app/carvel" "$build/demo/demo.bms" &
app=$!
player=$(wait_window '^Orv Carvel$')
xdotool windowmove "$player" 20 20
sleep 0.5
# Untick "compact", then tick "BGA" (positions in the window's own pixels at 96 DPI).
xdotool mousemove --window "$player" 100 16 click 1
sleep 0.3
xdotool mousemove --window "$player" 190 16 click 1
sleep 4
import -window "$player" docs/player-window.png
kill "$app"
wait "$app" 2>/dev/null || true

# The playlist window, after a search of a folder holding the demo and an Add.
cp -r "$build/demo" "$home/demo"
"$build/app/carvel" &
app=$!
playlist=$(wait_window 'BMSのﾘｽﾄ')
xdotool windowmove "$playlist" 20 20
sleep 0.5
xdotool mousemove --window "$playlist" 320 248 click 1   # 検索
sleep 2
xdotool mousemove --window "$playlist" 300 32 click 1    # the first found chart
xdotool mousemove --window "$playlist" 216 44 click 1    # <- 追加
sleep 0.5
import -window "$playlist" docs/playlist-window.png
echo "saved docs/player-window.png and docs/playlist-window.png"
