#!/usr/bin/env bash
# Peak memory (maximum resident set, /usr/bin/time -f %M) of carvel-info on inputs made to exhaust
# memory, and of carvel-render on a 3-hour chart against a 3-minute one with the same sounds.
# Figures only; nothing is asserted.
# Usage: bench/memory_bombs.sh [BUILD_DIR] [BASE_TOOLS_DIR]
#   BUILD_DIR: the build to measure (build/release);
#   BASE_TOOLS_DIR: a folder with an earlier carvel-info and carvel-render to measure beside it
#   (the earlier carvel-render has no --max-seconds and is run without it).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/release}")
base=${2:+$(realpath "$2")}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Prints the peak resident memory of a command in MB, and how long it took.
measure() {
    /usr/bin/time -f "%M %e" -o "$work/time" "$@" >/dev/null 2>&1 || true
    tail -n 1 "$work/time" | awk '{ printf "%7.0f MB %6.1f s", $1 / 1024, $2 }'
}

row() {  # label, then the command with TOOL standing for the folder of the tools
    local label=$1
    shift
    local after before=""
    after=$(measure "${@//TOOL/$build/tools}")
    if [ -n "$base" ]; then
        before=$(measure "${@//TOOL/$base}")
    fi
    printf '%-44s %s   %s\n' "$label" "$after" "$before"
}

echo "generating inputs in $work ..."
sox -n -r 173 -b 16 -c 1 "$work/slow.wav" synth 2890 sine 40                   # 1 MB
sox -n -r 1 -b 16 -c 1 "$work/one.wav" synth 1000 sine 0.1                      # 2 KB
sox -n -r 192000 -b 16 -c 2 "$work/long.flac" synth 600 sine 440 sine 660       # 10 minutes
for name in slow one; do
    printf '#WAV01 %s.wav\n#00111:01\n' "$name" >"$work/$name.bms"
done
printf '#WAV01 long.flac\n#00111:01\n' >"$work/long.bms"
{ printf '#00111:'; head -c 100000000 /dev/zero | tr '\0' '1'; printf '\n'; } >"$work/line.bms"

# Four half-second sounds, eight starts a measure at 20 BPM (12 s a measure).
for i in 1 2 3 4; do
    sox -n -r 44100 -b 16 -c 1 "$work/k$i.wav" synth 0.5 sine $((220 * i)) fade 0 0.5 0.4
done
chart() {  # measures, file
    {
        printf '#BPM 20\n#WAV01 k1.wav\n#WAV02 k2.wav\n#WAV03 k3.wav\n#WAV04 k4.wav\n'
        for ((m = 0; m < $1; m++)); do
            printf '#%03d11:0102030401020304\n' "$m"
        done
    } >"$2"
}
chart 15 "$work/3min.bms"
chart 900 "$work/3hours.bms"

printf '\n%-44s %-20s   %s\n' "" "this build" "${base:+base}"
row "carvel-info, 1 MB WAV at 173 Hz" TOOL/carvel-info "$work/slow.bms"
row "carvel-info, 2 KB WAV at 1 Hz" TOOL/carvel-info "$work/one.bms"
row "carvel-info, one 100 MB channel line" TOOL/carvel-info "$work/line.bms"
row "carvel-info, 10-minute 192 kHz FLAC" TOOL/carvel-info "$work/long.bms"
row "carvel-render, 3-minute chart" TOOL/carvel-render "$work/3min.bms" "$work/out.wav"
after=$(measure "$build/tools/carvel-render" --max-seconds 10800 "$work/3hours.bms" "$work/out.wav")
before=""
if [ -n "$base" ]; then
    before=$(measure "$base/carvel-render" "$work/3hours.bms" "$work/out.wav")
fi
printf '%-44s %s   %s\n' "carvel-render, 3-hour chart" "$after" "$before"
