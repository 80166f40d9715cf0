#!/usr/bin/env python3
"""Generates Carvel's demo: an original 24-measure piece, its key sounds and its pictures.

Everything is synthesized here from sine waves, noise and simple shapes; nothing is sampled or
copied. The build runs it into the build folder (build/.../demo); the output is the same every time.
"""
import math
import os
import random
import struct
import sys
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
if len(sys.argv) > 1:  # the output folder; by default this folder
    HERE = sys.argv[1]
    os.makedirs(HERE, exist_ok=True)
RATE = 22050
BPM = 150
rng = random.Random(2026)


def write_wav(name, left, right=None):
    """Mono unless right is given."""
    channels = [left] if right is None else [left, right]
    frames = bytearray()
    for values in zip(*channels):
        for v in values:
            frames += struct.pack("<h", max(-32767, min(32767, int(v * 32767))))
    with wave.open(os.path.join(HERE, name), "wb") as w:
        w.setnchannels(len(channels))
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(bytes(frames))


def tone(freq, seconds, decay, harmonics=(1.0, 0.4, 0.2), gain=0.3):
    n = int(RATE * seconds)
    out = []
    for i in range(n):
        t = i / RATE
        env = math.exp(-t * decay) * min(1.0, i / 40)
        v = sum(a * math.sin(2 * math.pi * freq * (k + 1) * t) for k, a in enumerate(harmonics))
        out.append(gain * env * v / sum(harmonics))
    return out


def kick():
    n = int(RATE * 0.35)
    return [0.8 * math.exp(-i / RATE * 9) * math.sin(2 * math.pi * (45 + 90 * math.exp(-i / RATE * 30)) * i / RATE)
            for i in range(n)]


def noise(seconds, decay, gain, smooth=0.0):
    out, prev = [], 0.0
    for i in range(int(RATE * seconds)):
        x = rng.uniform(-1, 1)
        prev = smooth * prev + (1 - smooth) * x
        out.append(gain * math.exp(-i / RATE * decay) * prev)
    return out


def click():
    # The click track sounds only in the difference of the two channels (left = -right), so it can
    # be found exactly in a recording of the whole mix, where every other sound is centred.
    left = [0.6] + [0.0] * 63
    return left, [-x for x in left]


def write_bmp(name, width, height, pixel):
    row = (width * 3 + 3) & ~3
    data = bytearray()
    for y in range(height - 1, -1, -1):
        line = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            line += bytes((b, g, r))
        data += line + b"\0" * (row - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(header + info + data)


def sounds():
    names = {}
    scale = [0, 2, 4, 7, 9]  # pentatonic
    index = 1
    for octave in range(3):
        for step in scale:
            freq = 220 * 2 ** (octave + step / 12)
            name = "p%02d.wav" % index
            write_wav(name, tone(freq, 0.45, 6, (1.0, 0.5, 0.25, 0.1), 0.25))
            names[("piano", octave * 5 + scale.index(step))] = index
            index += 1
    for step in range(10):
        freq = 55 * 2 ** (step / 12 * 1.2)
        name = "b%02d.wav" % index
        write_wav(name, tone(freq, 0.4, 5, (1.0, 0.6, 0.3), 0.45))
        names[("bass", step)] = index
        index += 1
    for step in range(8):
        freq = 440 * 2 ** (scale[step % 5] / 12 + step // 5)
        name = "l%02d.wav" % index
        write_wav(name, tone(freq, 0.25, 10, (1.0, 0.0, 0.3, 0.0, 0.2), 0.2))
        names[("lead", step)] = index
        index += 1
    for kind, samples in (("kick", kick()), ("snare", noise(0.25, 18, 0.5, 0.3)),
                          ("hat", noise(0.08, 60, 0.25)), ("open", noise(0.3, 10, 0.2)),
                          ("tom", tone(110, 0.3, 12, (1.0,), 0.5)),
                          ("clap", noise(0.15, 25, 0.45, 0.6)),
                          ("pad", tone(330, 1.2, 1.5, (1.0, 0.5, 0.5, 0.25), 0.15))):
        write_wav("d%02d.wav" % index, samples)
        names[(kind, 0)] = index
        index += 1
    left, right = click()
    write_wav("click.wav", left, right)
    names[("click", 0)] = index
    return names


def pictures():
    def gradient(seed):
        def px(x, y):
            return ((x + seed * 40) % 256, (y + seed * 70) % 256, (x + y + seed * 30) % 256 // 2 + 64)
        return px

    for i in range(1, 5):
        write_bmp("base%d.bmp" % i, 256, 256, gradient(i))

    def layer(kind):
        def px(x, y):
            cx, cy = x - 128, y - 128
            if kind == 1 and cx * cx + cy * cy < 60 * 60:
                return (255, 240, 120)
            if kind == 2 and abs(cx) + abs(cy) < 70:
                return (120, 220, 255)
            if kind == 3 and (abs(cx) < 16 or abs(cy) < 16):
                return (255, 120, 200)
            return (0, 0, 0)  # black: transparent
        return px

    for i in range(1, 4):
        write_bmp("layer%d.bmp" % i, 256, 256, layer(i))
    write_bmp("miss.bmp", 256, 256, lambda x, y: (200, 0, 0) if (x // 32 + y // 32) % 2 else (40, 0, 0))

    def stage(x, y):
        band = (y // 40) % 2
        return (30 + x * 100 // 640, 40 + band * 30, 120 + y * 100 // 480)
    write_bmp("title.bmp", 640, 480, stage)


def chart(n):
    lines = ["*---------------------- HEADER FIELD",
             "#PLAYER 1", "#GENRE テクノ", "#TITLE カーヴェルの朝", "#ARTIST Carvel 制作チーム",
             "#BPM %d" % BPM, "#STAGEFILE title.bmp", ""]
    for (kind, step), index in sorted(n.items(), key=lambda kv: kv[1]):
        prefix = {"piano": "p", "bass": "b", "lead": "l"}.get(kind, "d")
        name = "click.wav" if kind == "click" else "%s%02d.wav" % (prefix, index)
        lines.append("#WAV%02X %s" % (index, name))
    for i in range(1, 5):
        lines.append("#BMP%02X base%d.bmp" % (i, i))
    for i in range(1, 4):
        lines.append("#BMP%02X layer%d.bmp" % (0x10 + i, i))
    lines.append("#BMP20 miss.bmp")
    lines.append("")
    lines.append("*---------------------- MAIN DATA FIELD")

    def slots(count, fill):
        return "".join("%02X" % fill(i) if fill(i) else "00" for i in range(count))

    melody = [0, 2, 4, 3, 5, 7, 6, 4, 2, 4, 7, 9, 8, 6, 4, 2]
    for m in range(24):
        mm = "%03d" % m
        # click track: four beats a measure (three in the shortened measure 12)
        lines.append("#%s16:%s" % (mm, slots(4, lambda i: n[("click", 0)])))
        lines.append("#%s11:%s" % (mm, slots(8, lambda i: n[("kick", 0)] if i % 4 == 0 else (n[("snare", 0)] if i % 4 == 2 else 0))))
        lines.append("#%s12:%s" % (mm, slots(8, lambda i: n[("hat", 0)] if i % 2 else n[("open", 0)] * (i == 6))))
        bass = [0, 0, 3, 5, 7, 5, 3, 2][m % 8]
        lines.append("#%s13:%s" % (mm, slots(4, lambda i: n[("bass", (bass + (i % 2) * 2) % 10)])))
        if m >= 4:
            lines.append("#%s14:%s" % (mm, slots(8, lambda i: n[("piano", melody[(m * 2 + i) % 16] % 15)] if i % 2 == 0 else 0)))
        if m >= 8:
            lines.append("#%s15:%s" % (mm, slots(16, lambda i: n[("lead", (i + m) % 8)] if i % 3 == 0 else 0)))
        if m >= 12:
            lines.append("#%s21:%s" % (mm, slots(4, lambda i: n[("piano", (melody[(m + i) % 16] + 5) % 15)])))
            lines.append("#%s22:%s" % (mm, slots(2, lambda i: n[("tom", 0)] * (i == 1))))
        if m % 4 == 0:
            lines.append("#%s01:%s" % (mm, slots(1, lambda i: n[("pad", 0)])))
            lines.append("#%s23:%s" % (mm, slots(4, lambda i: n[("clap", 0)] * (i == 3))))
        lines.append("#%s04:%02X" % (mm, 1 + (m // 4) % 4))
        lines.append("#%s07:%s" % (mm, slots(2, lambda i: 0x11 + (m + i) % 3)))
        if m == 16:
            lines.append("#%s06:20" % mm)
    lines.append("#01202:0.75")
    return "\r\n".join(lines) + "\r\n"


if __name__ == "__main__":
    n = sounds()
    pictures()
    with open(os.path.join(HERE, "demo.bms"), "wb") as f:
        f.write(chart(n).encode("cp932"))
    print("%d sounds" % len(n))
