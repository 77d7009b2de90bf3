#!/usr/bin/env bash
# Runs every benchmark program (bin/*Bench.exe) of a build under Wine, the
# way the tests run: cmake/wine-run.sh, code page 932.
#   bench/run.sh [BIN_DIR]    default: build/i686/bin of this checkout
# Exits non-zero when a program is missing or any benchmark fails its checks.
set -uo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bin=${1:-$top/build/i686/bin}

shopt -s nullglob
programs=("$bin"/*Bench.exe)
if [ ${#programs[@]} -eq 0 ]; then
  echo "bench: no benchmark programs (*Bench.exe) in $bin; build first (./dev build)" >&2
  exit 1
fi

status=0
for program in "${programs[@]}"; do
  echo "== ${program##*/}"
  "$top/cmake/wine-run.sh" "$program" || {
    echo "bench: ${program##*/} failed" >&2
    status=1
  }
  echo
done
exit $status
