#!/usr/bin/env bash
# CPU use of the program while a chart changes its picture every 1/16 measure at 150 BPM, with the
# picture area open, under Xvfb. Reports the process's user + system time over 20 s of playing
# (sound and pictures together: an upper bound for drawing alone).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/release}")
work=$(mktemp -d)
python3 - "$work" <<'PY'
import os, struct, sys
work = sys.argv[1]
def bmp(name, color):
    w = h = 256
    row = w * 3
    data = bytes(color[::-1]) * (w * h)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    open(os.path.join(work, name), "wb").write(header + info + data)
lines = ["#TITLE pictures", "#BPM 150"]
for i in range(1, 9):
    bmp("p%d.bmp" % i, (i * 30, 255 - i * 25, 128))
    lines.append("#BMP%02d p%d.bmp" % (i, i))
for m in range(40):
    lines.append("#%03d04:%s" % (m, "".join("%02d" % (1 + (i + m) % 8) for i in range(16))))
    lines.append("#%03d07:%s" % (m, "".join("%02d" % (1 + (i * 3) % 8) if i % 2 else "00" for i in range(16))))
open(os.path.join(work, "p.bms"), "w").write("\r\n".join(lines) + "\r\n")
PY
cp "$build/app/carvel" "$work/"
source scripts/xvfb.sh
start_xvfb
xvfb=$xvfb_pid
trap 'kill "$app" "$xvfb" 2>/dev/null || true; rm -rf "$work"' EXIT
export SDL_AUDIODRIVER=dummy HOME=$work XDG_RUNTIME_DIR=$work
"$work/carvel" "$work/p.bms" >/dev/null 2>&1 &
app=$!
player=$(wait_window '^Orv Carvel$')
xdotool mousemove --window "$player" 100 16 click 1
sleep 0.3
xdotool mousemove --window "$player" 190 16 click 1
sleep 2
ticks=$(getconf CLK_TCK)
read -r u1 s1 < <(awk '{print $14, $15}' "/proc/$app/stat")
sleep 20
read -r u2 s2 < <(awk '{print $14, $15}' "/proc/$app/stat")
python3 -c "
u, s = ($u2 - $u1) / $ticks, ($s2 - $s1) / $ticks
print(f'pictures every 1/16 measure at 150 BPM (25 a second): user {u:.2f} s + system {s:.2f} s over 20 s = {100 * (u + s) / 20:.2f} % of one core')"
