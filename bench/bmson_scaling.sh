#!/usr/bin/env bash
# One chart of 2,048,000 notes written twice, as bmson and as BMS: 1,000 measures, 8 lanes, 256
# notes a lane and measure, sounds 1-255 naming missing files, a tempo change every 10 measures.
# Prints carvel-info --full's CPU (user + system), wall time and peak memory on each (medians of 5,
# page cache warm), and that both list the same events.
# Usage: bench/bmson_scaling.sh [BUILD_DIR]
set -euo pipefail
build=$(realpath "${1:-$(dirname "$0")/../build/release}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The charts are written by one process and measured from another, so that the measuring process
# (whose size a forked child starts with) stays small.
python3 - "$work" <<'PY'
import json, os, random, sys

work = sys.argv[1]
rng = random.Random(1)
lanes = ["11", "12", "13", "14", "15", "18", "19", "16"]  # bmson lanes 1-8 of beat-7k
notes = {s: [] for s in range(1, 256)}
DIGITS = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"
def base36(v):
    return DIGITS[v // 36] + DIGITS[v % 36]
bms = ["#TITLE bmson scaling", "#BPM 150"] + ["#WAV%s m%03d.wav" % (base36(s), s)
                                              for s in range(1, 256)]
bpm_events = []
for m in range(1000):
    if m % 10 == 5:
        bpm = rng.randint(100, 200)
        bms.append("#%03d03:%02X" % (m, bpm))
        bpm_events.append({"y": m * 1024, "bpm": bpm})
    for lane, channel in enumerate(lanes, 1):
        values = [rng.randint(1, 255) for _ in range(256)]
        bms.append("#%03d%s:%s" % (m, channel, "".join(base36(v) for v in values)))
        for k, v in enumerate(values):
            notes[v].append({"x": lane, "y": m * 1024 + 4 * k})
bmson = {"version": "1.0.0",
         "info": {"title": "bmson scaling", "init_bpm": 150, "resolution": 256},
         "bpm_events": bpm_events,
         "sound_channels": [{"name": "m%03d.wav" % s, "notes": notes[s]} for s in range(1, 256)]}
with open(os.path.join(work, "c.bmson"), "w") as f:
    json.dump(bmson, f, separators=(",", ":"))
with open(os.path.join(work, "c.bms"), "w") as f:
    f.write("\n".join(bms) + "\n")
PY
PYTHONPATH=$(dirname "$0") python3 - "$build/tools/carvel-info" "$work" <<'PY'
import os, subprocess, sys
from measure import medians

info, work = sys.argv[1], sys.argv[2]
paths = {"bmson": os.path.join(work, "c.bmson"), "BMS": os.path.join(work, "c.bms")}
print("%6s %8s %8s %8s %8s" % ("", "size_MB", "cpu_s", "wall_s", "peak_MB"))
for kind, path in paths.items():
    wall, cpu, rss = medians([info, "--full", path])
    print("%6s %8.1f %8.3f %8.3f %8.1f" % (kind, os.path.getsize(path) / 2**20, cpu, wall,
                                           rss / 1024))
# Only now, since a child starts as large as this process.
listings = {}
for kind, path in paths.items():
    out = subprocess.run([info, "--full", path], capture_output=True, text=True).stdout
    listings[kind] = out[out.index("events: "):]
print("same events:", listings["bmson"] == listings["BMS"],
      "(%s)" % listings["BMS"].split("\n", 1)[0])
PY
