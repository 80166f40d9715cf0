#!/usr/bin/env python3
"""Charts for the full reading, and where each of their events must land, in exact arithmetic.

write_chart() writes a chart of single-sample clicks that combines fractional tempos, tempo
changes on channels 03 and 08 (some at one position), stops (some where notes stand, some adding
up at one position), measures of 0.125 to 1.5, base-36 indexes above 255 (base 62 for some seeds),
tempos that put many clicks half-way between two frames (for other seeds),
7-key lanes, long notes, #LNOBJ, nested #SETRANDOM branches, odd-length data, invisible notes and
mines. Everything that must stay silent names a click too, so a sound played by mistake shows.

read_full() is a reading of the rules of the full reading of its own (docs/CHART-FORMAT.md), in
fractions.Fraction: every event's time is exact. It takes #SETRANDOM only: a #RANDOM would need
carvel's draws.

As a program: full_charts.py FOLDER --seed N writes FOLDER/full.bms and its clicks and prints
JSON: the chart, the events [[time_ms, channel, value], ...] with float times, and the rate.
"""
import argparse
import bisect
import json
import os
import random
import re
import struct
import wave
from fractions import Fraction

DIGITS36 = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"
DIGITS62 = DIGITS36 + "abcdefghijklmnopqrstuvwxyz"


def index_text(value, base62, rng):
    text = DIGITS62[value // 62] + DIGITS62[value % 62] if base62 else \
        DIGITS36[value // 36] + DIGITS36[value % 36]
    if not base62 and rng.random() < 0.3:
        text = text.lower()  # base 36 reads either case
    return text


# ---------------------------------------------------------------------------------------------
# The reading


def index_value(text, base62):
    if len(text) != 2:
        return None
    alphabet = DIGITS62 if base62 else DIGITS36
    t = text if base62 else text.upper()
    if t[0] not in alphabet or t[1] not in alphabet:
        return None
    return alphabet.index(t[0]) * len(alphabet) + alphabet.index(t[1])


def leading_decimal(text):
    m = re.match(r"[ \t]*([+-]?)(\d*)(?:\.(\d*))?", text)
    whole, frac = m.group(2), m.group(3) or ""
    if not whole and not frac:
        return Fraction(0)
    value = Fraction(int(whole or "0")) + (Fraction(int(frac), 10 ** len(frac)) if frac else 0)
    return -value if m.group(1) == "-" else value


def channel_number(text):
    t = text.upper()
    if len(t) != 2 or t[0] not in DIGITS36 or t[1] not in DIGITS36:
        return None
    return DIGITS36.index(t[0]) * 36 + DIGITS36.index(t[1])


def ch(text):
    return channel_number(text)


KEY = {ch("%d%d" % (a, b)) for a in (1, 2) for b in range(1, 10)}
LONG = {ch("%d%d" % (a, b)) for a in (5, 6) for b in range(1, 10)}
SOUND = KEY | LONG | {1}
PICTURE = {4, 6, 7}


class Branches:
    """The #RANDOM blocks: a stack of ["random", value] and ["if", reading, matched, outer]."""

    def __init__(self):
        self.stack = []

    def reading(self):
        for frame in reversed(self.stack):
            if frame[0] == "if":
                return frame[1]
        return True

    def value(self, below):
        for frame in reversed(self.stack[:below]):
            if frame[0] == "random":
                return frame[1]
        return None

    def to_if(self):
        while self.stack and self.stack[-1][0] == "random":
            self.stack.pop()
        if not any(f[0] == "if" for f in self.stack):
            return False
        return True

    def control(self, key, value):
        k = key.upper()
        number = int(leading_decimal(value))
        if k == "RANDOM":
            raise ValueError("#RANDOM needs carvel's draws")
        if k == "SETRANDOM":
            v = number if self.reading() else 0
            if self.stack and self.stack[-1][0] == "random":
                self.stack[-1][1] = v
            else:
                self.stack.append(["random", v])
        elif k == "IF":
            outer = self.reading()
            matched = self.value(len(self.stack)) == number
            self.stack.append(["if", outer and matched, matched, outer])
        elif k in ("ELSEIF", "ELSE"):
            saved = list(self.stack)
            if not self.to_if():
                self.stack = saved
                return True
            frame = self.stack[-1]
            chosen = not frame[2] and (k == "ELSE" or self.value(len(self.stack) - 1) == number)
            frame[1] = frame[3] and chosen
            frame[2] = frame[2] or chosen
        elif k == "ENDIF":
            saved = list(self.stack)
            if self.to_if():
                self.stack.pop()
            else:
                self.stack = saved
        elif k == "ENDRANDOM":
            while self.stack and self.stack[-1][0] == "if":
                self.stack.pop()
            if self.stack:
                self.stack.pop()
        else:
            return False
        return True


def read_full(text):
    """Returns [(time_ms as Fraction, channel, value)] sorted by time, channel, value."""
    branches = Branches()
    start_bpm = Fraction(130)
    base62 = False
    bpm_defs, stop_defs, lnobjs = [], [], []
    lines = []  # (measure, channel, data), file order
    for raw in re.split(r"\r\n|\n|\r", text):
        line = raw.strip(" \t")
        if len(line) < 2 or line[0] != "#":
            continue
        if len(line) >= 7 and line[6] == ":" and line[1:4].isdigit() and line[1:4].isascii():
            c = channel_number(line[4:6])
            if c is not None and branches.reading():
                lines.append((int(line[1:4]), c, line[7:].strip(" \t")))
            continue
        m = re.match(r"#([^ \t]*)(.*)$", line)
        key, value = m.group(1), m.group(2).strip(" \t")
        if branches.control(key, value) or not branches.reading():
            continue
        k = key.upper()
        if k == "BPM":
            if leading_decimal(value) > 0:
                start_bpm = leading_decimal(value)
        elif k == "BASE":
            base62 = leading_decimal(value) == 62
        elif k == "LNOBJ":
            lnobjs.append(value)
        elif len(k) == 5 and k.startswith("BPM"):
            bpm_defs.append((key[3:], leading_decimal(value)))
        elif len(k) == 6 and k.startswith("STOP"):
            stop_defs.append((key[4:], leading_decimal(value)))

    def table(defs):
        out = {}
        for idx, v in defs:
            i = index_value(idx, base62)
            if i:
                out[i] = v
        return out

    bpms, stops = table(bpm_defs), table(stop_defs)
    lnobj = None
    for t in lnobjs:
        if index_value(t, base62):
            lnobj = index_value(t, base62)
    length = {}
    for measure, c, data in lines:
        if c == 2 and leading_decimal(data) > 0:
            length[measure] = leading_decimal(data)
    start_beat = [Fraction(0)]
    for measure in range(1000):
        start_beat.append(start_beat[-1] + 4 * length.get(measure, 1))

    def pairs(data):
        for k in range(len(data) // 2):
            yield Fraction(k, len(data) // 2), data[2 * k:2 * k + 2]

    # Timing: per beat position, the tempo set there and the stops, in file order.
    tempo_at, stop_at = {}, {}
    for order, (measure, c, data) in enumerate(lines):
        for f, pair in pairs(data):
            beat = start_beat[measure] + 4 * length.get(measure, 1) * f
            if c == 3:
                t = int(pair, 16) if re.fullmatch(r"[0-9A-Fa-f]{2}", pair) else 0
                if t > 0:
                    tempo_at.setdefault(beat, []).append((0, order, Fraction(t)))
            elif c == 8:
                i = index_value(pair, base62)
                if i and bpms.get(i, 0) > 0:
                    tempo_at.setdefault(beat, []).append((1, order, bpms[i]))
            elif c == 9:
                i = index_value(pair, base62)
                if i and stops.get(i, 0) > 0:
                    stop_at.setdefault(beat, []).append(stops[i])
    points = sorted(set(tempo_at) | set(stop_at))
    times, stop_ms, tempo_after = [], [], []
    bpm, last_beat, now = start_bpm, Fraction(0), Fraction(0)
    for beat in points:
        now += (beat - last_beat) * 60000 / bpm
        if beat in tempo_at:
            bpm = max(tempo_at[beat])[2]  # 08 over 03, then the later line
        times.append(now)
        stop = sum(n * 1250 / bpm for n in stop_at.get(beat, []))
        stop_ms.append(stop)
        tempo_after.append(bpm)
        now += stop
        last_beat = beat

    def time_of(beat):
        k = bisect.bisect_right(points, beat) - 1
        if k < 0:
            return beat * 60000 / start_bpm
        if points[k] == beat:
            return times[k]
        return times[k] + stop_ms[k] + (beat - points[k]) * 60000 / tempo_after[k]

    events, long_notes = [], []
    for order, (measure, c, data) in enumerate(lines):
        if c not in SOUND and c not in PICTURE:
            continue
        for f, pair in pairs(data):
            v = index_value(pair, base62)
            if not v or (c in KEY and v == lnobj):
                continue
            beat = start_beat[measure] + 4 * length.get(measure, 1) * f
            if c in LONG:
                long_notes.append((c, beat, order, v))
            else:
                events.append((time_of(beat), c, v))
    is_open = {}
    for c, beat, order, v in sorted(long_notes):
        if not is_open.get(c):
            events.append((time_of(beat), c, v))
        is_open[c] = not is_open.get(c)
    return sorted(events)


# ---------------------------------------------------------------------------------------------
# The charts


def write_click(path, rate):
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(struct.pack("<h", 2000))


def write_chart(folder, seed, measures=48, rate=44100):
    rng = random.Random(seed)
    base62 = seed % 4 == 3
    # Every fourth chart keeps to tempos whose beats last a whole or half number of milliseconds,
    # on fine grids: many clicks then fall exactly half-way between two frames.
    ties = seed % 4 == 2
    top = 62 * 62 - 1 if base62 else 36 * 36 - 1
    os.makedirs(folder, exist_ok=True)
    indexes = rng.sample(range(1, top + 1), 48) + [rng.randint(256, top) for _ in range(8)]
    indexes = sorted(set(indexes))
    lines = ["#TITLE full reading %d" % seed, "#SUBTITLE [generated]", "#ARTIST bench"]
    lines.append("#BPM %s" % ("150" if ties else rng.choice(
        ["137.25", "150", "128.5", "174", "99.75", "120bpm"])))
    if base62:
        lines.append("#BASE 62")
    for i in indexes:
        name = "c%04d.wav" % i
        write_click(os.path.join(folder, name), rate)
        lines.append("#WAV%s %s" % (index_text(i, base62, rng), name))
    lines.append("#BMP%s missing.png" % index_text(indexes[0], base62, rng))
    bpm_ids = rng.sample(indexes, 5)
    bpm_values = ["93.75", "187.5", "240", "0", "75"] if ties else ["95.5", "140", "181.25", "0", "210"]
    for i, v in zip(bpm_ids, bpm_values):
        lines.append("#BPM%s %s" % (index_text(i, base62, rng), v))
    stop_ids = rng.sample(indexes, 4)
    for i, v in zip(stop_ids, ["48", "96", "12.5", "-3"]):
        lines.append("#STOP%s %s" % (index_text(i, base62, rng), v))
    lnobj = rng.choice(indexes)
    lines.append("#LNOBJ %s" % index_text(rng.choice(indexes), base62, rng))  # replaced below
    lines.append("#LNOBJ %s" % index_text(lnobj, base62, rng))
    undefined = next(i for i in range(1, top) if i not in indexes)

    def pair(i):
        return index_text(i, base62, rng) if i else "00"

    def data(n, fill, chooser=lambda: rng.choice(indexes)):
        return "".join(pair(chooser()) if rng.random() < fill else "00" for _ in range(n))

    keys = ["%d%d" % (a, b) for a in (1, 2) for b in range(1, 10)]
    longs = ["%d%d" % (a, b) for a in (5, 6) for b in range(1, 10)]
    silent = ["31", "38", "49", "D1", "E9", "05", "1A"]
    for m in range(measures):
        body = []
        ratio = rng.choice(["1"] * 6 + ["0.125", "0.25", "0.375", "0.5", "0.75", "1.25", "1.5"])
        if ratio != "1" or rng.random() < 0.2:
            if rng.random() < 0.3:
                body.append("#%03d02:%s" % (m, rng.choice(["0.5", "2", "0.75"])))
            body.append("#%03d02:%s" % (m, ratio))
            if rng.random() < 0.3:
                body.append("#%03d02:0" % m)  # ignored: the earlier line stands
        grid = rng.choice([16, 32, 64] if ties else [4, 8, 12, 16])
        for c in rng.sample(keys, 3) + ["01"]:
            body.append("#%03d%s:%s" % (m, c, data(grid, 0.5)))
        if rng.random() < 0.4:
            body.append("#%03d%s:%s" % (m, rng.choice(keys), data(rng.choice([3, 5, 7, 24]), 0.4)))
        if rng.random() < 0.3:
            odd = data(rng.choice([2, 4]), 0.7) + rng.choice("0123456789AZ")
            body.append("  #%03d%s:  %s " % (m, rng.choice(keys), odd))
        if rng.random() < 0.4:
            body.append("#%03d%s:%s" % (m, rng.choice(keys), data(grid, 0.3, lambda: lnobj)))
        if rng.random() < 0.5:
            c = rng.choice(longs)
            body.append("#%03d%s:%s" % (m, c, data(rng.choice([2, 4, 8]), 0.6)))
        if rng.random() < 0.3:
            body.append("#%03d%s:%s" % (m, rng.choice(silent), data(8, 0.6)))
        if rng.random() < 0.2:
            body.append("#%03d04:%s" % (m, pair(indexes[0])))
            body.append("#%03d07:%s" % (m, "00" + pair(indexes[0])))
        # Tempo changes and stops on the note grid, so that they meet notes.
        if rng.random() < 0.5:
            body.append("#%03d03:%s" % (m, "".join(
                "%02X" % (rng.choice([60, 75, 120, 150, 240]) if ties else rng.randint(60, 255))
                if rng.random() < 0.2 else "00" for _ in range(grid))))
        if rng.random() < 0.5:
            body.append("#%03d08:%s" % (m, data(grid, 0.2, lambda: rng.choice(bpm_ids + [undefined]))))
        if rng.random() < 0.4:
            stops = data(grid, 0.2, lambda: rng.choice(stop_ids + [undefined]))
            body.append("#%03d09:%s" % (m, stops))
            if rng.random() < 0.5:
                body.append("#%03d09:%s" % (m, stops))  # stops at one position add up
        rng.shuffle(body)
        if rng.random() < 0.25:
            # Nested branches: the outer value chooses, an inner #SETRANDOM chooses again.
            outer = rng.randint(1, 3)
            inner = rng.randint(1, 2)
            branch = lambda: "#%03d%s:%s" % (m, rng.choice(keys + ["01"]), data(grid, 0.5))
            body += ["#SETRANDOM %d" % outer, "#IF 1", branch(), "#ELSEIF 2",
                     "  #SETRANDOM %d" % inner, "  #IF 1", "  " + branch(), "  #ELSE",
                     "  " + branch(), "  #ENDIF", "#ELSE", branch(), "#ENDIF", "#ENDRANDOM"]
        lines += body
    path = os.path.join(folder, "full.bms")
    with open(path, "w", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")
    return path


if __name__ == "__main__":
    p = argparse.ArgumentParser()
    p.add_argument("folder")
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--measures", type=int, default=48)
    p.add_argument("--rate", type=int, default=44100)
    a = p.parse_args()
    chart = write_chart(a.folder, a.seed, a.measures, a.rate)
    with open(chart, encoding="utf-8") as f:
        events = read_full(f.read())
    print(json.dumps({"chart": chart, "rate": a.rate,
                      "events": [[float(t), c, v] for t, c, v in events]}))
