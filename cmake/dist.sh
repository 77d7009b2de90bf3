#!/usr/bin/env bash
# Packs the release archive from the two built libraries (./dev dist builds
# them first):
#   cmake/dist.sh [--out DIR]      writes DIR/Kestrel-MAJOR.MINOR.zip (DIR: dist)
# The archive holds x86/Kestrel.dll (build/i686), x64/Kestrel.dll
# (build/x86_64), README.txt (the README's parts for users), LICENSE and
# SHA256SUMS. It is reproducible: every entry has the same fixed time
# (SOURCE_DATE_EPOCH, else the time of the last commit), the same mode and
# a fixed order, and no extra fields.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

out=$top/dist
while [ $# -gt 0 ]; do
  case "$1" in
    --out) out=$2; shift 2 ;;
    *) echo "usage: cmake/dist.sh [--out DIR]" >&2; exit 2 ;;
  esac
done

# The version is named once, in CMakeLists.txt's project().
version=$(sed -n 's/^project(Kestrel VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
short=$(echo "$version" | cut -d. -f1-2)
[ -n "$short" ] || { echo "dist: no project(Kestrel VERSION ...) in CMakeLists.txt" >&2; exit 1; }
archive=$out/Kestrel-$short.zip

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

for pair in i686:x86 x86_64:x64; do
  dll=$top/build/${pair%%:*}/bin/Kestrel.dll
  [ -f "$dll" ] || { echo "dist: $dll is missing: build it first (./dev dist does)" >&2; exit 1; }
  mkdir -p "$stage/${pair##*:}"
  cp "$dll" "$stage/${pair##*:}/Kestrel.dll"
done
cp "$top/LICENSE" "$stage/LICENSE"

# README.txt: the title, the introduction and the sections for users; no
# pictures (they are not in the archive).
sections='Installing into EmEditor|Settings'
awk -v wanted="^## ($sections)\$" '
  /^## / { keep = ($0 ~ wanted) }
  NR == 1 || !seen_section { if (/^## /) seen_section = 1; else { if (!/^!\[/) print; next } }
  keep && !/^!\[/ { print }
' "$top/README.md" | cat -s >"$stage/README.txt"
IFS='|' read -r -a wanted <<<"$sections"
for section in "${wanted[@]}"; do
  grep -qx "## $section" "$stage/README.txt" ||
    { echo "dist: the README has no section \"$section\"" >&2; exit 1; }
done

files=(x86/Kestrel.dll x64/Kestrel.dll README.txt LICENSE)
(cd "$stage" && sha256sum "${files[@]}") >"$stage/SHA256SUMS"
files+=(SHA256SUMS)

epoch=${SOURCE_DATE_EPOCH:-$(git -C "$top" log -1 --format=%ct 2>/dev/null || echo 1767225600)}
for f in "${files[@]}"; do
  chmod 644 "$stage/$f"
  touch -d "@$epoch" "$stage/$f"
done

mkdir -p "$out"
rm -f "$archive"
# -X: no extra fields (owners, extra times); -D: no folder entries. zip
# writes local time: UTC makes it the same everywhere.
(cd "$stage" && TZ=UTC zip -X -D -q -9 "$stage/archive.zip" "${files[@]}")
mv "$stage/archive.zip" "$archive"
echo "dist: wrote $archive"
(cd "$stage" && sha256sum "${files[@]}") | sed 's/^/dist:   /'
for d in x86 x64; do
  echo "dist: $d/Kestrel.dll is $(wc -c <"$stage/$d/Kestrel.dll") bytes"
done
