#!/usr/bin/env bash
# scripts/release.sh end to end: the archive holds the five files, the
# executables are the build's, the nfo is plain ASCII within 80 columns and
# gives the packed size, the picture is a frame of the intro, the page is
# one file; and brindlec.exe taken from the archive runs under 32-bit Wine:
# question, window with the title text, Esc, status 0.
. "$(dirname "$0")/support/lib.sh"

require_tools cmake zip unzip identify convert Xvfb xwininfo xdotool
make_work_dir
# A title frame: the capture gets there quickly.
SCREENSHOT_AT=3000 "$BRINDLEC_SOURCE_DIR/scripts/release.sh" --dist "$work/dist" >"$work/release.log" 2>&1 ||
    { tail -20 "$work/release.log" >&2; fail "scripts/release.sh failed"; }
version=$("$BRINDLEC_BIN/brindlec" --version | awk '{print $2}')
archive=$work/dist/brindlec-$version.zip
names=$(unzip -Z1 "$archive" 2>&1 | sort | tr '\n' ' ')
[ "$names" = "brindlec-unpacked.exe brindlec.exe brindlec.html brindlec.nfo brindlec.png " ] ||
    fail "the archive holds: $names"
files=$work/files
mkdir "$files" && (cd "$files" && unzip -q "$archive") || fail "the archive does not unpack"

for exe in brindlec.exe brindlec-unpacked.exe; do
    cmp -s "$files/$exe" "$BRINDLEC_BIN/windows-x86/$exe" || fail "$exe is not the build's"
done
nfo=$files/brindlec.nfo
size=$(stat -c %s "$files/brindlec.exe")
grep -q "brindlec.exe $size bytes" "$nfo" || fail "brindlec.nfo does not give the size, $size bytes"
grep -q "version $version" "$nfo" || fail "brindlec.nfo does not give the version, $version"
LC_ALL=C awk 'length($0) > 80 || /[^ -~]/ {print FNR ": " $0; bad = 1} END {exit bad}' "$nfo" ||
    fail "brindlec.nfo is not plain ASCII within 80 columns"
[ "$(identify -format '%m %wx%h' "$files/brindlec.png")" = "PNG 800x600" ] || fail "brindlec.png is no 800 x 600 PNG"
shows_text "$files/brindlec.png" || fail "brindlec.png shows no title text"
# One file: the script and its WebAssembly inside the page, nothing loaded.
grep -q '<script>' "$files/brindlec.html" && ! grep -Eq 'src="[^"]*\.(js|wasm)"' "$files/brindlec.html" ||
    fail "brindlec.html is not a page in one file"

use_wine32 "$BRINDLEC_BIN/windows-wine"
start_xvfb 1024x768
make_wine_prefix
start_wine_intro "$files/brindlec.exe" n "$WINDOW_TITLE"
wait_for_caption "$window" 20 >/dev/null || fail "no title text in the window"
[ -z "$(window_id "$ERROR_CAPTION" 0)" ] || fail "an error box came up"
close_with "$window" Escape 20 "$WINEPREFIX.run.log"
echo "PASS"
