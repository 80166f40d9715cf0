#!/usr/bin/env bash
# Cold start of the program to its shown playlist window, with a list file of 5,000 entries, under
# Xvfb: the median of 5 starts (time until the window is mapped, polled every few milliseconds).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/release}")
entries=${2:-5000}
work=$(mktemp -d)
cp "$build/app/carvel" "$work/"
python3 -c "
import sys
with open('$work/cuebook.dat', 'wb') as f:
    for i in range($entries):
        f.write(('曲 %d>/music/charts/folder %d/chart.bms\r\n' % (i, i)).encode('utf-8'))"
source scripts/xvfb.sh
start_xvfb
xvfb=$xvfb_pid
trap 'kill "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT
export SDL_AUDIODRIVER=dummy HOME=$work XDG_RUNTIME_DIR=$work
python3 - "$work/carvel" <<'PY'
import subprocess, sys, time
times = []
for run in range(5):
    start = time.monotonic()
    app = subprocess.Popen([sys.argv[1]], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while True:
        r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "BMS"],
                           capture_output=True)
        if r.stdout.strip():
            break
        if time.monotonic() - start > 10:
            print("the window did not appear", r.stderr, app.poll()); sys.exit(1)
    times.append((time.monotonic() - start) * 1000)
    app.kill(); app.wait()
times.sort()
print("start-up to a shown playlist window: " + ", ".join("%.0f" % t for t in times) +
      " ms; median %.0f ms" % times[2])
PY
