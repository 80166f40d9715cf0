#!/usr/bin/env bash
# The tools start with Qt Core and the C++ runtime only: Qt Gui and the sound, video and
# audio-output libraries must not be among those the dynamic linker loads before main (they open
# on first use).
# Usage: start_libraries.sh TOOL...
set -euo pipefail
status=0
for tool in "$@"; do
  needed=$(readelf -d "$tool" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
  for library in libQt6Gui libavformat libavcodec libavutil libswscale libsndfile libsamplerate \
                 libSDL2 librubberband; do
    if grep -q "^$library[.-]" <<<"$needed"; then
      echo "$(basename "$tool") loads $library at start"
      status=1
    fi
  done
done
exit $status
