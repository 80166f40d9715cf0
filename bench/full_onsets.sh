#!/usr/bin/env bash
# The onset check of the full reading (bench/full_charts.py writes the charts and reads them on its
# own in exact arithmetic):
#  (a) `carvel-info --full --seed N` against the exact times, every event within 0.002 ms, on
#      generated charts and on the third-party charts that draw no #RANDOM;
#  (b) when `carvel-render --full` exists: the distinct onset frames of the clicks in the render
#      against round(time x rate / 1000) (half up; ties, where half even would differ, are
#      counted), which must be equal;
#  (c) when `carvel-render --full` exists: the length of the full render of each third-party chart
#      against the classic one.
# Usage: bench/full_onsets.sh [BUILD_DIR] [CHARTS]     (default build/release, 12 generated charts)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/release}")
count=${2:-12}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
render=no
if "$build/tools/carvel-render" --help 2>/dev/null | grep -q -- '--full'; then
  render=yes
fi
PYTHONPATH=bench python3 - "$build/tools" "$work" "$count" "$render" <<'PY'
import glob, os, struct, subprocess, sys, wave
from fractions import Fraction
from full_charts import read_full, write_chart

tools, work, count, render = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4] == "yes"
SOUND = {1} | {a * 36 + b for a in (1, 2, 5, 6) for b in range(1, 10)}
failed = False


def info_events(chart, seed):
    out = subprocess.run([tools + "/carvel-info", "--full", "--seed", str(seed), chart],
                         check=True, capture_output=True, text=True).stdout.split("\n")
    start = next(i for i, l in enumerate(out) if l.startswith("events: "))
    rows = out[start + 1:start + 1 + int(out[start].split()[1])]
    return [(float(t), int(c, 36), int(v)) for t, c, v in (r.split(",") for r in rows)]


def compare(name, chart, seed, expected):
    got = info_events(chart, seed)
    by_event = lambda e: (e[1], e[2], e[0])
    worst, bad = 0.0, len(got) != len(expected)
    for (t, c, v), (et, ec, ev) in zip(sorted(got, key=by_event), sorted(expected, key=by_event)):
        if (c, v) != (ec, ev):
            bad = True
            break
        worst = max(worst, abs(Fraction(t) - et))
    order = [(t, c, v) for t, c, v in got] == sorted(got)
    ok = not bad and worst <= Fraction(2, 1000) and order
    print("%-34s %7d %7d %12.6f  %s" % (name, len(expected), len(got), float(worst),
                                        "ok" if ok else "DIFFERS"))
    return ok


def onset_frames(path):
    with wave.open(path) as w:
        data = w.readframes(w.getnframes())
        rate = w.getframerate()
    samples = struct.unpack("<%dh" % (len(data) // 2), data)
    return {i // 2 for i in range(0, len(samples), 2) if samples[i] != 0}, len(samples) / 2 / rate


print("(a) carvel-info --full against exact times")
print("%-34s %7s %7s %12s" % ("chart", "events", "info", "worst_ms"))
generated = []
for seed in range(1, count + 1):
    folder = os.path.join(work, "g%d" % seed)
    chart = write_chart(folder, seed)
    with open(chart, encoding="utf-8") as f:
        expected = read_full(f.read())
    generated.append((seed, chart, expected))
    failed |= not compare("generated seed %d" % seed, chart, seed, expected)
for chart in sorted(glob.glob("testdata/third-party/*/*.bm?")):
    with open(chart, "rb") as f:
        raw = f.read()
    try:
        text = raw.decode("utf-8-sig")
    except UnicodeDecodeError:
        text = raw.decode("cp932", errors="replace")
    try:
        expected = read_full(text)
    except ValueError:
        print("%-34s skipped: it draws #RANDOM" % os.path.basename(chart))
        continue
    failed |= not compare(os.path.basename(chart), chart, 1, expected)

if not render:
    print("(b), (c) skipped: this carvel-render has no --full")
    sys.exit(1 if failed else 0)

print("(b) carvel-render --full onsets against round(time x rate / 1000)")
print("%-20s %7s %7s %7s %7s %5s" % ("chart", "sounds", "onsets", "missing", "extra", "ties"))
for seed, chart, expected in generated:
    rate = 44100
    out = os.path.join(work, "g%d.wav" % seed)
    subprocess.run([tools + "/carvel-render", "--full", "--seed", str(seed), chart, out],
                   check=True, stderr=subprocess.DEVNULL)
    found, _ = onset_frames(out)
    sounds = [t for t, c, v in expected if c in SOUND]
    scaled = [t * rate / 1000 for t in sounds]
    want = {int(x + Fraction(1, 2)) for x in scaled}
    ties = sum(1 for x in scaled if x.denominator == 2)
    missing, extra = want - found, found - want
    print("%-20s %7d %7d %7d %7d %5d" % ("generated seed %d" % seed, len(sounds), len(want),
                                          len(missing), len(extra), ties))
    failed |= bool(missing or extra)
    os.remove(out)

print("(c) length of the render, classic against full (seconds)")
print("%-40s %9s %9s" % ("chart", "classic", "full"))
for chart in sorted(glob.glob("testdata/third-party/*/*.bm?")):
    lengths = []
    for mode in ([], ["--full", "--seed", "1"]):
        out = os.path.join(work, "s.wav")
        subprocess.run([tools + "/carvel-render"] + mode + [chart, out],
                       stderr=subprocess.DEVNULL, check=False)
        lengths.append("%9.3f" % onset_frames(out)[1] if os.path.exists(out) else "        -")
        if os.path.exists(out):
            os.remove(out)
    print("%-40s %s %s" % (os.path.relpath(chart, "testdata/third-party"), *lengths))
sys.exit(1 if failed else 0)
PY
