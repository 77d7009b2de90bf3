#!/usr/bin/env bash
# Renders the stand-in host's window after a tag update run with the real
# ctags under Wine and Xvfb, and saves it as a PNG: the status bar shows the
# last status text.
#   tests/screenshots/host.sh [BUILD-DIR] [OUTPUT.png]
# BUILD-DIR defaults to build/i686 and must hold bin/KestrelHost.exe,
# bin/Kestrel.dll and bin/ctags.exe; OUTPUT defaults to docs/screenshots/host.png.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(cd "${1:-$top/build/i686}" && pwd)
out=$(realpath -m "${2:-$top/docs/screenshots/host.png}")

if [ -z "${KESTREL_SCREENSHOT_DISPLAY:-}" ]; then
  export KESTREL_SCREENSHOT_DISPLAY=1
  exec xvfb-run -a -s "-screen 0 800x600x24" "$0" "$build" "$out"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/project/src"
printf 'int answer(void) { return 42; }\n' > "$work/project/src/answer.c"
: > "$work/project/tags"
# Drive K: is the work folder; Wine's folder browser selects a folder only
# when no folder on its path has changed since it was last listed.
export KESTREL_K_DRIVE=$work
ls -a "$work" "$work/project" "$work/project/src" > /dev/null
document='K:\project\src\answer.c'

"$top/cmake/wine-run.sh" "$build/bin/KestrelHost.exe" --document "$document" --run \
  --browse ok --hold-ms 4000 > "$work/output" &
pid=$!
for _ in $(seq 600); do
  grep -q '^done' "$work/output" 2>/dev/null && break
  sleep 0.1
done
sleep 0.5
mkdir -p "$(dirname "$out")"
window=$(xwininfo -root -tree | awk '/"Kestrel host"/ {print $1; exit}')
if [ -n "$window" ]; then
  import -window "$window" "$out"
else
  import -window root "$out"
fi
wait "$pid" || true
cat "$work/output"
echo "host.sh: wrote $out"
