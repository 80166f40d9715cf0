#!/usr/bin/env bash
# Video frames against their sounds in the real program, under Xvfb with SDL's disk audio driver.
# The chart plays a 30 fps video whose frames are dark but for a white flash every 15th frame
# (every 0.5 s), and a click on the left channel on every beat at 120 BPM (every 0.5 s), both from
# 0 s. CARVEL_PICTURE_LOG makes the program log, for every picture it shows, its due time and the
# output clock when it was handed to the picture area; a video frame's due time is its own time on
# that clock. The sound is the recorded output: a click's onset frame is its time on the output
# clock, and it is heard one callback block (512 frames) later on a real card. Prints, for the
# flash frames, how far each was shown from the moment its click is heard.
# Usage: bench/video_sync.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/release}")
scripts/install-deps.sh ffmpeg xdotool >/dev/null
work=$(mktemp -d)
mkdir -p "$work/run" && chmod 700 "$work/run"
python3 - "$work" <<'PY' | ffmpeg -loglevel error -f rawvideo -pix_fmt rgb24 -s 64x64 -r 30 -i - \
  -c:v mpeg4 -q:v 2 "$work/flash.avi"
import os, struct, sys
work = sys.argv[1]
for frame in range(30 * 25):
    value = 255 if frame % 15 == 0 else 30
    sys.stdout.buffer.write(bytes([value]) * (64 * 64 * 3))
rate, n = 44100, 4410
click = b"".join(struct.pack("<hh", 30000 if i < 100 else 0, 0) for i in range(n))
header = struct.pack("<4sI4s4sIHHIIHH4sI", b"RIFF", 36 + len(click), b"WAVE", b"fmt ", 16, 1, 2,
                     rate, rate * 4, 4, 16, b"data", len(click))
open(os.path.join(work, "click.wav"), "wb").write(header + click)
lines = ["#TITLE flashes", "#BPM 120", "#WAV01 click.wav", "#BMP01 flash.avi", "#00004:01"]
for m in range(12):
    lines.append("#%03d01:01010101" % m)
open(os.path.join(work, "flash.bms"), "w").write("\r\n".join(lines) + "\r\n")
PY
cp "$build/app/carvel" "$work/"
source scripts/xvfb.sh
start_xvfb
xvfb=$xvfb_pid
app=
trap 'kill $app "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT
export HOME=$work XDG_RUNTIME_DIR=$work/run SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$work/out.raw
CARVEL_PICTURE_LOG=$work/pictures.log "$work/carvel" --full "$work/flash.bms" >"$work/log" 2>&1 &
app=$!
player=$(wait_window '^Orv Carvel$')
xdotool mousemove --window "$player" 100 16 click 1   # compact off
sleep 0.3
xdotool mousemove --window "$player" 190 16 click 1   # BGA on
sleep 22
kill -TERM "$app"
wait "$app" || true
app=
python3 - "$work" <<'PY'
import struct, statistics, sys
work = sys.argv[1]
rate, block = 44100, 512
raw = open(work + "/out.raw", "rb").read()
samples = struct.unpack("<%df" % (len(raw) // 4), raw)
left = [samples[i] for i in range(0, len(samples), 2)]
onsets, i = [], 0
while i < len(left):
    if abs(left[i]) > 0.25:
        onsets.append(i * 1000 / rate)  # the click's first loud frame, in output-clock ms
        i += 400
    else:
        i += 1
heard_after = block * 1000 / rate
offsets = []
for line in open(work + "/pictures.log"):
    due, shown = map(float, line.split())
    # The click due with this frame starts 35 ms (the output latency) after its due time; the
    # frames beside a flash are 33 ms away and match no click.
    near = [o for o in onsets if abs(o - (due + 35)) < 10]
    if not near:
        continue
    heard = near[0] + heard_after
    offsets.append(shown - heard)
if not offsets:
    sys.exit("no flash frame matched a click")
print("flash frames matched to their click: %d of %d clicks" % (len(offsets), len(onsets)))
print("frame shown minus its sound heard: median %+.1f ms, from %+.1f to %+.1f ms, "
      "largest distance %.1f ms (one video frame: 33.3 ms)" %
      (statistics.median(offsets), min(offsets), max(offsets), max(abs(o) for o in offsets)))
PY
