#!/usr/bin/env bash
# The release archive, as demo parties and archives take them:
# dist/brindlec-<version>.zip with
#   brindlec.exe            the packed Windows intro (at most 25,000 bytes)
#   brindlec-unpacked.exe   the same image as linked, for wary virus scanners
#   brindlec.nfo            what it is and how to run it (ASCII, 80 columns)
#   brindlec.png            a frame from brindlec-capture
#   brindlec.html           the browser version in one file
# Installs what is missing, then builds what it needs: the Linux build for
# brindlec-capture (in BRINDLEC_BIN, default build/), the windows-x86
# preset (in its windows-x86 folder) and the web preset (in
# BRINDLEC_WEB_DIR, default build-web/).
#
#   scripts/release.sh [--dist DIR]    (default dist/)
#   SCREENSHOT_AT=MS picks the frame (default 105000: scene 3's triangles)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dist=$root/dist
case "${1:-}" in
--dist) dist=$(mkdir -p "${2:?--dist needs a folder}" && cd "$2" && pwd) ;;
"") ;;
*) echo "usage: scripts/release.sh [--dist DIR]" >&2; exit 2 ;;
esac
cd "$root"
bin=${BRINDLEC_BIN:-$root/build}
web=${BRINDLEC_WEB_DIR:-$root/build-web}
. scripts/packages.sh
ensure_packages $BUILD_PACKAGES $WEB_PACKAGES $RELEASE_PACKAGES

# --- Building --------------------------------------------------------------------
# Each folder is configured the first time only, so a tree that is already
# built, and its settings, stay as they are.
[ -f "$bin/CMakeCache.txt" ] || cmake -S . -B "$bin" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$bin" -j"$(nproc)" --target brindlec brindlec-capture
[ -f "$bin/windows-x86/CMakeCache.txt" ] || cmake --preset windows-x86 -B "$bin/windows-x86" >/dev/null
cmake --build "$bin/windows-x86" -j"$(nproc)"
[ -f "$web/CMakeCache.txt" ] || cmake --preset web -B "$web" >/dev/null
cmake --build "$web" -j"$(nproc)"

# --- The files ---------------------------------------------------------------------
version=$("$bin/brindlec" --version | awk '{print $2}')
staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT
cp "$bin/windows-x86/brindlec.exe" "$bin/windows-x86/brindlec-unpacked.exe" "$staging/"
cp "$web/brindlec-single.html" "$staging/brindlec.html"
at=${SCREENSHOT_AT:-105000}
"$bin/brindlec-capture" --at "$at" --out "$staging/frames" >/dev/null
mv "$staging/frames/frame-$at.png" "$staging/brindlec.png"
rmdir "$staging/frames"
packed_size=$(stat -c %s "$staging/brindlec.exe")
sed -e "s/@VERSION@/$version/" -e "s/@PACKED_SIZE@/$packed_size/" \
    -e "s/@UNPACKED_SIZE@/$(stat -c %s "$staging/brindlec-unpacked.exe")/" scripts/brindlec.nfo.in \
    >"$staging/brindlec.nfo"

# What the archive promises, checked before it is written.
[ "$packed_size" -le 25000 ] || { echo "brindlec.exe is $packed_size bytes, over 25,000" >&2; exit 1; }
! LC_ALL=C grep -q '[^ -~]' "$staging/brindlec.nfo" || { echo "brindlec.nfo is not plain ASCII" >&2; exit 1; }
awk 'length($0) > 80 {exit 1}' "$staging/brindlec.nfo" || { echo "brindlec.nfo runs past 80 columns" >&2; exit 1; }

mkdir -p "$dist"
archive=$dist/brindlec-$version.zip
rm -f "$archive"
(cd "$staging" && zip -q -X "$archive" brindlec.exe brindlec-unpacked.exe brindlec.nfo brindlec.png brindlec.html)
echo "$archive:"
unzip -l "$archive" | sed -n '4,$p'
