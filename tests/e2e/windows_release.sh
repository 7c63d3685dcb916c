#!/usr/bin/env bash
# The release: the i686 (32-bit) brindlec.exe cross-built with MinGW-w64 is
# a GUI-subsystem PE32 that imports only DLLs Windows ships, carries the
# embedded song, and fits in 64 KiB without a packer.
. "$(dirname "$0")/support/lib.sh"

require_tools cmake i686-w64-mingw32-g++-win32 i686-w64-mingw32-objdump od
build_windows_preset windows-x86
exe=$windows_exe
headers=$(i686-w64-mingw32-objdump -p "$exe")

grep -Eq '^Magic[[:space:]]+010b[[:space:]]+\(PE32\)' <<<"$headers" || fail "not a PE32 image"
grep -Eq '^Subsystem[[:space:]]+00000002[[:space:]]+\(Windows GUI\)' <<<"$headers" ||
    fail "not a GUI-subsystem program"
check_imports i686-w64-mingw32-objdump "$exe"

size=$(stat -c %s "$exe")
echo "brindlec.exe (i686): $size bytes"
[ "$size" -le 65536 ] || fail "brindlec.exe is $size bytes, more than 64 KiB"

# The module is carried byte for byte (the build embeds data/song.xm).
song=$BRINDLEC_SOURCE_DIR/data/song.xm
if [ -f "$song" ]; then
    hex() { od -An -v -tx1 "$1" | tr -d ' \n'; }
    hex "$exe" | grep -qF "$(hex "$song")" || fail "the song's bytes are not in brindlec.exe"
    echo "embedded song: $(stat -c %s "$song") bytes"
else
    echo "no data/song.xm in the source tree: the program carries an empty module"
fi
echo "PASS"
