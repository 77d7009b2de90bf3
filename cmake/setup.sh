#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, and nothing that is
# already there. Safe to run again; quick when everything is installed.
set -euo pipefail

packages=(
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools
  wine wine32 wine64 xvfb xauth x11-utils locales
  cmake ninja-build googletest imagemagick zip
  # Japanese glyphs for the dialogs under Wine (screenshots).
  fonts-ipafont-gothic
)

sudo_() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  sudo_ dpkg --add-architecture i386
  need_update=1
fi
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ "${#missing[@]}" -gt 0 ] || [ -n "${need_update:-}" ]; then
  echo "setup: installing ${missing[*]:-(package lists)}"
  sudo_ apt-get update -qq
  if [ "${#missing[@]}" -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive sudo_ apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
fi

# npm fetches the Windows ctags for the demo; the machine's Node.js may bring
# its own npm, which conflicts with Debian's package of it.
if ! command -v npm >/dev/null 2>&1; then
  DEBIAN_FRONTEND=noninteractive sudo_ apt-get install -y -qq --no-install-recommends npm >/dev/null
fi

# ja_JP.UTF-8 for the tests (code page 932), en_US.UTF-8 for their English
# runs (code page 1252).
for loc in ja_JP en_US; do
  if ! locale -a 2>/dev/null | grep -qi "^$loc\.utf-\?8\$"; then
    echo "setup: generating $loc.UTF-8"
    sudo_ sed -i "s/^# *$loc.UTF-8 UTF-8/$loc.UTF-8 UTF-8/" /etc/locale.gen
    grep -q "^$loc.UTF-8 UTF-8" /etc/locale.gen || echo "$loc.UTF-8 UTF-8" | sudo_ tee -a /etc/locale.gen >/dev/null
    sudo_ locale-gen >/dev/null
  fi
done

# The real ctags for Windows (Universal Ctags, x86-64), taken from an npm
# package at set-up time and never committed.
ctags_exe=${KESTREL_CTAGS_EXE:-${XDG_CACHE_HOME:-$HOME/.cache}/kestrel/ctags/ctags.exe}
if [ ! -f "$ctags_exe" ]; then
  echo "setup: fetching the Windows ctags"
  fetch=$(mktemp -d)
  (cd "$fetch" && npm pack @elastic/ctags-langserver@0.1.11 --silent >/dev/null)
  tar -xzf "$fetch"/elastic-ctags-langserver-0.1.11.tgz -C "$fetch" package/vendor/ctags-win32.exe
  mkdir -p "$(dirname "$ctags_exe")"
  mv "$fetch/package/vendor/ctags-win32.exe" "$ctags_exe"
  rm -rf "$fetch"
fi
