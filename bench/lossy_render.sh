#!/usr/bin/env bash
# How sounds from lossy codecs are held by the offline render, against an earlier build's tools:
# renders of the third-party charts (classic and full reading) and of a generated chart of Ogg
# Vorbis sounds compared sample by sample (how many 16-bit samples differ, and by at most how much),
# and the peak memory of carvel-render and carvel-info on that chart (/usr/bin/time -v, median of
# 3) against the sounds' size as 16-bit PCM. The generated chart (full reading, #BASE 36) names
# COUNT stereo sounds of 1.0 to 1.9 s at 44,100 Hz (noise and a tone, peaks about -13 dBFS, sox),
# 8 to a measure of 2 s, so that about six play at once; and its first 100 sounds one at a time.
# usage: bench/lossy_render.sh [BUILD] BASE_TOOLS_DIR [COUNT]
set -euo pipefail
build=$(realpath "${1:-$(dirname "$0")/../build/release}")
base=$(realpath "$2")
count=${3:-1291}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
testdata=$(realpath "$(dirname "$0")/../testdata/third-party")
python3 - "$build/tools" "$base" "$work" "$count" "$testdata" <<'PY'
import concurrent.futures, glob, os, random, statistics, subprocess, sys, wave
from array import array

new_tools, base_tools, work, count, testdata = sys.argv[1], sys.argv[2], sys.argv[3], \
    int(sys.argv[4]), sys.argv[5]
RATE = 44100
DIGITS = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"


def base36(i):
    return DIGITS[i // 36] + DIGITS[i % 36]


def samples(path):
    with wave.open(path) as w:
        return array("h", w.readframes(w.getnframes()))


def compare(label, chart, options):
    out = {}
    for name, tools in (("before", base_tools), ("after", new_tools)):
        out[name] = os.path.join(work, "%s-%s.wav" % (label.replace("/", "_").replace(" ", ""), name))
        subprocess.run([os.path.join(tools, "carvel-render")] + options + [chart, out[name]],
                       check=True, capture_output=True)
    a, b = samples(out["before"]), samples(out["after"])
    if len(a) != len(b):
        print("%-40s lengths differ: %d against %d samples" % (label, len(a), len(b)))
        return
    diffs = [abs(x - y) for x, y in zip(a, b) if x != y]
    by = {d: diffs.count(d) for d in sorted(set(diffs))}
    print("%-40s %10d samples  %8d differ  largest %d  %s" % (
        label, len(a), len(diffs), max(diffs, default=0),
        " ".join("%d by %d" % (n, d) for d, n in by.items())))


def peak_mb(tool, options, chart):
    peaks = []
    for _ in range(3):
        run = subprocess.run(["/usr/bin/time", "-v", tool] + options + [chart] +
                             ([os.path.join(work, "peak.wav")] if "render" in tool else []),
                             check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                             text=True)
        kb = [int(line.split(":")[1]) for line in run.stderr.splitlines()
              if "Maximum resident set size" in line]
        peaks.append(kb[0] / 1024)
    return statistics.median(peaks)


rng = random.Random(7)
lines = ["#PLAYER 1", "#TITLE lossy", "#BPM 120", "#BASE 36"]
pcm_bytes = 0
encodes = []
for i in range(1, count + 1):
    name = "s%04d.ogg" % i
    frames = rng.randint(RATE, RATE * 19 // 10)
    pcm_bytes += frames * 2 * 2
    encodes.append(["sox", "-R", "-r", str(RATE), "-c", "2", "-n", os.path.join(work, name),
                    "synth", "%ds" % frames, "whitenoise", "synth", "%ds" % frames, "sine", "mix",
                    str(110 + 7 * i), "vol", "0.15"])
    lines.append("#WAV%s %s" % (base36(i), name))
with concurrent.futures.ThreadPoolExecutor(2) as pool:
    for done in pool.map(lambda argv: subprocess.run(argv, check=True), encodes):
        pass
for m in range((count + 7) // 8):
    notes = [base36(i) for i in range(8 * m + 1, min(8 * m + 9, count + 1))]
    lines.append("#%03d01:%s" % (m + 1, "".join(notes)))
chart = os.path.join(work, "lossy.bme")
with open(chart, "w", newline="\r\n") as f:
    f.write("\n".join(lines) + "\n")
# The first 100 sounds one at a time, one to a measure.
single = os.path.join(work, "single.bme")
with open(single, "w", newline="\r\n") as f:
    f.write("\n".join(lines[:4 + min(count, 100)] +
                      ["#%03d01:%s" % (i, base36(i)) for i in range(1, min(count, 100) + 1)]) +
            "\n")
info = subprocess.run([os.path.join(new_tools, "carvel-info"), "--full", chart], check=True,
                      capture_output=True, text=True).stdout
if "messages: 0" not in info:
    sys.exit("carvel-info reported messages:\n" + info[:2000])

print("renders, earlier build against this one (16-bit stereo samples):")
for path in sorted(glob.glob(os.path.join(testdata, "*", "*.bm[se]")) +
                   glob.glob(os.path.join(testdata, "*", "*.bml"))):
    label = os.path.relpath(path, testdata)
    compare(label, path, [])
    compare(label + " --full", path, ["--full", "--seed", "1"])
compare("generated: %d Ogg sounds --full" % count, chart, ["--full", "--seed", "1"])
compare("generated: %d one at a time --full" % min(count, 100), single, ["--full", "--seed", "1"])

print("\npeak memory on the generated chart (sounds as 16-bit PCM: %.1f MiB)" % (pcm_bytes / 2**20))
for tool, options in (("carvel-render", ["--full", "--seed", "1"]), ("carvel-info", ["--full"])):
    before = peak_mb(os.path.join(base_tools, tool), options, chart)
    after = peak_mb(os.path.join(new_tools, tool), options, chart)
    print("%-14s before %7.1f MiB  after %7.1f MiB" % (tool, before, after))
PY
