#!/usr/bin/env bash
# A second `carvel CHART` while the first runs, under Xvfb on a private session bus: for each of
# 5 charts, the time from starting the second program until the first plays the chart (seen
# through its MPRIS metadata, polled every few milliseconds; a chart is in the playlist before it
# plays), and until the second has ended. Then the first is closed as a session end does
# (SIGTERM), and its list file must hold all 5 charts.
# Usage: bench/second_instance.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/release}")
if [ -z "${SECOND_INSTANCE_BUS:-}" ]; then
  exec env SECOND_INSTANCE_BUS=1 dbus-run-session -- "$0" "$@" 2> >(grep -v 'fd limit' >&2)
fi
work=$(mktemp -d)
mkdir -p "$work/bin" "$work/run" "$work/charts"
chmod 700 "$work/run"
cp "$build/app/carvel" "$work/bin/"
cp "$build"/demo/*.wav "$build"/demo/*.bmp "$work/charts/"
for i in 1 2 3 4 5; do cp "$build/demo/demo.bms" "$work/charts/demo$i.bms"; done
source scripts/xvfb.sh
start_xvfb
xvfb=$xvfb_pid
first=
trap 'kill $first "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT
export HOME=$work XDG_RUNTIME_DIR=$work/run SDL_AUDIODRIVER=dummy
"$work/bin/carvel" >"$work/log" 2>&1 &
first=$!
wait_window 'BMSのﾘｽﾄ' >/dev/null
python3 - "$work" <<'PY'
import statistics, subprocess, sys, threading, time
work = sys.argv[1]
get = ["gdbus", "call", "--session", "--dest", "org.mpris.MediaPlayer2.carvel",
       "--object-path", "/org/mpris/MediaPlayer2",
       "--method", "org.freedesktop.DBus.Properties.Get", "org.mpris.MediaPlayer2.Player"]
for _ in range(100):
    if subprocess.run(get + ["PlaybackStatus"], capture_output=True).returncode == 0:
        break
    time.sleep(0.1)
plays, ends = [], []
for i in range(1, 6):
    chart = "%s/charts/demo%d.bms" % (work, i)
    start = time.monotonic()
    second = subprocess.Popen([work + "/bin/carvel", chart])
    ended = []
    waiter = threading.Thread(target=lambda: ended.append((second.wait(), time.monotonic())))
    waiter.start()
    played = None
    while played is None:
        if time.monotonic() - start > 10:
            sys.exit("run %d: nothing within 10 s" % i)
        meta = subprocess.run(get + ["Metadata"], capture_output=True, text=True).stdout
        if "demo%d.bms" % i in meta:
            played = (time.monotonic() - start) * 1000
    waiter.join(10)
    if not ended or ended[0][0] != 0:
        sys.exit("run %d: the second program did not end well: %s" % (i, ended))
    plays.append(played)
    ends.append((ended[0][1] - start) * 1000)
    time.sleep(1)
print("second start until the first plays its chart: %s ms; median %.0f, largest %.0f" % (
    ", ".join("%.0f" % t for t in plays), statistics.median(plays), max(plays)))
print("second start until it has ended: %s ms; median %.0f" % (
    ", ".join("%.0f" % t for t in ends), statistics.median(ends)))
PY
kill -TERM "$first"
wait "$first"
first=
held=$(grep -c 'demo[1-5].bms' "$work/bin/cuebook.dat" || true)
echo "list file after both have closed: $held of 5 charts"
[ "$held" -eq 5 ]
