#!/usr/bin/env bash
# The CPU time (user + system) of loading a chart's sounds with carvel-info, which decodes every
# sound as the player does, against tight_decode, the least work the same decoding needs (one
# thread, one buffer a sound, libvorbisfile for Ogg Vorbis, one sf_readf_short loop for 16-bit PCM,
# libsamplerate's SRC_SINC_FASTEST where the rate differs). Two sets of COUNT sounds of 0.2 to 2 s:
#   ogg    Ogg Vorbis, 44,100 Hz stereo (noise and a tone, sox), as many heavy charts have;
#   mixed  one in six each: stereo Ogg at 44,100, 22,050 and 48,000 Hz, 16-bit WAV at the same
#          three rates (mono at 44,100 and 48,000 Hz, stereo at 22,050), so that both sides
#          convert rates, the program a mono sound on two channels as it always has.
# carvel-info's start-up (reading the same chart without its #WAV lines) is measured beside it and
# subtracted, so the ratio is about decoding. The three commands take turns, RUNS times (medians).
# Also tight_decode --sndfile: the Ogg sounds through libsndfile's floats instead of libvorbisfile.
# Needs sox with Ogg Vorbis (Debian's sox package; scripts/install-deps.sh installs it).
# usage: bench/load_vs_tight.sh [BUILD] [COUNT] [RUNS]; KEEP=DIR keeps the charts in DIR.
set -euo pipefail
build=$(realpath "${1:-$(dirname "$0")/../build/release}")
count=${2:-1291}
runs=${3:-7}
if [ -n "${KEEP:-}" ]; then
  mkdir -p "$KEEP"
  work=$(realpath "$KEEP")
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
PYTHONPATH=$(dirname "$0") python3 - "$build" "$work" "$count" "$runs" <<'PY'
import concurrent.futures, os, random, statistics, subprocess, sys
from noise_wav import write_noise

build, work, count, runs = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
info = os.path.join(build, "tools", "carvel-info")
tight = os.path.join(build, "bench", "tight_decode")
RATE = 44100
DIGITS = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"
MIXED = (("ogg", RATE), ("wav", RATE), ("ogg", 22050), ("ogg", 48000), ("wav", 22050),
         ("wav", 48000))


def base36(i):
    return DIGITS[i // 36] + DIGITS[i % 36]


def make_set(name, kinds):
    """Writes the set's sounds (Ogg files in KEEP are reused), its chart, the same chart without
    #WAV lines, and the list of its files. Returns (chart, empty chart, list, bytes, seconds)."""
    folder = os.path.join(work, name)
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(11)
    lines = ["#PLAYER 1", "#TITLE %s" % name, "#BPM 120"]
    wavs, encodes, paths = [], [], []
    seconds = 0.0
    for i in range(1, count + 1):
        kind, rate = kinds[i % len(kinds)]
        frames = rng.randint(rate // 5, rate * 2)
        seconds += frames / rate
        path = os.path.join(folder, "s%04d.%s" % (i, kind))
        paths.append(path)
        wavs.append("#WAV%s %s" % (base36(i), os.path.basename(path)))
        if kind == "wav":
            write_noise(path, frames, 1 + i % 2, rate, rng, quiet=True)
        elif not os.path.exists(path):
            encodes.append(["sox", "-R", "-r", str(rate), "-c", "2", "-n", path, "synth",
                            "%ds" % frames, "whitenoise", "synth", "%ds" % frames, "sine", "mix",
                            str(110 + 7 * i), "vol", "0.15"])
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        for _ in pool.map(lambda argv: subprocess.run(argv, check=True), encodes):
            pass
    notes = ["#%03d01:%s" % (m, "".join(base36(i) for i in range(8 * m + 1, min(8 * m + 9, count + 1))))
             for m in range((count + 7) // 8)]
    charts = []
    for label, head in (("chart", lines + wavs), ("empty", lines)):
        chart = os.path.join(folder, "%s.bms" % label)
        with open(chart, "w", newline="\r\n") as f:
            f.write("\n".join(head + notes) + "\n")
        charts.append(chart)
    listing = os.path.join(folder, "sounds.txt")
    with open(listing, "w") as f:
        f.write("".join(p + "\n" for p in paths))
    out = subprocess.run([info, charts[0]], check=True, capture_output=True, text=True).stdout
    if "messages: 0" not in out:
        sys.exit("carvel-info reported messages:\n" + out[:2000])
    size = sum(os.path.getsize(p) for p in paths)
    return charts[0], charts[1], listing, size, seconds


def cpu(argv):
    """User + system seconds of one run; the classic reading's note on base-36 lines is dropped."""
    child = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("%s failed" % " ".join(argv))
    return usage.ru_utime + usage.ru_stime


with open("/proc/loadavg") as f:
    print("load average before: %s" % " ".join(f.read().split()[:3]))
print("%d sounds a set, medians of %d turns, CPU seconds (user + system)" % (count, runs))
print("%-6s %7s %8s %8s %8s %8s %8s %8s %8s" % ("set", "MB", "sound_s", "load", "start", "decode",
                                                  "tight", "ratio", "sndfile"))
for name, kinds in (("ogg", (("ogg", RATE),)), ("mixed", MIXED)):
    chart, empty, listing, size, seconds = make_set(name, kinds)
    load, start, decode_tight, sndfile = [], [], [], []
    for _ in range(runs):
        load.append(cpu([info, chart]))
        start.append(cpu([info, empty]))
        decode_tight.append(cpu([tight, str(RATE), listing]))
        sndfile.append(cpu([tight, "--sndfile", str(RATE), listing]))
    m = statistics.median
    decode = m(load) - m(start)
    print("%-6s %7.1f %8.0f %8.3f %8.3f %8.3f %8.3f %8.2f %8.3f" % (
        name, size / 1e6, seconds, m(load), m(start), decode, m(decode_tight),
        decode / m(decode_tight), m(sndfile)))
    print("%-6s load runs %s" % ("", " ".join("%.3f" % x for x in load)))
    print("%-6s tight runs %s" % ("", " ".join("%.3f" % x for x in decode_tight)))
with open("/proc/loadavg") as f:
    print("load average after: %s" % " ".join(f.read().split()[:3]))
print("decode = load - start; ratio = decode / tight (libvorbisfile); sndfile: tight_decode "
      "with Ogg through libsndfile")
PY
