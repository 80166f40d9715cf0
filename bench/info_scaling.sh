#!/usr/bin/env bash
# How carvel-info grows with the size of a classic chart: charts of 20,000, 200,000 and 2,000,000
# events over measures 000-999 (the sound channels, 01, 04 and 07, a few bar lengths, a few #WAV
# lines naming missing files). Prints, per chart, its size, a plain `cat` of it for scale and
# carvel-info's CPU (user + system), wall time and peak memory, each the median of 5 runs with the
# page cache warm, then the growth from one size to the next.
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
    # Each bar length becomes one event of its own, so the notes make up the rest.
    rng = random.Random(total)
    notes = total - len(bar_lengths)
    lines = ["#PLAYER 1", "#TITLE scaling %d" % total, "#ARTIST bench", "#BPM 150"]
    lines += ["#WAV%02X missing%02d.wav" % (i, i) for i in range(1, 9)]
    for m in range(1000):
        if m in bar_lengths:
            lines.append("#%03d02:%s" % (m, bar_lengths[m]))
        events = notes // 1000 + (1 if m < notes % 1000 else 0)
        count = math.ceil(events / 64)
        for k in range(count):
            n = events // count + (1 if k < events % count else 0)
            # n notes on every other slot of a division of 2n
            data = "".join("%02X00" % rng.randint(1, 255) for _ in range(n))
            lines.append("#%03d%s:%s" % (m, channels[(m + k) % len(channels)], data))
    with open(path, "w", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")


print("%9s %8s %8s %10s %11s %11s" % ("events", "size_MB", "cat_ms", "info_cpu_s", "info_wall_s",
                                      "info_rss_MB"))
cpu, rss = [], []
for total in (20000, 200000, 2000000):
    chart = os.path.join(work, "chart%d.bms" % total)
    write_chart(chart, total)
    # Measured first: a child forked while this process holds a large output would count that
    # memory as its own peak.
    cat_wall, _, _ = medians(["cat", chart])
    wall, c, r = medians([info, chart])
    listing = os.path.join(work, "listing.txt")
    with open(listing, "w") as f:
        subprocess.run([info, chart], check=True, stdout=f)
    with open(listing) as f:
        events = int(next(l for l in f if l.startswith("events: ")).split()[1])
    cpu.append(c)
    rss.append(r)
    print("%9d %8.1f %8.1f %10.3f %11.3f %11.1f" % (events, os.path.getsize(chart) / 2**20,
                                                   cat_wall * 1000, c, wall, r / 1024))
print("growth 20k -> 200k -> 2M: CPU x %.1f, x %.1f; peak memory x %.2f, x %.2f"
      % (cpu[1] / cpu[0], cpu[2] / cpu[1], rss[1] / rss[0], rss[2] / rss[1]))
PY
