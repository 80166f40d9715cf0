#!/usr/bin/env python3
"""Writes a corpus of odd but legal chart files for checking that the classic reading does not move.

Every chart is a mix of the things the classic reader must keep exactly: header variants, hexadecimal
indexes with stray letters, missing and misnamed files, every channel number, odd and long data,
shortened and lengthened bars (also absurd ratios), duplicate lines, line breaks of every kind,
CP932 and UTF-8 text. Charts named r*.bms are short enough to render; x*.bms are for reading only.
The same seed gives the same files.

Usage: classic_corpus.py FOLDER [--count N] [--seed S]
"""
import argparse
import os
import random
import struct
import wave


def write_wav(path, rate, channels, frames, width=2, seed=0):
    rng = random.Random(seed)
    with wave.open(path, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(width)
        w.setframerate(rate)
        data = bytearray()
        for i in range(frames):
            for _ in range(channels):
                v = int(12000 * (rng.random() * 2 - 1) * (1 - i / frames))
                data += struct.pack("<h", v) if width == 2 else struct.pack("<B", 128 + v // 256)
        w.writeframes(bytes(data))


def write_bmp(path, colour):
    width = height = 8
    row = bytes(colour) * width
    pixels = row * height
    header = b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


def media(folder):
    sounds = []
    for i, (rate, channels, width) in enumerate(
            [(44100, 1, 2), (44100, 2, 2), (22050, 1, 2), (48000, 2, 2), (11025, 1, 1), (44100, 1, 2)]):
        name = "s%d.wav" % i
        write_wav(os.path.join(folder, name), rate, channels, 900 + 300 * i, width, seed=i)
        sounds.append(name)
    os.makedirs(os.path.join(folder, "Sub"), exist_ok=True)
    write_wav(os.path.join(folder, "Sub", "Deep.WAV"), 44100, 1, 500, seed=9)
    sounds += ["sub\\deep.wav", "SUB/DEEP.wav", "missing.wav", "s0.ogg", "S1.WAV"]
    pictures = []
    for i, colour in enumerate([(0, 0, 0), (255, 0, 0), (0, 200, 40), (10, 10, 250)]):
        name = "p%d.bmp" % i
        write_bmp(os.path.join(folder, name), colour)
        pictures.append(name)
    with open(os.path.join(folder, "photo.jpg"), "wb") as f:
        f.write(b"\xff\xd8\xff\xe0not really a jpeg")
    pictures += ["photo.jpg", "gone.bmp", "P1.BMP", "p2.png"]
    return sounds, pictures


INDEX_CHARS = "0123456789ABCDEFabcdefGgZz "
CHANNELS = [1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 22, 25, 26, 27, 29,
            31, 51, 61, 99, 0]


def index_text(rng):
    if rng.random() < 0.8:
        return "%02X" % rng.randint(1, 40) if rng.random() < 0.7 else "%02x" % rng.randint(1, 255)
    return rng.choice(INDEX_CHARS) + rng.choice(INDEX_CHARS)


def chart(rng, sounds, pictures, renderable):
    lines = []
    header = rng.choice(["#TITLE", "#title", "#Title", " #TITLE"])
    lines.append(header + " " + rng.choice(["曲 %d" % rng.randint(1, 99), "", "A>B", "x  y  "]))
    if rng.random() < 0.7:
        lines.append("#GENRE " + rng.choice(["テクノ", "pop", ""]))
    if rng.random() < 0.7:
        lines.append("#artist " + rng.choice(["someone", "誰か", " spaced "]))
    bpms = ["150", "150.5", "151.5", "120", "133.33", "90"]
    if not renderable:
        bpms += ["abc", "0", "-5", "40000", "1e3", "", "nan", "7"]
    for _ in range(rng.randint(0, 2)):
        lines.append("#BPM " + rng.choice(bpms))
    for _ in range(rng.randint(2, 14)):
        lines.append("#WAV%s %s" % (index_text(rng), rng.choice(sounds)) + rng.choice(["", " ", "  "]))
    for _ in range(rng.randint(0, 6)):
        lines.append("#BMP%s %s" % (index_text(rng), rng.choice(pictures)) + rng.choice(["", "", " "]))
    if rng.random() < 0.4:
        lines.append("#STAGEFILE " + rng.choice(pictures))
    measures = rng.randint(1, 12 if renderable else 60)
    ratios = ["0.75", "0.5", "0.125", "1.25", "0.3", "1", "0.875", "abc", "0", "0.333333333333333333"]
    if not renderable:
        ratios += ["1e300", "-0.5", "1000", "2.5e2", "  0.75", "0.75x", "12345.678"]
    for _ in range(rng.randint(3, 30)):
        m = rng.randint(0, measures)
        c = rng.choice(CHANNELS)
        if c == 2:
            lines.append("#%03d02:%s" % (m, rng.choice(ratios)))
            continue
        n = rng.choice([1, 2, 3, 4, 5, 7, 8, 12, 16, 88, 147, 48])
        data = "".join(index_text(rng) if rng.random() < 0.5 else "00" for _ in range(n))
        if rng.random() < 0.05:
            data += "0"
        line = "#%03d%02d:%s" % (m, c, data)
        if rng.random() < 0.1:
            line = "  " + line + " "
        lines.append(line)
        if rng.random() < 0.05:
            lines.append(line)
    if not renderable and rng.random() < 0.3:
        lines.append("#99911:01")
    lines += rng.choice([[], ["*comment", "", "#PLAYER 1", "#0011A:01", "#00A11:01", "#0011:01"]])
    rng.shuffle(lines)
    return lines


def encode(lines, rng):
    text = rng.choice(["\r\n", "\n", "\r"]).join(lines) + rng.choice(["\r\n", "", "\n"])
    kind = rng.random()
    if kind < 0.5:
        return text.encode("cp932", errors="replace")
    if kind < 0.8:
        return text.encode("utf-8")
    return b"\xef\xbb\xbf" + text.encode("utf-8")


def main():
    p = argparse.ArgumentParser()
    p.add_argument("folder")
    p.add_argument("--count", type=int, default=120)
    p.add_argument("--seed", type=int, default=7)
    a = p.parse_args()
    os.makedirs(a.folder, exist_ok=True)
    sounds, pictures = media(a.folder)
    rng = random.Random(a.seed)
    for i in range(a.count):
        renderable = i % 2 == 0
        name = ("r%03d.bms" if renderable else "x%03d.bms") % i
        with open(os.path.join(a.folder, name), "wb") as f:
            f.write(encode(chart(rng, sounds, pictures, renderable), rng))


if __name__ == "__main__":
    main()
