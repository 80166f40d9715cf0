#!/usr/bin/env bash
# Cold start of the program to its shown playlist window, with a list file of 5,000 entries, under
# Xvfb, against a minimal Qt Widgets program that shows one empty window: the median of 5 starts
# of each (time until the window is mapped, polled every few milliseconds) and their ratio.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/release}")
entries=${2:-5000}
work=$(mktemp -d)
cp "$build/app/carvel" "$build/bench/minimal_window" "$work/"
python3 -c "
import sys
with open('$work/cuebook.dat', 'wb') as f:
    for i in range($entries):
        f.write(('曲 %d>/music/charts/folder %d/chart.bms\r\n' % (i, i)).encode('utf-8'))"
source scripts/xvfb.sh
start_xvfb
xvfb=$xvfb_pid
# An X server resets when its last client leaves, and a program started during the reset cannot
# connect: one client stays connected throughout.
xdotool sleep 86400 &
holder=$!
trap 'kill "$holder" "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT
export SDL_AUDIODRIVER=dummy HOME=$work XDG_RUNTIME_DIR=$work
python3 - "$work" <<'PY'
import os, subprocess, sys, time


def start_once(program, title):
    start = time.monotonic()
    app = subprocess.Popen([program], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while True:
        r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title],
                           capture_output=True)
        if r.stdout.strip():
            break
        if app.poll() is not None or time.monotonic() - start > 10:
            sys.exit("no window of %s appeared (exit status %s)" % (program, app.poll()))
    elapsed = (time.monotonic() - start) * 1000
    app.kill()
    app.wait()
    return elapsed


# The two programs take turns, so that a change in the machine's load falls on both.
work = sys.argv[1]
carvel, minimal = [], []
for run in range(5):
    carvel.append(start_once(os.path.join(work, "carvel"), "BMS"))
    minimal.append(start_once(os.path.join(work, "minimal_window"), "^minimal$"))
for label, times in (("start-up to a shown playlist window", carvel),
                     ("start-up of a minimal Qt window", minimal)):
    times.sort()
    print(label + ": " + ", ".join("%.0f" % t for t in times) + " ms; median %.0f ms" % times[2])
print("ratio of the medians: %.2f" % (carvel[2] / minimal[2]))
PY
