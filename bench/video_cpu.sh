#!/usr/bin/env bash
# CPU use and peak memory of the program while a chart plays a video BGA, under Xvfb (1920x1080),
# with the picture area open: (a) a 256x256 MPEG-1 video at 30 fps, (b) a 1280x720 H.264 video at
# 60 fps, (c) the same as (b) in the BGA window made full screen. Reports the process's user +
# system time over 30 s of playing (sound, pictures and video together) as % of one core, and its
# peak resident memory. The videos are made with the ffmpeg command (installed for the bench).
# Usage: bench/video_cpu.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/release}")
scripts/install-deps.sh ffmpeg xdotool >/dev/null
work=$(mktemp -d)
ffmpeg -loglevel error -f lavfi -i testsrc2=size=256x256:rate=30 -t 45 -c:v mpeg1video -q:v 4 \
  "$work/small.mpg"
ffmpeg -loglevel error -f lavfi -i testsrc2=size=1280x720:rate=60 -t 45 -c:v libx264 \
  -preset veryfast -pix_fmt yuv420p "$work/hd.mp4"
python3 - "$work" <<'PY'
import os, struct, sys
work = sys.argv[1]
rate, n = 44100, 2205
tick = b"".join(struct.pack("<hh", 12000 if i < 200 else 0, 12000 if i < 200 else 0) for i in range(n))
header = struct.pack("<4sI4s4sIHHIIHH4sI", b"RIFF", 36 + len(tick), b"WAVE", b"fmt ", 16, 1, 2,
                     rate, rate * 4, 4, 16, b"data", len(tick))
open(os.path.join(work, "tick.wav"), "wb").write(header + tick)
for name, video in (("small", "small.mpg"), ("hd", "hd.mp4")):
    lines = ["#TITLE video", "#BPM 120", "#WAV01 tick.wav", "#BMP01 " + video, "#00004:01"]
    for m in range(23):
        lines.append("#%03d01:01010101" % m)
    open(os.path.join(work, name + ".bms"), "w").write("\r\n".join(lines) + "\r\n")
PY
cp "$build/app/carvel" "$work/"
source scripts/xvfb.sh
XVFB_SCREEN=1920x1080x24 start_xvfb
xvfb=$xvfb_pid
app=
trap 'kill $app "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT
ticks=$(getconf CLK_TCK)

measure() {  # NAME CHART FULLSCREEN
  rm -rf "$work/home" && mkdir -p "$work/home/run" && chmod 700 "$work/home/run"
  HOME=$work/home XDG_RUNTIME_DIR=$work/home/run SDL_AUDIODRIVER=dummy \
    "$work/carvel" --full "$work/$2" >/dev/null 2>&1 &
  app=$!
  local player
  player=$(wait_window '^Orv Carvel$')
  xdotool mousemove --window "$player" 100 16 click 1   # compact off
  sleep 0.3
  xdotool mousemove --window "$player" 190 16 click 1   # BGA on
  if [ "$3" = yes ]; then
    sleep 0.3
    xdotool mousemove --window "$player" 380 140 click --repeat 2 1   # the BGA window
    local bga
    bga=$(wait_window '^BGA$')
    xdotool key --window "$bga" F11
  fi
  sleep 3
  read -r u1 s1 < <(awk '{print $14, $15}' "/proc/$app/stat")
  sleep 30
  read -r u2 s2 < <(awk '{print $14, $15}' "/proc/$app/stat")
  local peak
  peak=$(awk '/VmHWM/ {print $2}' "/proc/$app/status")
  kill -TERM "$app"
  wait "$app" || true
  app=
  python3 -c "
u, s = ($u2 - $u1) / $ticks, ($s2 - $s1) / $ticks
print(f'$1: {100 * (u + s) / 30:.1f} % of one core (user {u:.2f} s + system {s:.2f} s over 30 s), peak memory {$peak / 1024:.0f} MiB')"
}

measure "(a) 256x256 MPEG-1 30 fps" small.bms no
measure "(b) 1280x720 H.264 60 fps" hd.bms no
measure "(c) (b) in the full-screen BGA window, 1920x1080" hd.bms yes
