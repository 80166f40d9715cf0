"""The classic-looking charts of the scaling benchmarks: `total` events over measures 000-999
(the sound channels, 01, 04 and 07 with hexadecimal values, a few bar lengths, #WAV lines naming
missing files), and the event count carvel-info reports for a chart."""
import math
import os
import random
import subprocess

CHANNELS = ["11", "12", "13", "14", "15", "16", "21", "22", "23", "24", "25", "26", "01", "04", "07"]
BAR_LENGTHS = {100: "0.75", 333: "1.5", 500: "0.5", 777: "0.875", 900: "1.25"}


def write_chart(path, total, header, definitions=(), measure_lines=None):
    """header: the lines after #PLAYER 1; definitions: lines after the #WAV lines; measure_lines(m,
    rng): extra lines of measure m, written after its bar length and before its notes."""
    # Each bar length becomes one event of its own, so the notes make up the rest.
    rng = random.Random(total)
    notes = total - len(BAR_LENGTHS)
    lines = ["#PLAYER 1"] + list(header)
    lines += ["#WAV%02X missing%02d.wav" % (i, i) for i in range(1, 9)] + list(definitions)
    for m in range(1000):
        if m in BAR_LENGTHS:
            lines.append("#%03d02:%s" % (m, BAR_LENGTHS[m]))
        if measure_lines:
            lines += measure_lines(m, rng)
        events = notes // 1000 + (1 if m < notes % 1000 else 0)
        count = math.ceil(events / 64)
        for k in range(count):
            n = events // count + (1 if k < events % count else 0)
            # n notes on every other slot of a division of 2n
            data = "".join("%02X00" % rng.randint(1, 255) for _ in range(n))
            lines.append("#%03d%s:%s" % (m, CHANNELS[(m + k) % len(CHANNELS)], data))
    with open(path, "w", newline="\r\n") as f:
        f.write("\n".join(lines) + "\n")


def events_of(argv, work):
    """The event count that the carvel-info command argv prints."""
    listing = os.path.join(work, "listing.txt")
    with open(listing, "w") as f:
        subprocess.run(argv, check=True, stdout=f, stderr=subprocess.DEVNULL)
    with open(listing) as f:
        return int(next(l for l in f if l.startswith("events: ")).split()[1])
