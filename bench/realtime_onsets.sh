#!/usr/bin/env bash
# Real-time accuracy and CPU use of carvel-play: plays a generated 60-second chart of single-sample
# clicks through SDL's disk audio driver (the sound card's output goes to a file), then reports the
# largest difference between each onset's distance from the first onset and its ideal distance, and
# the process's user + system time over wall time.
set -euo pipefail
build=${1:-build/release}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rate=44100
python3 bench/clickchart.py "$work" --measures 37 --bpm 149 --rate "$rate" --info "$build/tools/carvel-info" > "$work/expected.json"
chart=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["chart"])' "$work/expected.json")
python3 - "$build/tools/carvel-play" "$chart" "$work" "$rate" <<'PY'
import json, os, resource, struct, subprocess, sys, time
player, chart, work, rate = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
env = dict(os.environ, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=os.path.join(work, "out.raw"))
start = time.monotonic()
subprocess.run([player, "--once", chart], env=env, check=True, stdout=subprocess.DEVNULL)
wall = time.monotonic() - start
usage = resource.getrusage(resource.RUSAGE_CHILDREN)
data = open(os.path.join(work, "out.raw"), "rb").read()
samples = struct.unpack("<%df" % (len(data) // 4), data)
found = [i // 2 for i in range(0, len(samples), 2) if samples[i] != 0.0]
expected = json.load(open(os.path.join(work, "expected.json")))["frames"]
if not found:
    print("no onset in the output")
    sys.exit(1)
# Both lists are measured from their first onset. The run starts at a whole millisecond of the
# sound card's clock, so a frame can round the other way than in the ideal list: clicks one frame
# apart may merge or split. Each onset is matched with the nearest one of the other list.
import bisect
def nearest(sorted_frames, x):
    i = bisect.bisect_left(sorted_frames, x)
    return min((abs(sorted_frames[j] - x) for j in (i - 1, i) if 0 <= j < len(sorted_frames)))
found_rel = [f - found[0] for f in found]
expected_rel = [e - expected[0] for e in expected]
worst = max(max(nearest(found_rel, e) for e in expected_rel),
            max(nearest(expected_rel, f) for f in found_rel)) * 1000 / rate
cpu = usage.ru_utime + usage.ru_stime
print(f"onsets: {len(found)} found, {len(expected)} ideal, over {(expected[-1] - expected[0]) / rate:.1f} s")
print(f"largest interval error: {worst:.3f} ms")
print(f"CPU: user {usage.ru_utime:.2f} s + system {usage.ru_stime:.2f} s over {wall:.1f} s wall = {100 * cpu / wall:.2f} % of one core")
sys.exit(0 if worst <= 1.0 else 1)
PY
