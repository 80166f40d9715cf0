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
import os, sys
from measure import medians
from scaling_chart import events_of, write_chart

info, work = sys.argv[1], sys.argv[2]


print("%9s %8s %8s %10s %11s %11s" % ("events", "size_MB", "cat_ms", "info_cpu_s", "info_wall_s",
                                      "info_rss_MB"))
cpu, rss = [], []
for total in (20000, 200000, 2000000):
    chart = os.path.join(work, "chart%d.bms" % total)
    write_chart(chart, total, ["#TITLE scaling %d" % total, "#ARTIST bench", "#BPM 150"])
    # Measured first: a child forked while this process holds a large output would count that
    # memory as its own peak.
    cat_wall, _, _ = medians(["cat", chart])
    wall, c, r = medians([info, chart])
    events = events_of([info, chart], work)
    cpu.append(c)
    rss.append(r)
    print("%9d %8.1f %8.1f %10.3f %11.3f %11.1f" % (events, os.path.getsize(chart) / 2**20,
                                                   cat_wall * 1000, c, wall, r / 1024))
print("growth 20k -> 200k -> 2M: CPU x %.1f, x %.1f; peak memory x %.2f, x %.2f"
      % (cpu[1] / cpu[0], cpu[2] / cpu[1], rss[1] / rss[0], rss[2] / rss[1]))
PY
