#!/usr/bin/env bash
# Hostile charts against the reading and against the window thread. Two charts:
#   if.bms       400,000 lines "#IF 1" without an #ENDIF, then a few sound lines (read in full)
#   missing.bms  20,000 #WAV lines naming missing files, in a folder of 5,000 other files
# (a) carvel-info's wall time on each (carvel-info --full on the first), median of RUNS (default 3)
#     with the page cache warm;
# (b) carvel loading each, on a private session bus with QT_QPA_PLATFORM=offscreen: its MPRIS
#     PlaybackStatus is asked again and again with gdbus until the chart plays (its title shows in
#     the metadata), each answer timed; then SIGTERM, timed until the program has ended. An answer
#     takes as long as a gdbus start even when the program is idle: that figure is printed too;
# (c) SIGTERM while the chart still loads, timed until the program has ended.
# Usage: bench/load_freeze.sh [BUILD_DIR [RUNS]]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/release}")
runs=${2:-3}
if [ -z "${LOAD_FREEZE_BUS:-}" ]; then
  exec env LOAD_FREEZE_BUS=1 dbus-run-session -- "$0" "$@" 2> >(grep -v 'fd limit' >&2)
fi
work=$(mktemp -d)
app=
trap 'kill $app 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/run" "$work/if" "$work/missing"
chmod 700 "$work/run"
cp "$build/app/carvel" "$work/bin/"
cp "$build"/demo/*.wav "$work/if/"
python3 - "$work" <<'PY'
import os, sys
work = sys.argv[1]
sounds = sorted(f for f in os.listdir(work + "/if") if f.endswith(".wav"))[:4]
with open(work + "/if/if.bms", "w") as f:
    f.write("#TITLE if-bomb\n#BPM 150\n")
    f.write("#IF 1\n" * 400000)
    for i, name in enumerate(sounds, 1):
        f.write("#WAV%02d %s\n" % (i, name))
    f.write("#00111:" + "".join("%02d" % i for i in range(1, len(sounds) + 1)) + "\n")
for i in range(5000):
    open("%s/missing/file%04d.wav" % (work, i), "w").close()
with open(work + "/missing/missing.bms", "w") as f:
    f.write("#TITLE missing-bomb\n#BPM 150\n")
    for i in range(20000):
        f.write("#WAV%02X gone%05d.wav\n" % (i % 255 + 1, i))
    f.write("#00111:01\n")
PY
export HOME=$work XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy

echo "(a) carvel-info, median of $runs"
python3 - "$build/tools/carvel-info" "$work" "$runs" <<'PY'
import sys
sys.path.insert(0, "bench")
from measure import medians
info, work, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
for args in (["--full", work + "/if/if.bms"], [work + "/missing/missing.bms"]):
    wall, cpu, rss = medians([info] + args, runs)
    print("  carvel-info %-22s wall %7.3f s  cpu %7.3f s  peak %6.1f MB"
          % (" ".join(a.replace(work + "/", "") for a in args), wall, cpu, rss / 1024))
PY

get() {  # get PROPERTY: the player's MPRIS property, or a failure when nobody answers
  gdbus call --session --dest org.mpris.MediaPlayer2.carvel --object-path /org/mpris/MediaPlayer2 \
    --method org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player "$1" 2>/dev/null
}
start_carvel() {  # start_carvel CHART_SPEC: starts carvel on a fresh list and waits for its MPRIS
  rm -f "$work/bin/cuebook.dat"
  # shellcheck disable=SC2086
  "$work/bin/carvel" $1 >"$work/log" 2>&1 &
  app=$!
  for _ in $(seq 600); do
    get PlaybackStatus >/dev/null && return 0
    sleep 0.05
  done
  echo "no MPRIS service within 30 s" >&2
  return 1
}
sigterm() {  # sigterm: sets ended_ms, the time from SIGTERM until carvel has ended
  local t0 t1
  t0=$(date +%s%N)
  kill -TERM "$app"
  wait "$app" || true
  t1=$(date +%s%N)
  app=
  ended_ms=$(((t1 - t0) / 1000000))
}
charts=("--full $work/if/if.bms if-bomb" "$work/missing/missing.bms missing-bomb")

echo "(b) carvel loading each chart: MPRIS PlaybackStatus answers until it plays"
for c in "${charts[@]}"; do
  title=${c##* }
  start_carvel "${c% *}"
  python3 - "$title" <<'PY'
import statistics, subprocess, sys, time
title = sys.argv[1]
call = ["gdbus", "call", "--session", "--dest", "org.mpris.MediaPlayer2.carvel",
        "--object-path", "/org/mpris/MediaPlayer2",
        "--method", "org.freedesktop.DBus.Properties.Get", "org.mpris.MediaPlayer2.Player"]
def ask(what):
    start = time.monotonic()
    out = subprocess.run(call + [what], capture_output=True, text=True)
    return (time.monotonic() - start) * 1000, out.stdout
start = time.monotonic()
answers = []  # (when, ms)
played = None
while played is None and time.monotonic() - start < 600:
    answers.append((time.monotonic() - start, ask("PlaybackStatus")[0]))
    if "'%s'" % title in ask("Metadata")[1]:
        played = time.monotonic() - start
# The same calls once the program is idle: what a gdbus start costs by itself.
idle = [ask("PlaybackStatus")[0] for _ in range(20)]
times = sorted(ms for _, ms in answers)
when, longest = max(answers, key=lambda a: a[1])
print("  %-13s plays %6.2f s after its MPRIS came up; %d answers meanwhile: median %.1f ms, "
      "99th percentile %.1f ms, longest %.1f ms (%.2f s in), %d above 50 ms; once it plays: "
      "median %.1f ms, longest %.1f ms" % (
          title, played if played else float("nan"), len(times), statistics.median(times),
          times[int(len(times) * 0.99)], longest, when, sum(t > 50 for t in times),
          statistics.median(idle), max(idle)))
PY
  sigterm
  echo "  SIGTERM once it plays: ended after $ended_ms ms"
done

echo "(c) SIGTERM while the chart is loading"
for c in "${charts[@]}"; do
  title=${c##* }
  start_carvel "${c% *}"
  state="still loading"
  get Metadata | grep -q "'$title'" && state="already playing: not measured during a load"
  sigterm
  echo "  $title ($state): ended after $ended_ms ms"
done
