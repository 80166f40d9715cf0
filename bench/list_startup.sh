#!/usr/bin/env bash
# Start-up against the size of the list file, under Xvfb: carvel is started on an empty list file
# and on ones of 50,000 and 500,000 entries (about 50 bytes a line), each run until its playlist
# window is mapped (the X server's MapNotify), then closed as a session end does (SIGTERM, which
# saves the list). Printed per size: the start times and their median, the ratio of that median to
# the empty list's (and of the fastest start to the empty list's fastest, which a loaded machine
# disturbs less), the peak resident memory of the whole run (wait4, median) and whether every saved
# file was byte for byte the one read. The sizes take turns in a shuffled order, so that a change in
# the machine's load falls on all of them. With a second build folder, its carvel takes its turn
# beside ours, on the same files.
# Usage: bench/list_startup.sh [BUILD_DIR [BASE_BUILD_DIR]] (RUNS=5 and SIZES="0 50000 500000" in
# the environment change the runs and sizes)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/release}")
base=${2:+$(realpath "$2")}
work=$(mktemp -d)
sizes=${SIZES:-0 50000 500000}
for label in this ${base:+base}; do
  dir=$build
  [ "$label" = base ] && dir=$base
  for entries in $sizes; do
    mkdir -p "$work/$label-$entries"
    cp "$dir/app/carvel" "$work/$label-$entries/"
  done
done
for entries in $sizes; do
  python3 - "$work/list-$entries" "$entries" <<'PY'
import sys
with open(sys.argv[1], "wb") as f:
    for i in range(int(sys.argv[2])):
        f.write(("曲 %d>/music/charts/folder %d/chart.bms\r\n" % (i, i)).encode("utf-8"))
PY
done
source scripts/xvfb.sh
start_xvfb
xvfb=$xvfb_pid
# An X server resets when its last client leaves, and a program started during the reset cannot
# connect: one client stays connected throughout.
xdotool sleep 86400 &
holder=$!
trap 'kill "$holder" "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT
export SDL_AUDIODRIVER=dummy
python3 - "$work" "${RUNS:-5}" "$sizes" ${base:+base} <<'PY'
import filecmp, os, queue, random, re, shutil, signal, statistics, subprocess, sys, threading, time

work, runs, sizes = sys.argv[1], int(sys.argv[2]), [int(s) for s in sys.argv[3].split()]
labels = ["this"] + sys.argv[4:]

# The moment a window is mapped comes from the X server's MapNotify (xev on the root window), so
# no polling takes the processor from the program that starts.
xev = subprocess.Popen(["stdbuf", "-oL", "xev", "-root", "-event", "substructure"],
                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
mapped = queue.Queue()


def watch():
    at = None
    for line in xev.stdout:
        if line.startswith("MapNotify event"):
            at = time.monotonic()
        elif at is not None:
            found = re.search(r"window (0x[0-9a-f]+), override NO", line)
            if found:
                mapped.put((at, found.group(1)))
            at = None


threading.Thread(target=watch, daemon=True).start()
time.sleep(0.5)


def start_once(label, entries):
    folder = os.path.join(work, "%s-%d" % (label, entries))
    source = os.path.join(work, "list-%d" % entries)
    listed = os.path.join(folder, "cuebook.dat")
    shutil.copyfile(source, listed)
    env = dict(os.environ, HOME=folder, XDG_RUNTIME_DIR=folder)
    start = time.monotonic()
    app = subprocess.Popen([os.path.join(folder, "carvel")], env=env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    while True:
        try:
            at, window = mapped.get(timeout=0.1)
        except queue.Empty:
            if app.poll() is not None or time.monotonic() - start > 120:
                sys.exit("no window of %s appeared (exit status %s)" % (folder, app.poll()))
            continue
        name = subprocess.run(["xdotool", "getwindowname", window], capture_output=True,
                              text=True).stdout
        if at >= start and "BMS" in name:
            break
    shown = (at - start) * 1000
    app.send_signal(signal.SIGTERM)
    _, status, usage = os.wait4(app.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("%s ended with status %d" % (folder, os.waitstatus_to_exitcode(status)))
    return shown, usage.ru_maxrss / 1024, filecmp.cmp(source, listed, shallow=False)


# Every round starts each size of each build once, in an order of its own.
results = {(label, n): [] for label in labels for n in sizes}
turns = [(label, n) for n in sizes for label in labels]
order = random.Random(1)
try:
    for run in range(runs):
        order.shuffle(turns)
        for label, n in turns:
            results[(label, n)].append(start_once(label, n))
finally:
    xev.kill()
for label in labels:
    empty = statistics.median(t for t, _, _ in results[(label, sizes[0])])
    fastest = min(t for t, _, _ in results[(label, sizes[0])])
    print("%s build:" % label)
    for n in sizes:
        times = sorted(t for t, _, _ in results[(label, n)])
        median = statistics.median(times)
        peak = statistics.median(m for _, m, _ in results[(label, n)])
        same = all(s for _, _, s in results[(label, n)])
        print("  %7d entries (%5.1f MB): %s ms; median %.0f ms, x%.2f of %d entries "
              "(fastest x%.2f); peak %.1f MiB; saved list %s"
              % (n, os.path.getsize(os.path.join(work, "list-%d" % n)) / 1e6,
                 ", ".join("%.0f" % t for t in times), median, median / empty, sizes[0],
                 times[0] / fastest, peak, "unchanged" if same else "CHANGED"))
PY
