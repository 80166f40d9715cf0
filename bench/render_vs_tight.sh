#!/usr/bin/env bash
# carvel-render against tight_mix, the least work the same render needs: a chart of 250 WAVs
# (mono and stereo, 0.05 to 0.8 s) and 5,000 sound events at one tempo without bar lengths, so
# every start frame follows from the event table alone. Both run 5 times (medians of wall and CPU
# time); the two WAVs must be identical, and where they are not the script says how they differ.
# All sounds are 16-bit at 44,100 Hz, so every sum of samples is exact in float whatever the order
# of the voices. With `mixed` as second argument two fifths of them are at 22,050 and 48,000 Hz:
# the rate conversion is then timed too, but sums of converted samples round differently in
# another order of addition, and a few samples may differ by one step.
set -euo pipefail
build=$(realpath "${1:-$(dirname "$0")/../build/release}")
rates=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
PYTHONPATH=$(dirname "$0") python3 - "$build" "$work" "$rates" <<'PY'
import filecmp, os, random, subprocess, sys, wave
from array import array
from measure import medians
from noise_wav import write_noise

build, work = sys.argv[1], sys.argv[2]
info = os.path.join(build, "tools", "carvel-info")
render = os.path.join(build, "tools", "carvel-render")
tight = os.path.join(build, "bench", "tight_mix")
RATE = 44100
BPM = 137  # an odd tempo: no start falls on half a frame, where rounding could go either way
SOUNDS = 250
rates = (22050, 48000, RATE, RATE, RATE) if sys.argv[3] == "mixed" else (RATE,)
SOUND_CHANNELS = {"1", "11", "12", "13", "14", "15", "16", "21", "22", "23", "24", "25", "26"}

rng = random.Random(5)
lines = ["#PLAYER 1", "#TITLE tight", "#BPM %d" % BPM]
for i in range(1, SOUNDS + 1):
    name = "s%03d.wav" % i
    write_noise(os.path.join(work, name), rng.randint(RATE // 20, RATE * 8 // 10), 1 + i % 2,
                rates[i % len(rates)], rng, quiet=True)
    lines.append("#WAV%02X %s" % (i, name))
# 125 measures of 4 lines with 10 notes among 16 slots: 5,000 sound events.
for m in range(125):
    for channel in rng.sample(sorted(SOUND_CHANNELS), 4):
        slots = set(rng.sample(range(16), 10))
        data = "".join("%02X" % rng.randint(1, SOUNDS) if s in slots else "00" for s in range(16))
        lines.append("#%03d%02d:%s" % (m, int(channel), data))
chart = os.path.join(work, "tight.bms")
with open(chart, "w", newline="\r\n") as f:
    f.write("\n".join(lines) + "\n")

out = subprocess.run([info, chart], check=True, capture_output=True, text=True).stdout.split("\n")
start = next(i for i, l in enumerate(out) if l.startswith("events: "))
events = out[start + 1:start + 1 + int(out[start].split()[1])]
with open(os.path.join(work, "sounds.txt"), "w") as f:
    f.write("".join(os.path.join(work, "s%03d.wav" % i) + "\n" for i in range(1, SOUNDS + 1)))
starts = 0
with open(os.path.join(work, "events.txt"), "w") as f:
    for e in events:
        fields = e.split(",")
        if fields[1] in SOUND_CHANNELS:
            ms = float(e[:6]) * 1250 / BPM
            f.write("%d %d\n" % (int(ms * RATE / 1000 + 0.5), int(fields[2]) - 1))
            starts += 1

render_out = os.path.join(work, "render.wav")
tight_out = os.path.join(work, "tight.wav")
r_wall, r_cpu, _ = medians([render, chart, render_out])
t_wall, t_cpu, _ = medians([tight, os.path.join(work, "sounds.txt"),
                            os.path.join(work, "events.txt"), tight_out])
with wave.open(render_out) as w:
    seconds = w.getnframes() / w.getframerate()
print("%d sounds (%s), %d sound events, %.1f s of sound (medians of 5)"
      % (SOUNDS, "2 in 5 at 22,050 or 48,000 Hz" if len(rates) > 1 else "44,100 Hz", starts, seconds))
print("%-14s %8s %8s" % ("", "wall_s", "cpu_s"))
print("%-14s %8.3f %8.3f" % ("carvel-render", r_wall, r_cpu))
print("%-14s %8.3f %8.3f" % ("tight_mix", t_wall, t_cpu))
print("%-14s %8.2f %8.2f" % ("ratio", r_wall / t_wall, r_cpu / t_cpu))


def samples(path):
    with wave.open(path) as w:
        a = array("h")
        a.frombytes(w.readframes(w.getnframes()))
        return a


if filecmp.cmp(render_out, tight_out, shallow=False):
    print("outputs: identical")
    sys.exit(0)
a, b = samples(render_out), samples(tight_out)
common = min(len(a), len(b))
diffs = [i for i in range(common) if a[i] != b[i]]
print("outputs DIFFER: carvel-render %d frames, tight_mix %d frames" % (len(a) // 2, len(b) // 2))
if diffs:
    print("  %d of the common samples differ, by at most %d; the first at frame %d"
          % (len(diffs), max(abs(a[i] - b[i]) for i in diffs), diffs[0] // 2))
longer = a if len(a) > len(b) else b
if len(a) != len(b) and not any(longer[common:]):
    print("  the longer one goes on with %d frames of silence" % ((len(longer) - common) // 2))
sys.exit(1)
PY
