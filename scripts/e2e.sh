#!/usr/bin/env bash
# End-to-end check of the real program: starts carvel under Xvfb on the demo chart with SDL's disk
# audio driver (no sound card needed), opens the picture area, lets the whole demo play, then ends
# the program as a session logout does (SIGTERM) and checks
#   - the recorded sound: every click of the demo's click track within 1 ms of where it belongs;
#   - a screenshot of the player: the picture area is not black while the pictures play;
#   - the list file: written on the way out, holding the demo.
# Usage: scripts/e2e.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/release}")
work=$(mktemp -d)
mkdir -p "$work/bin" "$work/home"
cp "$build/app/carvel" "$build/app/readme.txt" "$work/bin/"
source scripts/xvfb.sh
start_xvfb
xvfb=$xvfb_pid
app=
trap 'kill "$app" "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT
export HOME=$work/home XDG_RUNTIME_DIR=$work/home
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$work/out.raw
"$work/bin/carvel" "$build/demo/demo.bms" >"$work/log" 2>&1 &
app=$!
player=$(wait_window '^Orv Carvel$') || { echo "e2e: no player window"; cat "$work/log"; exit 1; }

# until SECONDS COMMAND...: runs COMMAND every 0.2 s until it succeeds; fails after SECONDS.
until_true() {
  local tries=$(($1 * 5))
  shift
  for _ in $(seq "$tries"); do
    "$@" && return 0
    sleep 0.2
  done
  return 1
}
geometry() { xdotool getwindowgeometry "$player" | awk '/Geometry/ { print $2 }'; }
changed_from() { [ "$(geometry)" != "$1" ]; }

before=$(geometry)
xdotool mousemove --window "$player" 100 16 click 1   # compact off: the window grows
until_true 10 changed_from "$before" || { echo "e2e: compact off did not resize the player"; exit 1; }
before=$(geometry)
xdotool mousemove --window "$player" 190 16 click 1   # BGA on: the picture area opens
until_true 10 changed_from "$before" || { echo "e2e: BGA on did not open the picture area"; exit 1; }

# The screenshot is taken once the picture area shows a picture (at most 20 s). The picture area
# lies right of the controls column (3720 twips = 248 px at 96 DPI); lit.txt keeps the share of
# its sampled pixels that are not black.
lit() {
  import -window "$player" "$work/shot.ppm" 2>/dev/null &&
    python3 - "$work/shot.ppm" "$work/lit.txt" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
parts = data.split(maxsplit=4)
width, height = int(parts[1]), int(parts[2])
pixels = parts[4][-width * height * 3:]
lit = total = 0
for y in range(10, min(height, 270), 4):
    for x in range(252, min(width, 510), 4):
        r, g, b = pixels[(y * width + x) * 3:(y * width + x) * 3 + 3]
        total += 1
        lit += (r + g + b) > 30
share = lit / max(total, 1)
open(sys.argv[2], "w").write("%f\n" % share)
sys.exit(0 if share >= 0.3 else 1)
PY
}
until_true 20 lit || true   # judged below, with the figure printed

# The recording must hold the whole first play-through: the last click plus 3 s for the start.
frames_needed=$(python3 - "$build" <<'PY'
import os, sys
sys.path.insert(0, "bench")
from clickchart import expected_onsets
build = sys.argv[1]
onsets, _, _ = expected_onsets(os.path.join(build, "tools", "carvel-info"),
                               os.path.join(build, "demo", "demo.bms"), 44100, channels=("16",))
print(onsets[-1] + 3 * 44100)
PY
)
recorded() { [ "$(stat -c %s "$work/out.raw" 2>/dev/null || echo 0)" -ge $((frames_needed * 8)) ]; }
until_true 120 recorded || { echo "e2e: the sound output stopped before the demo ended"; exit 1; }
kill -TERM "$app"
until_true 10 eval '! kill -0 "$app" 2>/dev/null' || { echo "e2e: carvel did not end on SIGTERM"; exit 1; }
app=
python3 - "$work" "$build" <<'PY'
import os, struct, sys
sys.path.insert(0, "bench")
from clickchart import expected_onsets
work, build = sys.argv[1], sys.argv[2]
failed = False

lit_path = os.path.join(work, "lit.txt")
share = float(open(lit_path).read()) if os.path.exists(lit_path) else 0.0
print(f"picture area: {100 * share:.0f} % of the sampled pixels are not black")
failed |= share < 0.3

# The click track sounds only in left - right.
raw = open(os.path.join(work, "out.raw"), "rb").read()
samples = struct.unpack("<%df" % (len(raw) // 4), raw)
rate = 44100
diff = [(samples[i] - samples[i + 1]) / 2 for i in range(0, len(samples) - 1, 2)]
peaks, i = [], 0
while i < len(diff):
    if abs(diff[i]) > 0.25:
        window = range(i, min(i + 40, len(diff)))
        best = max(window, key=lambda k: abs(diff[k]))
        peaks.append(best)
        i += 40
    else:
        i += 1
expected, _, _ = expected_onsets(os.path.join(build, "tools", "carvel-info"),
                                 os.path.join(build, "demo", "demo.bms"), rate, channels=("16",))
if len(peaks) < len(expected):
    print(f"clicks: found {len(peaks)}, expected {len(expected)}")
    failed = True
else:
    got = [p - peaks[0] for p in peaks[:len(expected)]]
    want = [e - expected[0] for e in expected]
    errors = [abs(g - w) * 1000 / rate for g, w in zip(got, want)]
    worst = max(errors)
    print(f"clicks: {len(expected)} of the first play-through, largest error {worst:.3f} ms"
          f" (click {errors.index(worst) + 1})")
    failed |= worst > 1.0

listfile = os.path.join(work, "bin", "cuebook.dat")
content = open(listfile, encoding="utf-8", newline="").read() if os.path.exists(listfile) else ""
print("list file:", content.strip() or "(missing)")
failed |= "カーヴェルの朝>" not in content or not content.endswith("\r\n")
sys.exit(1 if failed else 0)
PY
echo "e2e: passed"
