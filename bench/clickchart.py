#!/usr/bin/env python3
"""Writes a chart of single-sample clicks and computes where each click must start.

The chart uses many channels, uneven divisions and a few shortened bars. The expected onsets come
from the chart's event table as carvel-info prints it, played on the same virtual clock as
carvel-render: the due time of an event is T * 1250 / bpm after the start (moved by every bar-end
jump handled before it, each rounded half to even); a sound starts at the later of its due time and
the time at which the event was handled.
"""
import argparse
import json
import os
import random
import struct
import subprocess
import wave


def write_click(path, rate):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(struct.pack("<h", 16384))


def write_chart(folder, measures, bpm, rate, seed, bar_lengths=True):
    rng = random.Random(seed)
    os.makedirs(folder, exist_ok=True)
    lines = ["#TITLE clicks", "#BPM %d" % bpm]
    for i in range(1, 41):
        write_click(os.path.join(folder, "c%02d.wav" % i), rate)
        lines.append("#WAV%02X c%02d.wav" % (i, i))
    channels = [1, 11, 12, 13, 14, 15, 16, 21, 22, 23, 24, 25, 26]
    for m in range(measures):
        if bar_lengths and m % 7 == 3:
            lines.append("#%03d02:%s" % (m, rng.choice(["0.75", "0.5", "0.875", "1.25", "0.3"])))
        for c in rng.sample(channels, 3):
            n = rng.choice([1, 2, 3, 4, 5, 6, 7, 8, 12, 16])
            data = "".join("%02X" % rng.randint(1, 40) if rng.random() < 0.6 else "00" for _ in range(n))
            lines.append("#%03d%02d:%s" % (m, c, data))
    path = os.path.join(folder, "clicks.bms")
    with open(path, "w", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")
    return path


def round_half_even(x):
    return float(round(x))


SOUND_CHANNELS = ("1", "11", "12", "13", "14", "15", "16", "21", "22", "23", "24", "25", "26")


def expected_onsets(info_binary, chart, rate, channels=SOUND_CHANNELS):
    out = subprocess.run([info_binary, chart], check=True, capture_output=True, text=True).stdout
    lines = out.split("\n")
    bpm = int(next(l for l in lines if l.startswith("BPM : ")).split(" : ")[1])
    start = lines.index(next(l for l in lines if l.startswith("events: ")))
    count = int(lines[start].split(": ")[1])
    events = lines[start + 1:start + 1 + count]
    lng_start = 0.0
    now = 0.0
    frames = []
    for e in events:
        pos, ch, val = e.split(",")
        t = float(pos[:6])
        due = lng_start + t * 1250 / bpm
        now = max(now, due)
        if ch == "2":
            lng_start = round_half_even(lng_start - (1 - float(val)) * 240 * 1000 / bpm)
        elif ch in channels:
            frames.append(int((max(due, now) * rate / 1000) + 0.5))
    return sorted(set(frames)), bpm, len(frames)


if __name__ == "__main__":
    p = argparse.ArgumentParser()
    p.add_argument("folder")
    p.add_argument("--measures", type=int, default=64)
    p.add_argument("--bpm", type=int, default=149)
    p.add_argument("--rate", type=int, default=44100)
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--no-bar-lengths", action="store_true")
    p.add_argument("--info", default="")
    a = p.parse_args()
    chart = write_chart(a.folder, a.measures, a.bpm, a.rate, a.seed, not a.no_bar_lengths)
    result = {"chart": chart}
    if a.info:
        result["frames"], result["bpm"], result["events"] = expected_onsets(a.info, chart, a.rate)
    print(json.dumps(result))
