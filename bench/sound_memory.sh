#!/usr/bin/env bash
# Memory that loaded key sounds cost in carvel-info: 200 mono and 200 stereo 16-bit WAVs of about
# a second each, once at 44,100 Hz and once at 22,050 Hz. A classic chart's sound indices end at
# FF, so the 200 mono and the 200 stereo sounds are two charts (#WAV01-#WAVC8, a few notes each).
# Peak memory (median of 5) less that of the same chart without #WAV lines, divided by the sounds'
# size as 16-bit PCM at 44,100 Hz in their own channel counts: the ratio a store of sounds as
# 16-bit PCM at the output rate would bring to 1.
set -euo pipefail
build=$(realpath "${1:-$(dirname "$0")/../build/release}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
PYTHONPATH=$(dirname "$0") python3 - "$build/tools/carvel-info" "$work" <<'PY'
import os, random, subprocess, sys
from measure import medians
from noise_wav import write_noise

info, work = sys.argv[1], sys.argv[2]
OUTPUT_RATE = 44100
COUNT = 200
NOTES = ["#00111:01020304", "#00112:05060708", "#00201:C8C7C6C5", "#00313:0000C8"]


def write_chart(path, wavs):
    lines = ["#PLAYER 1", "#TITLE sounds", "#BPM 140"]
    lines += ["#WAV%02X %s" % (i + 1, name) for i, name in enumerate(wavs)]
    with open(path, "w", newline="\r\n") as f:
        f.write("\n".join(lines + NOTES) + "\n")


def peak_kb(chart):
    out = subprocess.run([info, chart], check=True, capture_output=True, text=True).stdout
    if "messages: 0" not in out:
        sys.exit("carvel-info reported messages for %s:\n%s" % (chart, out[:2000]))
    return medians([info, chart])[2]


print("%-6s %-7s %6s %8s %8s %12s %6s" % ("rate", "sounds", "count", "PCM_MB", "peak_MB",
                                          "peak-base_MB", "ratio"))
base_chart = os.path.join(work, "base.bms")
write_chart(base_chart, [])
base = peak_kb(base_chart) * 1024
for rate in (44100, 22050):
    rng = random.Random(rate)
    folder = os.path.join(work, str(rate))
    os.mkdir(folder)
    grown, pcm_total = 0, 0
    for channels, kind in ((1, "mono"), (2, "stereo")):
        wavs, pcm = [], 0
        for i in range(COUNT):
            name = "%s%03d.wav" % (kind, i)
            frames = rate * (90 + i % 21) // 100  # 0.9 to 1.1 s
            write_noise(os.path.join(folder, name), frames, channels, rate, rng)
            wavs.append(name)
            pcm += (frames * OUTPUT_RATE // rate) * channels * 2
        chart = os.path.join(folder, kind + ".bms")
        write_chart(chart, wavs)
        peak = peak_kb(chart) * 1024
        grown += peak - base
        pcm_total += pcm
        print("%-6d %-7s %6d %8.1f %8.1f %12.1f %6.2f" % (rate, kind, COUNT, pcm / 2**20,
                                                          peak / 2**20, (peak - base) / 2**20,
                                                          (peak - base) / pcm))
    print("%-6d %-7s %6d %8.1f %8s %12.1f %6.2f" % (rate, "both", 2 * COUNT, pcm_total / 2**20, "",
                                                    grown / 2**20, grown / pcm_total))
print("base (no #WAV lines): %.1f MB" % (base / 2**20))
PY
