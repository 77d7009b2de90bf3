#!/usr/bin/env bash
# ./dev dist twice, with both libraries linked afresh in between, must give
# byte-identical archives that hold exactly the built libraries.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "DistTest: $*" >&2; exit 1; }
# In a copy of the sources with build trees of its own: the suites of both
# builds may be running meanwhile on the libraries in build/, which a link
# here would take from under them. The archives take the last commit's time.
src=$work/src
mkdir "$src"
tar -C "$top" --exclude=./build --exclude=./dist --exclude=./.git -cf - . | tar -C "$src" -xf -
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$top" log -1 --format=%ct)}

"$src/dev" dist --out "$work/first" >"$work/first.log" 2>&1 || { cat "$work/first.log"; fail "first ./dev dist failed"; }
rm -f "$src/build/i686/bin/Kestrel.dll" "$src/build/x86_64/bin/Kestrel.dll"
sleep 1 # a link time written into the library would now differ
"$src/dev" dist --out "$work/second" >"$work/second.log" 2>&1 || { cat "$work/second.log"; fail "second ./dev dist failed"; }
grep -q 'Linking.*Kestrel.dll' "$work/second.log" || fail "the second run did not link the libraries again"

zips=("$work"/first/Kestrel-*.zip)
[ "${#zips[@]}" -eq 1 ] && [ -f "${zips[0]}" ] || fail "no archive in $work/first"
name=${zips[0]##*/}
[ "$name" = "Kestrel-0.3.zip" ] || fail "archive named $name"
cmp "$work/first/$name" "$work/second/$name" || fail "the two archives differ"

expected=$'x86/Kestrel.dll\nx64/Kestrel.dll\nREADME.txt\nLICENSE\nSHA256SUMS'
listed=$(unzip -Z1 "$work/first/$name")
[ "$listed" = "$expected" ] || fail "archive holds:"$'\n'"$listed"

mkdir "$work/x"
unzip -q "$work/first/$name" -d "$work/x"
cmp "$work/x/x86/Kestrel.dll" "$src/build/i686/bin/Kestrel.dll" || fail "x86/Kestrel.dll is not the i686 build"
cmp "$work/x/x64/Kestrel.dll" "$src/build/x86_64/bin/Kestrel.dll" || fail "x64/Kestrel.dll is not the x86_64 build"
# The PE machine field: 0x014c for x86, 0x8664 for x64.
machine() {
  local pe
  pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  od -An -tx2 -j$((pe + 4)) -N2 "$1" | tr -d ' '
}
[ "$(machine "$work/x/x86/Kestrel.dll")" = 014c ] || fail "x86/Kestrel.dll is not a 32-bit x86 library"
[ "$(machine "$work/x/x64/Kestrel.dll")" = 8664 ] || fail "x64/Kestrel.dll is not an x64 library"
# Stripped: no COFF symbols (their count in the PE header).
for d in x86 x64; do
  pe=$(od -An -tu4 -j60 -N4 "$work/x/$d/Kestrel.dll" | tr -d ' ')
  [ "$(od -An -tu4 -j$((pe + 16)) -N4 "$work/x/$d/Kestrel.dll" | tr -d ' ')" = 0 ] || fail "$d/Kestrel.dll is not stripped"
done
# README promises each library stays well under half a megabyte.
for d in x86 x64; do
  [ "$(wc -c <"$work/x/$d/Kestrel.dll")" -lt 524288 ] || fail "$d/Kestrel.dll is half a megabyte or more"
done
(cd "$work/x" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the files"
[ "$(wc -l <"$work/x/SHA256SUMS")" -eq 4 ] || fail "SHA256SUMS lists $(wc -l <"$work/x/SHA256SUMS") files, not 4"
cmp "$work/x/LICENSE" "$top/LICENSE" || fail "LICENSE differs from the repository's"
grep -qx '## Installing into EmEditor' "$work/x/README.txt" || fail "README.txt has no install steps"
! grep -q '^## Building' "$work/x/README.txt" || fail "README.txt holds the developers' parts"
echo "DistTest: $name reproduced, $(wc -c <"$work/first/$name") bytes"
