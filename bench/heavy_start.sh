#!/usr/bin/env bash
# How soon a heavy key-sound chart is heard: generated charts of 100, 1,000 and 3,000 Ogg Vorbis
# sounds (0.2 to 2 s each, 44,100 Hz stereo, sox) as bmson charts (the full reading), each sound
# played once, 8 to a measure of 2 s, the first at 0 s. For each, bench_heavy_start on SDL's disk output, taking turns: the load that
# plays as it decodes against the one that waits for every file, RUNS times each; medians of the
# time from open() to the first sound mixed and heard, the load's end and CPU, the peak memory
# against the sounds' size as 16-bit PCM. Then the 3,000-sound chart once more with two busy
# processes on the two cores, counting the waits for a sound still being decoded.
# usage: bench/heavy_start.sh [BUILD [RUNS]]
set -euo pipefail
build=$(realpath "${1:-$(dirname "$0")/../build/release}")
runs=${2:-5}
# HEAVY_DIR keeps the generated charts and sounds for the next run.
work=${HEAVY_DIR:-$(mktemp -d)}
mkdir -p "$work"
busy=()
trap 'kill "${busy[@]}" 2>/dev/null || true; [ -n "${HEAVY_DIR:-}" ] || rm -rf "$work"' EXIT
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null

[ -f "$work/heavy3000.pcm" ] || python3 - "$work" <<'PY'
import concurrent.futures, os, random, subprocess, sys
work = sys.argv[1]
RATE = 44100
DIGITS = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"
rng = random.Random(11)
os.mkdir(os.path.join(work, "sounds"))
frames = [rng.randint(RATE // 5, RATE * 2) for _ in range(3000)]
def encode(i):
    subprocess.run(["sox", "-R", "-r", str(RATE), "-c", "2", "-n",
                    os.path.join(work, "sounds", "s%04d.ogg" % i), "synth", "%ds" % frames[i],
                    "whitenoise", "synth", "%ds" % frames[i], "sine", "mix", str(110 + 7 * i),
                    "vol", "0.15"], check=True)
with concurrent.futures.ThreadPoolExecutor(2) as pool:
    list(pool.map(encode, range(3000)))
# bmson, whose sound channels are not bounded by two base-36 digits: channel i is sound s<i>.ogg,
# one note at 120 pulses (an eighth of a 2 s measure) times i.
import json
for count in (100, 1000, 3000):
    chart = {"version": "1.0.0",
             "info": {"title": "heavy %d" % count, "init_bpm": 120, "resolution": 240},
             "sound_channels": [{"name": "sounds/s%04d.ogg" % i,
                                 "notes": [{"x": 0, "y": 120 * i, "l": 0, "c": False}]}
                                for i in range(count)]}
    with open(os.path.join(work, "heavy%d.bmson" % count), "w") as f:
        json.dump(chart, f)
    with open(os.path.join(work, "heavy%d.pcm" % count), "w") as f:
        f.write(str(sum(frames[:count]) * 4))
PY

python3 - "$build/bench/bench_heavy_start" "$work" "$runs" <<'PY'
import re, statistics, subprocess, sys
bench, work, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
pattern = re.compile(r"mixed ([\d.-]+) ms, heard ([\d.-]+) ms; load ended ([\d.-]+) ms, "
                     r"CPU ([\d.]+) s; peak ([\d.]+) MiB \(before the chart ([\d.]+) MiB\); waits (\d+)")
for count in (100, 1000, 3000):
    chart = "%s/heavy%d.bmson" % (work, count)
    pcm = int(open("%s/heavy%d.pcm" % (work, count)).read()) / 2**20
    got = {"asdecoded": [], "whole": []}
    for _ in range(runs):
        for mode in got:
            out = subprocess.run([bench, chart, mode], check=True, capture_output=True,
                                 text=True).stdout
            got[mode].append([float(x) for x in pattern.search(out).groups()])
    print("%d sounds (%.1f MiB as 16-bit PCM), medians of %d:" % (count, pcm, runs))
    for mode, rows in got.items():
        m = [statistics.median(col) for col in zip(*rows)]
        print("  %-9s first sound mixed %7.1f ms, heard %7.1f ms; load ended %7.1f ms, CPU %.2f s;"
              " peak %.1f MiB (%.1f over the start, %.2f x the sounds); waits %d" % (
                  mode, m[0], m[1], m[2], m[3], m[4], m[4] - m[5], (m[4] - m[5]) / pcm, max(r[6] for r in rows)))
PY

echo "3000 sounds with two busy processes beside:"
for _ in 1 2; do (while :; do :; done) & busy+=($!); done
"$build/bench/bench_heavy_start" "$work/heavy3000.bmson" asdecoded
"$build/bench/bench_heavy_start" "$work/heavy3000.bmson" asdecoded
