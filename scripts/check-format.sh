#!/usr/bin/env bash
# Checks the product code (every C++ file outside tests/) against the style
# .clang-format states, with Debian's clang-format (14): names each file
# that clang-format would change and how many of its lines, and fails when
# there is one. Changes nothing.
#   scripts/check-format.sh [--diff] [FILE...]
# --diff shows the changes too; FILEs check only those.
set -euo pipefail
cd "$(dirname "$0")/.."
show=""
[ "${1:-}" != --diff ] || { show=1; shift; }
# The style is clang-format 14's reading of .clang-format; another version
# may lay out the same code otherwise.
format=clang-format-14
command -v $format >/dev/null || format=clang-format
command -v $format >/dev/null ||
    { echo "check-format.sh: no clang-format here (Debian: apt-get install clang-format)" >&2; exit 2; }
if [ $# -gt 0 ]; then
    files=("$@")
else
    listed=$(git ls-files '*.cpp' '*.h' ':!tests/') || { echo "check-format.sh: not a git checkout" >&2; exit 2; }
    mapfile -t files <<<"$listed"
fi
[ -n "${files[0]:-}" ] || { echo "check-format.sh: no files to check" >&2; exit 2; }
files_off=0 lines_off=0
for file in "${files[@]}"; do
    [ -f "$file" ] || { echo "check-format.sh: no file $file" >&2; exit 2; }
    changes=$($format --style=file "$file" | diff "$file" - || true)
    [ -n "$changes" ] || continue
    lines=$(grep -c '^<' <<<"$changes" || true)
    files_off=$((files_off + 1)) lines_off=$((lines_off + lines))
    echo "$file: $lines lines"
    [ -z "$show" ] || sed 's/^/    /' <<<"$changes"
done
[ $files_off -eq 0 ] ||
    { echo "check-format.sh: $lines_off lines in $files_off of ${#files[@]} files differ from .clang-format" >&2; exit 1; }
echo "check-format.sh: ${#files[@]} files follow .clang-format"
