#!/usr/bin/env bash
# carvel-info on the 2,000,000-event chart of full_scaling.sh (tempo changes, stops, bar lengths),
# classic and --full, against a `cat` of the file, optionally beside an earlier build's carvel-info
# in the same run. Prints CPU (user + system), wall time and peak memory, medians of 7 runs with
# the page cache warm, and CPU as a multiple of cat's wall time. The peak is GNU time's: the one
# that wait4 gives this script also counts the pages of the Python process the command was forked
# from (48 MB once it has written the chart), which hid every peak below that. `carvel-info
# --version` is timed too.
# Usage: bench/read_speed.sh [BUILD_DIR [BASE_BUILD_DIR]]     (BUILD_DIR: build/release)
set -euo pipefail
build=$(realpath "${1:-$(dirname "$0")/../build/release}")
base=${2:+$(realpath "$2")}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
PYTHONPATH=$(dirname "$0") python3 - "$work" "$build/tools/carvel-info" ${base:+"$base/tools/carvel-info"} <<'PY'
import os, statistics, sys
from measure import medians as measure_medians, run_once
from scaling_chart import write_chart

work, infos = sys.argv[1], sys.argv[2:]
definitions = ["#BPM%02d %s" % (i, v) for i, v in enumerate(["120", "145.5", "181.25", "200"], 1)]
definitions += ["#STOP%02d %s" % (i, v) for i, v in enumerate(["48", "96", "12.5"], 1)]


def timing_lines(m, rng):
    lines = ["#%03d03:00%02X" % (m, rng.randint(90, 250)) if m % 2 else
             "#%03d08:000%d" % (m, rng.randint(1, 4))]
    if m % 3 == 0:
        lines.append("#%03d09:00000%d00" % (m, rng.randint(1, 3)))
    return lines


chart = os.path.join(work, "chart.bms")
write_chart(chart, 2000000, ["#TITLE read speed", "#ARTIST bench", "#BPM 150.5"], definitions,
            timing_lines)
runs = 7
peak_file = os.path.join(work, "peak")


def medians(argv, runs):
    """Wall and CPU time from wait4 of the command itself, then the peak resident memory in KiB
    from GNU time in runs of their own (the wrapper would add its start to the times)."""
    wall, cpu, _ = measure_medians(argv, runs)
    peaks = []
    for _ in range(runs):
        run_once(["/usr/bin/time", "-f", "%M", "-o", peak_file] + argv)
        with open(peak_file) as f:
            peaks.append(int(f.read().split()[-1]))
    return wall, cpu, statistics.median(peaks)


cat_wall, cat_cpu, cat_rss = medians(["cat", chart], runs)
print("chart: %.1f MB; cat: wall %.1f ms, CPU %.1f ms, peak %.1f MB" % (
    os.path.getsize(chart) / 2**20, cat_wall * 1000, cat_cpu * 1000, cat_rss / 1024))
print("%-8s %-8s %8s %8s %8s %8s" % ("build", "reading", "cpu_s", "wall_s", "peak_MB", "x_cat"))
versions = []
for name, info in zip(["current", "base"], infos):
    quiet = ["sh", "-c", 'exec "$0" "$@" 2>/dev/null', info]
    for reading, extra in (("classic", []), ("full", ["--full", "--seed", "1"])):
        wall, cpu, rss = medians(quiet + extra + [chart], runs)
        print("%-8s %-8s %8.3f %8.3f %8.1f %8.0f" % (name, reading, cpu, wall, rss / 1024,
                                                   cpu / cat_wall))
    wall, cpu, rss = medians([info, "--version"], runs)
    versions.append("%s --version: wall %.1f ms, CPU %.1f ms, peak %.1f MB" % (
        name, wall * 1000, cpu * 1000, rss / 1024))
print("\n".join(versions))
PY
