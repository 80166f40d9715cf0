#!/usr/bin/env bash
# Pictures against their sounds in the real program: plays the demo under Xvfb with SDL's disk
# audio driver for 20 s with the pictures on. CARVEL_PICTURE_LOG makes the program log, for every
# picture it shows, its due time and the output clock when it was handed to the picture area; the
# sound is the recorded output itself. The demo's click track (left minus right) has a click on
# every beat, so every picture change (once a measure) has a click due at the same time; its
# onset frame in the recording is its time on the output clock, and it is heard one callback
# block (512 frames) later on a real card. Prints, over all picture changes, how far each picture
# was shown from the moment its click is heard.
# Usage: bench/picture_sync.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/release}")
work=$(mktemp -d)
mkdir -p "$work/bin" "$work/run"
chmod 700 "$work/run"
cp "$build/app/carvel" "$work/bin/"
source scripts/xvfb.sh
start_xvfb
xvfb=$xvfb_pid
app=
trap 'kill $app "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT
export HOME=$work XDG_RUNTIME_DIR=$work/run SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$work/out.raw
CARVEL_PICTURE_LOG=$work/pictures.log "$work/bin/carvel" "$build/demo/demo.bms" >"$work/log" 2>&1 &
app=$!
player=$(wait_window '^Orv Carvel$')
xdotool mousemove --window "$player" 100 16 click 1   # compact off
sleep 0.3
xdotool mousemove --window "$player" 190 16 click 1   # BGA on
sleep 20
kill -TERM "$app"
wait "$app" || true
app=
python3 - "$work" <<'PY'
import struct, statistics, sys
work = sys.argv[1]
rate, block = 44100, 512
raw = open(work + "/out.raw", "rb").read()
samples = struct.unpack("<%df" % (len(raw) // 4), raw)
diff = [(samples[i] - samples[i + 1]) / 2 for i in range(0, len(samples) - 1, 2)]
onsets, i = [], 0
while i < len(diff):
    if abs(diff[i]) > 0.25:
        onsets.append(i * 1000 / rate)  # the click's first loud frame, in output-clock ms
        i += 40
    else:
        i += 1
heard_after = block * 1000 / rate
offsets, lead_before = [], []
for line in open(work + "/pictures.log"):
    due, shown = map(float, line.split())
    # The click due with this picture starts 35 ms (the output latency) after its due time.
    near = [o for o in onsets if abs(o - (due + 35)) < 20]
    if not near:
        continue
    heard = min(near, key=lambda o: abs(o - (due + 35))) + heard_after
    offsets.append(shown - heard)
    lead_before.append(due - heard)
if not offsets:
    sys.exit("no picture change matched a click")
print("picture changes matched to their click: %d" % len(offsets))
print("picture shown minus its sound heard: median %+.1f ms, from %+.1f to %+.1f ms, "
      "largest distance %.1f ms" % (statistics.median(offsets), min(offsets), max(offsets),
                                    max(abs(o) for o in offsets)))
print("shown at the due time instead (the build before): median %+.1f ms" %
      statistics.median(lead_before))
PY
