#!/usr/bin/env bash
# Runs one Windows program under Wine the way every test run must see it:
# a fresh prefix copied from a prepared template, ANSI code page 932
# (ja_JP.UTF-8; KESTREL_WINE_LOCALE=en_US.UTF-8 gives 1252 and English), no
# Wine debug output, an X display, and drive K: mapped to an empty folder so
# that tests have a drive root of their own
# (KESTREL_K_DRIVE=FOLDER maps it to that folder instead).
#   wine-run.sh PROGRAM.exe [ARGS...]
# KESTREL_KEEP_PREFIX=1 keeps the prefix and prints where it is.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/wine-env.sh"

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi

kestrel_wine_template >&2 || exit 1
prefix=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-wine.XXXXXX")
# Hard links: the prefix's 1.3 GB of system files are only read. The
# registry files are written, so each run gets copies of its own.
cp -al "$KESTREL_WINE_TEMPLATE/." "$prefix/"
for reg in "$KESTREL_WINE_TEMPLATE"/*.reg; do
  rm -f "$prefix/${reg##*/}"
  cp "$reg" "$prefix/"
done
mkdir -p "$prefix/kdrive"
ln -sfn "${KESTREL_K_DRIVE:-$prefix/kdrive}" "$prefix/dosdevices/k:"
export WINEPREFIX=$prefix

wine "$@"
rc=$?
wineserver -k 2>/dev/null
wineserver -w 2>/dev/null
if [ -n "${KESTREL_KEEP_PREFIX:-}" ]; then
  echo "wine-run: prefix kept at $prefix" >&2
else
  rm -rf "$prefix"
fi
exit $rc
