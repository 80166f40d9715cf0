#!/usr/bin/env bash
# Builds Carvel's Debian package and checks it: lintian on the .deb, desktop-file-validate and
# appstreamcli validate on the files it installs, the files a user expects, then prints the
# installed size and what the package holds. Exits 1 when lintian reports an error, a validator
# reports anything above a pedantic note, or an expected file is missing.
# Usage: scripts/check-package.sh [BUILD_DIR]   (default build/release; configured when missing)
# Takes well under two minutes on a built tree; cpack builds whatever is out of date first.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}

scripts/install-deps.sh lintian desktop-file-utils appstream

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
rm -f "$build"/carvel_*.deb
if ! (cd "$build" && cpack -G DEB) >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "cpack failed"
  exit 1
fi
deb=$(ls "$build"/carvel_*.deb)
dpkg-deb -x "$deb" "$work/root"
failed=0

echo "== $deb"
dpkg-deb -f "$deb" Package Version Architecture Section Maintainer Depends

echo
echo "== lintian"
status=0
lintian --fail-on error --no-tag-display-limit --info "$deb" >"$work/lintian" \
  2>"$work/lintian.err" || status=$?
if [ "$status" -gt 1 ]; then
  cat "$work/lintian.err"
  echo "lintian did not run"
  failed=1
fi
for level in E W I; do
  count=$(grep -c "^$level: " "$work/lintian" || true)
  echo "$level: $count"
done
grep -E '^(E|W): ' "$work/lintian" || true
if grep -q '^E: ' "$work/lintian"; then
  failed=1
fi

echo
echo "== desktop-file-validate"
for desktop in "$work"/root/usr/share/applications/*.desktop; do
  # It exits 0 on warnings and hints too: a clean entry prints nothing.
  if output=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$output" ]; then
    echo "${desktop#"$work"/root}: clean"
  else
    echo "$output"
    failed=1
  fi
done

echo
echo "== appstreamcli validate"
for metainfo in "$work"/root/usr/share/metainfo/*.xml; do
  echo "${metainfo#"$work"/root}:"
  if ! appstreamcli validate --no-net --pedantic --strict "$metainfo"; then
    failed=1
  fi
done

echo
echo "== expected files"
expected=(usr/share/doc/carvel/copyright usr/share/doc/carvel/changelog.gz
  usr/share/doc/carvel/readme.txt usr/share/carvel/demo/demo.bms
  usr/share/mime/packages/carvel-bms.xml usr/share/icons/hicolor/scalable/apps/carvel.svg)
for tool in carvel carvel-info carvel-render carvel-play carvel-textview; do
  expected+=("usr/bin/$tool" "usr/share/man/man1/$tool.1.gz")
done
for size in 16 24 32 48 64 128 256; do
  expected+=("usr/share/icons/hicolor/${size}x$size/apps/carvel.png")
done
absent=0
for file in "${expected[@]}"; do
  if [ ! -f "$work/root/$file" ]; then
    echo "missing: /$file"
    absent=1
  fi
done
version=$(dpkg-deb -f "$deb" Version)
if ! zcat "$work/root/usr/share/doc/carvel/changelog.gz" | head -1 | grep -qF "($version)"; then
  echo "the changelog's newest entry is not for version $version"
  absent=1
fi
if [ "$absent" -eq 0 ]; then
  echo "all ${#expected[@]} present; the changelog's newest entry is for $version"
else
  failed=1
fi

echo
echo "== size and contents"
echo "Installed-Size: $(dpkg-deb -f "$deb" Installed-Size) KiB (package file: $(du -k "$deb" | cut -f1) KiB)"
# One line per folder: how many files and how many KiB.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {
    path = $6; sub(/^\.\//, "", path); dir = path; sub(/\/[^\/]*$/, "", dir)
    files[dir]++; bytes[dir] += $3
  }
  END { for (d in files) printf "%4d files %7.1f KiB  /%s\n", files[d], bytes[d] / 1024, d }' |
  sort -k5

echo
if [ "$failed" -ne 0 ]; then
  echo "package check FAILED"
  exit 1
fi
echo "package check passed"
