#!/usr/bin/env bash
# The full reading against the classic one on the same charts: 20,000, 200,000 and 2,000,000 events
# over measures 000-999 (the classic sound and picture channels with hexadecimal values, so both
# readings play every note), with a tempo change on channel 03 or 08 in every measure, a stop in
# every third measure (some where notes stand), a few bar lengths and #WAV lines naming missing
# files. Prints, per chart, carvel-info's CPU (user + system), wall time and peak memory in each
# mode, each the median of 5 runs with the page cache warm, and the CPU ratio full / classic.
set -euo pipefail
build=$(realpath "${1:-$(dirname "$0")/../build/release}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
PYTHONPATH=$(dirname "$0") python3 - "$build/tools/carvel-info" "$work" <<'PY'
import math, os, random, subprocess, sys
from measure import medians

info, work = sys.argv[1], sys.argv[2]
channels = ["11", "12", "13", "14", "15", "16", "21", "22", "23", "24", "25", "26", "01", "04", "07"]
bar_lengths = {100: "0.75", 333: "1.5", 500: "0.5", 777: "0.875", 900: "1.25"}


def write_chart(path, total):
    rng = random.Random(total)
    notes = total - len(bar_lengths)
    lines = ["#PLAYER 1", "#TITLE full scaling %d" % total, "#ARTIST bench", "#BPM 150.5"]
    lines += ["#WAV%02X missing%02d.wav" % (i, i) for i in range(1, 9)]
    lines += ["#BPM%02d %s" % (i, v) for i, v in enumerate(["120", "145.5", "181.25", "200"], 1)]
    lines += ["#STOP%02d %s" % (i, v) for i, v in enumerate(["48", "96", "12.5"], 1)]
    for m in range(1000):
        if m in bar_lengths:
            lines.append("#%03d02:%s" % (m, bar_lengths[m]))
        if m % 2:
            lines.append("#%03d03:00%02X" % (m, rng.randint(90, 250)))
        else:
            lines.append("#%03d08:000%d" % (m, rng.randint(1, 4)))
        if m % 3 == 0:
            lines.append("#%03d09:00000%d00" % (m, rng.randint(1, 3)))
        events = notes // 1000 + (1 if m < notes % 1000 else 0)
        count = math.ceil(events / 64)
        for k in range(count):
            n = events // count + (1 if k < events % count else 0)
            data = "".join("%02X00" % rng.randint(1, 255) for _ in range(n))
            lines.append("#%03d%s:%s" % (m, channels[(m + k) % len(channels)], data))
    with open(path, "w", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")


def events_of(argv):
    listing = os.path.join(work, "listing.txt")
    with open(listing, "w") as f:
        subprocess.run(argv, check=True, stdout=f, stderr=subprocess.DEVNULL)
    with open(listing) as f:
        return int(next(l for l in f if l.startswith("events: ")).split()[1])


print("%17s %8s | %8s %8s %8s | %8s %8s %8s | %6s" % (
    "events", "size_MB", "cls_cpu", "cls_wall", "cls_MB", "full_cpu", "full_wall", "full_MB",
    "ratio"))
for total in (20000, 200000, 2000000):
    chart = os.path.join(work, "chart%d.bms" % total)
    write_chart(chart, total)
    # Through a shell that execs the tool with its note on stderr silenced.
    quiet = ["sh", "-c", 'exec "$0" "$@" 2>/dev/null', info]
    classic = medians(quiet + [chart])
    full = medians(quiet + ["--full", "--seed", "1", chart])
    n_classic = events_of([info, chart])
    n_full = events_of([info, "--full", chart])
    print("%17s %8.1f | %8.3f %8.3f %8.1f | %8.3f %8.3f %8.1f | %6.2f" % (
        "%d/%d" % (n_classic, n_full), os.path.getsize(chart) / 2**20, classic[1], classic[0],
        classic[2] / 1024, full[1], full[0], full[2] / 1024, full[1] / classic[1]))
PY
