#!/usr/bin/env bash
# Renders the properties dialog, with the default settings, under Wine and
# Xvfb and saves it as a PNG.
#   tests/screenshots/properties.sh [BUILD-DIR] [OUTPUT.png]
# BUILD-DIR defaults to build/i686 and must hold bin/PropertiesScreenshot.exe;
# OUTPUT defaults to docs/screenshots/properties.png.
# KESTREL_WINE_LOCALE=en_US.UTF-8 shows the English dialog; OUTPUT then
# defaults to docs/screenshots/properties-en.png.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(cd "${1:-$top/build/i686}" && pwd)
case "${KESTREL_WINE_LOCALE:-ja_JP.UTF-8}" in
  ja_JP*) picture=properties.png ;;
  *) picture=properties-en.png ;;
esac
out=$(realpath -m "${2:-$top/docs/screenshots/$picture}")
program=$build/bin/PropertiesScreenshot.exe
if [ ! -f "$program" ]; then
  echo "properties.sh: build the PropertiesScreenshot target first ($program)" >&2
  exit 1
fi

# A display of our own, so the picture holds nothing else.
if [ -z "${KESTREL_SCREENSHOT_DISPLAY:-}" ]; then
  export KESTREL_SCREENSHOT_DISPLAY=1
  exec xvfb-run -a -s "-screen 0 800x600x24" "$0" "$build" "$out"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
winpath() { printf 'Z:%s' "${1//\//\\}"; }

"$top/cmake/wine-run.sh" "$program" "$(winpath "$work/ready")" "$(winpath "$work/done")" &
pid=$!
for _ in $(seq 1200); do
  [ -s "$work/ready" ] && break
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "properties.sh: the program ended before the dialog came up" >&2
    exit 1
  fi
  sleep 0.1
done
if [ ! -s "$work/ready" ]; then
  echo "properties.sh: the dialog did not come up" >&2
  touch "$work/done"
  wait "$pid" || true
  exit 1
fi

read -r x y width height < "$work/ready"
mkdir -p "$(dirname "$out")"
import -window root -crop "${width}x${height}+${x}+${y}" +repage "$out"
touch "$work/done"
wait "$pid"
echo "properties.sh: wrote $out (${width}x${height})"
