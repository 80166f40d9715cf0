#!/usr/bin/env bash
# Folder search against `find DIR -iname '*.bms'` plus reading the first 4 KB of each chart, on a
# generated tree of 100,000 files in 10,000 folders with 5,000 charts (page cache warm for both).
# SIZE=real gives the charts a real size, 10-150 KB of channel lines after the header.
# Usage: [SIZE=real] bench/search.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/release}")
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
python3 - "$tree" "${SIZE:-small}" <<'PY'
import os, random, sys
root, size = sys.argv[1], sys.argv[2]
rng = random.Random(7)
folders = [root]
while len(folders) < 10000:
    parent = rng.choice(folders[-500:] if len(folders) > 500 else folders)
    path = os.path.join(parent, "d%d" % len(folders))
    os.mkdir(path)
    folders.append(path)
charts = set(rng.sample(range(100000), 5000))
for i in range(100000):
    folder = folders[i % len(folders)]
    if i in charts:
        name = "song%d.%s" % (i, rng.choice(["bms", "BMS", "Bms"]))
        lines = 200 if size != "real" else rng.randint(10, 150) * 1024 // 11
        text = "#PLAYER 1\r\n#GENRE g\r\n#TITLE Song %d\r\n" % i + "#00111:01\r\n" * lines
    else:
        name = "file%d.%s" % (i, rng.choice(["wav", "ogg", "bmp", "txt", "bme"]))
        text = "x"
    with open(os.path.join(folder, name), "w") as f:
        f.write(text)
PY
find "$tree" -iname '*.bms' -exec head -c 4096 {} + >/dev/null   # warm the cache
"$build/bench/bench_search" "$tree" >/dev/null
start=$(date +%s%N)
find "$tree" -iname '*.bms' -exec head -c 4096 {} + >/dev/null
end=$(date +%s%N)
echo "find + head -c 4096: $(( (end - start) / 1000000 )) ms"
"$build/bench/bench_search" "$tree"
