#!/usr/bin/env bash
# What the limiter and --normalize do to loud renders: for the demo chart and a generated dense
# chart (32 full-scale noise sounds, eight of them at a time), the peak of carvel-render's output,
# its full-scale samples (|s| = 32767) and its samples above -1 dBFS (|s| > 29204), limited (the
# default) and with --normalize, and optionally with an earlier carvel-render that had no limiter.
# Usage: bench/loudness.sh [BUILD_DIR] [BASE_TOOLS_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/release}")
base=${2:+$(realpath "$2")}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
PYTHONPATH=bench python3 - "$work/dense" <<'PY'
import os, random, sys
from noise_wav import write_noise
folder = sys.argv[1]
os.makedirs(folder)
rng = random.Random(3)
lines = ["#TITLE dense", "#BPM 150"]
for i in range(1, 33):
    write_noise(os.path.join(folder, "n%02d.wav" % i), 8820, 1, 44100, rng)
    lines.append("#WAV%02X n%02d.wav" % (i, i))
channels = [11, 12, 13, 14, 15, 16, 21, 22]
for m in range(16):
    for k, c in enumerate(channels):
        lines.append("#%03d%02d:%s" % (m, c, "".join("%02X" % (1 + (m + k + j) % 32) for j in range(4))))
with open(os.path.join(folder, "dense.bms"), "w") as f:
    f.write("\n".join(lines) + "\n")
PY
count() {  # WAV file: peak, full-scale samples, samples above -1 dBFS
    python3 - "$1" <<'PY'
import array, sys, wave
with wave.open(sys.argv[1]) as w:
    s = array.array("h", w.readframes(w.getnframes()))
peak = max(max(s), -min(s))
print("%6d %10d %10d %10d" % (peak, sum(1 for x in s if x in (32767, -32767, -32768)),
                               sum(1 for x in s if abs(x) > 29204), len(s)))
PY
}
printf '%-8s %-12s %6s %10s %10s %10s\n' chart render peak full-scale '>-1 dBFS' samples
for chart in "$build/demo/demo.bms" "$work/dense/dense.bms"; do
    name=$(basename "$chart" .bms)
    if [ -n "$base" ]; then
        "$base/carvel-render" "$chart" "$work/o.wav" 2>/dev/null
        printf '%-8s %-12s %s\n' "$name" earlier "$(count "$work/o.wav")"
    fi
    "$build/tools/carvel-render" "$chart" "$work/o.wav" 2>/dev/null
    printf '%-8s %-12s %s\n' "$name" limited "$(count "$work/o.wav")"
    gain=$("$build/tools/carvel-render" --normalize "$chart" "$work/o.wav" 2>&1 | tail -n 1)
    printf '%-8s %-12s %s  %s\n' "$name" --normalize "$(count "$work/o.wav")" "$gain"
done
