#!/usr/bin/env bash
# Peak memory (maximum resident set, /usr/bin/time -f %M) of carvel-info on inputs made to exhaust
# memory, of carvel-render on a 3-hour chart against a 3-minute one with the same sounds, and of
# carvel-play going round a chart of broken sounds 100 times against once.
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

# One 640 x 480 stage picture named by 4,000 spellings of its path (./ and .// in 12 places).
convert -size 640x480 xc:red "$work/stage.bmp"
for ((i = 0; i < 4000; i++)); do
    spelling=""
    for ((bit = 0; bit < 12; bit++)); do
        spelling+=$(( (i >> bit) & 1 ? 1 : 0 ))
    done
    spelling=${spelling//0/./}
    printf '#STAGEFILE %sstage.bmp\n' "${spelling//1/.\/\/}"
done >"$work/stages.bms"

# A FLAC file of 43 KB whose header claims 600 s, copied under 20 names (20 files to decode).
sox -n -r 44100 -b 16 -c 2 "$work/claim.flac" synth 0.5 whitenoise vol 0.2
python3 - "$work/claim.flac" <<'PY'
import sys
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
field = int.from_bytes(data[18:26], "big")
field = (field & ~((1 << 36) - 1)) | 600 * 44100  # STREAMINFO's total samples
data[18:26] = field.to_bytes(8, "big")
open(path, "wb").write(data)
PY
for ((n = 1; n <= 20; n++)); do
    i=$(printf '%02d' "$n")
    cp "$work/claim.flac" "$work/claim$i.flac"
    printf '#WAV%s claim%s.flac\n#0%s11:01\n' "$i" "$i" "$i"
done >"$work/claims.bms"

# 1,295 Ogg files cut off after 60 bytes, all the indexes of one chart.
sox -n -r 44100 -c 2 "$work/whole.ogg" synth 1 sine 440
head -c 60 "$work/whole.ogg" >"$work/cut.ogg"
mkdir "$work/cut"
digits=0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ
{
    printf '#BPM 999\n#00011:01\n'
    for ((i = 1; i < 36 * 36; i++)); do
        index=${digits:i / 36:1}${digits:i % 36:1}
        cp "$work/cut.ogg" "$work/cut/$index.ogg"
        printf '#WAV%s %s.ogg\n' "$index" "$index"
    done
} >"$work/cut/cuts.bms"

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
row "carvel-info, 4,000 spellings of #STAGEFILE" TOOL/carvel-info "$work/stages.bms"
row "carvel-info, 20 FLACs of 43 KB claiming 600 s" TOOL/carvel-info "$work/claims.bms"

# carvel-play through the dummy sound driver, round the chart of cut-off Ogg files once and 100
# times: the difference is what the rounds leave behind.
loops() {
    local args=()
    for ((i = 0; i < $1; i++)); do args+=("$work/cut/cuts.bms"); done
    /usr/bin/time -f "%M" -o "$work/time" env SDL_AUDIODRIVER=dummy "$2/carvel-play" --once \
        "${args[@]}" >/dev/null 2>&1 || true
    tail -n 1 "$work/time"
}
growth() {  # the tools folder
    local one many
    one=$(loops 1 "$1")
    many=$(loops 100 "$1")
    awk -v a="$one" -v b="$many" 'BEGIN { printf "%7.0f MB -> %4.0f MB, %+5.1f MB", a / 1024, b / 1024, (b - a) / 1024 }'
}
after=$(growth "$build/tools")
before=""
if [ -n "$base" ]; then
    before=$(growth "$base")
fi
printf '%-44s %s   %s\n' "carvel-play, 1 and 100 rounds of 1,295 cut Ogg" "$after" "$before"
