#!/usr/bin/env bash
# Onset accuracy of carvel-render: renders a generated chart of single-sample clicks and reports the
# largest distance, in frames, between a click in the output and where it belongs (must be 0), and
# the render speed against real time.
set -euo pipefail
build=${1:-build/release}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 bench/clickchart.py "$work" --measures 215 --info "$build/tools/carvel-info" > "$work/expected.json"
chart=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["chart"])' "$work/expected.json")
start=$(date +%s.%N)
"$build/tools/carvel-render" "$chart" "$work/out.wav" 2>/dev/null
end=$(date +%s.%N)
python3 - "$work/expected.json" "$work/out.wav" "$start" "$end" <<'PY'
import json, struct, sys, wave
ideal = json.load(open(sys.argv[1]))
expected = ideal["frames"]
with wave.open(sys.argv[2]) as w:
    rate = w.getframerate()
    data = w.readframes(w.getnframes())
samples = struct.unpack("<%dh" % (len(data) // 2), data)
found = [i // 2 for i in range(0, len(samples), 2) if samples[i] != 0]
missing = sorted(set(expected) - set(found))
extra = sorted(set(found) - set(expected))
worst = 0
for f in found:
    worst = max(worst, min(abs(f - e) for e in expected))
duration = len(samples) / 2 / rate
elapsed = float(sys.argv[4]) - float(sys.argv[3])
print(f"sound events {ideal['events']}; onsets expected {len(expected)}, found {len(found)}, missing {len(missing)}, extra {len(extra)}")
print(f"largest onset error: {worst} frames")
print(f"rendered {duration:.1f} s of sound in {elapsed:.3f} s: {duration / elapsed:.0f} x real time")
sys.exit(0 if worst == 0 and not missing and not extra else 1)
PY
