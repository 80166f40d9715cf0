#!/usr/bin/env bash
# Builds Carvel and runs it on the bundled demo chart.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$(nproc)" --target carvel-info
build/release/tools/carvel-info demo/demo.bms
