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
import os, sys
from measure import medians
from scaling_chart import events_of, write_chart

info, work = sys.argv[1], sys.argv[2]
definitions = ["#BPM%02d %s" % (i, v) for i, v in enumerate(["120", "145.5", "181.25", "200"], 1)]
definitions += ["#STOP%02d %s" % (i, v) for i, v in enumerate(["48", "96", "12.5"], 1)]


def timing_lines(m, rng):
    # A tempo change in every measure, on 03 or 08, and a stop in every third.
    lines = ["#%03d03:00%02X" % (m, rng.randint(90, 250)) if m % 2 else
             "#%03d08:000%d" % (m, rng.randint(1, 4))]
    if m % 3 == 0:
        lines.append("#%03d09:00000%d00" % (m, rng.randint(1, 3)))
    return lines


print("%17s %8s | %8s %8s %8s | %8s %8s %8s | %6s" % (
    "events", "size_MB", "cls_cpu", "cls_wall", "cls_MB", "full_cpu", "full_wall", "full_MB",
    "ratio"))
for total in (20000, 200000, 2000000):
    chart = os.path.join(work, "chart%d.bms" % total)
    header = ["#TITLE full scaling %d" % total, "#ARTIST bench", "#BPM 150.5"]
    write_chart(chart, total, header, definitions, timing_lines)
    # Through a shell that execs the tool with its note on stderr silenced.
    quiet = ["sh", "-c", 'exec "$0" "$@" 2>/dev/null', info]
    classic = medians(quiet + [chart])
    full = medians(quiet + ["--full", "--seed", "1", chart])
    n_classic = events_of([info, chart], work)
    n_full = events_of([info, "--full", chart], work)
    print("%17s %8.1f | %8.3f %8.3f %8.1f | %8.3f %8.3f %8.1f | %6.2f" % (
        "%d/%d" % (n_classic, n_full), os.path.getsize(chart) / 2**20, classic[1], classic[0],
        classic[2] / 1024, full[1], full[0], full[2] / 1024, full[1] / classic[1]))
PY
