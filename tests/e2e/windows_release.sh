#!/usr/bin/env bash
# The release as files: brindlec.exe (packed) is what the intro says it
# is, a 25 Kb intro: at most 25,000 bytes. Both it and brindlec-unpacked.exe
# are GUI-subsystem PE32 images that import only DLLs Windows ships (the
# packed one kernel32 alone), load at their own base without relocations,
# and let no page be both writable and executable. The packed one holds
# the intro's address range as uninitialised data behind its start-up
# code; the unpacked one carries the song byte for byte. windows_wine.sh
# runs them.
. "$(dirname "$0")/support/lib.sh"

require_tools cmake i686-w64-mingw32-g++-win32 i686-w64-mingw32-objdump od
build_windows_preset windows-x86
objdump=i686-w64-mingw32-objdump

# field EXE NAME: a value objdump -p prints for the image, as hex.
field() { "$objdump" -p "$1" | awk -v name="$2" '$1 == name {print $2; exit}'; }
# The DLLs the program may import: those every Windows ships.
allowed_dlls="opengl32.dll glu32.dll gdi32.dll user32.dll kernel32.dll winmm.dll msvcrt.dll"

for exe in "$windows_exe" "$unpacked_exe"; do
    headers=$("$objdump" -p "$exe")
    grep -Eq '^Magic[[:space:]]+010b[[:space:]]+\(PE32\)' <<<"$headers" || fail "$exe is not a PE32 image"
    grep -Eq '^Subsystem[[:space:]]+00000002[[:space:]]+\(Windows GUI\)' <<<"$headers" ||
        fail "$exe is not a GUI-subsystem program"
    grep -q 'relocations stripped' <<<"$headers" && grep -q 'NX_COMPAT' <<<"$headers" &&
        ! grep -q 'DYNAMIC_BASE' <<<"$headers" || fail "$exe is not fixed at its base with DEP on"
    dlls=$(awk '/DLL Name:/ {print tolower($3)}' <<<"$headers")
    [ -n "$dlls" ] || fail "$exe imports nothing (objdump found no import table)"
    others=$(grep -vxFf <(tr ' ' '\n' <<<"$allowed_dlls") <<<"$dlls")
    [ -z "$others" ] || fail "$exe imports $(echo $others), which Windows does not ship"
    echo "$(basename "$exe") imports: $(echo $dlls)"
    [ "$exe" != "$windows_exe" ] || [ "$dlls" = kernel32.dll ] ||
        fail "brindlec.exe imports $(echo $dlls), not kernel32.dll alone"
    # Section flags: no section is writable and executable at once.
    "$objdump" -h "$exe" | awk 'NR > 5 && /^ +[0-9]+ / {name = $2; getline; if (/CODE/ && !/READONLY/) bad = bad " " name}
        END {if (bad) {print "writable code:" bad; exit 1}}' || fail "$exe has writable code"
done

size=$(stat -c %s "$windows_exe")
echo "brindlec.exe: $size bytes; brindlec-unpacked.exe: $(stat -c %s "$unpacked_exe") bytes"
[ "$size" -le 25000 ] || fail "brindlec.exe is $size bytes: more than the 25 Kb the intro says it is"

# The packed image: the range [first section, end of image) of the
# unpacked one as its first section, uninitialised and not executable,
# then the start-up code, and nothing else.
sections=$("$objdump" -h "$windows_exe" | awk '/^ +[0-9]+ / {n++; name = $2; size = $3; vma = $4; getline;
    printf "%s %s %s %s\n", name, size, vma, ($0 ~ /CONTENTS/) ? "data" : "reserved"} END {print n}')
[ "$(tail -1 <<<"$sections")" = 2 ] || fail "brindlec.exe has sections: $sections"
read -r _ reserved_size reserved_vma kind < <(head -1 <<<"$sections")
first_vma=$("$objdump" -h "$unpacked_exe" | awk '/^ +0 / {print $4}')
image_end=$((0x$(field "$unpacked_exe" ImageBase) + 0x$(field "$unpacked_exe" SizeOfImage)))
[ "$kind" = reserved ] && [ "$reserved_vma" = "$first_vma" ] &&
    [ $((0x$reserved_vma + 0x$reserved_size)) -ge "$image_end" ] ||
    fail "brindlec.exe does not reserve the intro's range: $(head -1 <<<"$sections"), intro from $first_vma"
"$objdump" -h "$windows_exe" | grep -A1 '^ *0 ' | grep -q CODE && fail "the reserved range is executable"

# The module is carried byte for byte (the build embeds data/song.xm).
song=$BRINDLEC_SOURCE_DIR/data/song.xm
hex() { od -An -v -tx1 "$1" | tr -d ' \n'; }
[ -s "$song" ] && hex "$unpacked_exe" | grep -qF "$(hex "$song")" || fail "brindlec-unpacked.exe lacks the song's bytes"
echo "embedded song: $(stat -c %s "$song") bytes"
echo "PASS"
