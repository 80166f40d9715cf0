#!/usr/bin/env bash
# A list file of 1,000,000 entries (about 90 MB): carvel is started on it under Xvfb, the time
# until its playlist window is mapped is taken (polled every few milliseconds), then it is closed as
# a session end does (SIGTERM), which saves the list; the time to that end, the peak resident memory
# of the whole run (/usr/bin/time) and whether the saved file is byte for byte the one read are
# printed.
# Usage: bench/list_file_scale.sh [BUILD_DIR] [ENTRIES]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/release}")
entries=${2:-1000000}
work=$(mktemp -d)
cp "$build/app/carvel" "$work/"
python3 - "$work/cuebook.dat" "$entries" <<'PY'
import sys
with open(sys.argv[1], "wb") as f:
    for i in range(int(sys.argv[2])):
        f.write(("曲 %d 〜 Another>/home/player/music/bms/Artist %d - Title/chart_%d.bms\r\n"
                 % (i, i % 977, i)).encode("utf-8"))
PY
before=$(sha256sum <"$work/cuebook.dat")
source scripts/xvfb.sh
start_xvfb
xvfb=$xvfb_pid
xdotool sleep 86400 &
holder=$!
trap 'kill "$holder" "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT
export SDL_AUDIODRIVER=dummy HOME=$work XDG_RUNTIME_DIR=$work
echo "list file: $entries entries, $(stat -c %s "$work/cuebook.dat") bytes"
python3 - "$work" <<'PY'
import os, signal, subprocess, sys, time
work = sys.argv[1]
start = time.monotonic()
app = subprocess.Popen(["/usr/bin/time", "-v", "-o", work + "/time.txt", work + "/carvel"],
                       stdout=subprocess.DEVNULL, stderr=open(work + "/log", "w"))
while not subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "BMS"],
                         capture_output=True).stdout.strip():
    if app.poll() is not None or time.monotonic() - start > 120:
        sys.exit("no window appeared (exit status %s)" % app.poll())
shown = time.monotonic()
print("start to the mapped playlist window: %.0f ms" % ((shown - start) * 1000))
# /usr/bin/time passes no signal on: the program is its only child.
child = int(subprocess.run(["pgrep", "-P", str(app.pid)], capture_output=True,
                           text=True).stdout.split()[0])
os.kill(child, signal.SIGTERM)
status = app.wait(timeout=120)
print("SIGTERM to the end (the list saved): %.0f ms, exit status %d"
      % ((time.monotonic() - shown) * 1000, status))
for line in open(work + "/time.txt"):
    if "Maximum resident set size" in line:
        print("peak resident memory: %.0f MiB" % (int(line.split()[-1]) / 1024))
PY
after=$(sha256sum <"$work/cuebook.dat")
if [ "$before" = "$after" ]; then
  echo "saved list: unchanged"
else
  echo "saved list: CHANGED" >&2
  exit 1
fi
