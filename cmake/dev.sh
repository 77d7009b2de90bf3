#!/usr/bin/env bash
# The commands behind ./dev. Each one first installs what is missing.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$top"

arches=${KESTREL_ARCHES:-i686 x86_64}
export KESTREL_CTAGS_EXE=${KESTREL_CTAGS_EXE:-${XDG_CACHE_HOME:-$HOME/.cache}/kestrel/ctags/ctags.exe}
jobs=$(nproc 2>/dev/null || echo 2)

setup() {
  bash "$top/cmake/setup.sh"
  source "$top/cmake/wine-env.sh"
}

# build [TARGET...]: configures what is missing and builds every target, or
# the ones named, for each arch.
build() {
  local arch
  for arch in $arches; do
    local dir="$top/build/$arch"
    if [ ! -f "$dir/build.ninja" ]; then
      cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-$arch.cmake" \
        -DKESTREL_CTAGS_EXE="$KESTREL_CTAGS_EXE" >/dev/null
    fi
    cmake --build "$dir" -j "$jobs" ${1:+--target "$@"}
  done
}

# One X server for the whole run; the programs' windows need a display. It
# lives no longer than this script, however the script ends (done, failed,
# Ctrl-C or killed): the EXIT trap stops it and waits for it, so that nothing
# of it is left once ./dev returns, not even a zombie for init to reap. The
# commands that use it therefore run as children of this script: exec would
# drop the trap.
xvfb_pid=
stop_display() {
  [ -n "$xvfb_pid" ] || return 0
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=
}

start_display() {
  local ready n=
  trap stop_display EXIT
  # Xvfb takes a free display itself and writes its number once it accepts
  # connections. Two runs started at once could otherwise pick the same free
  # number: the second server fails, its run uses the first one's, and loses
  # its display (every window of a test then fails) when the first run ends.
  ready=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$ready" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 300); do
    n=$(cat "$ready")
    [ -n "$n" ] || ! kill -0 "$xvfb_pid" 2>/dev/null && break
    sleep 0.1
  done
  rm -f "$ready"
  if [ -z "$n" ]; then
    echo "dev: no X display" >&2
    return 1
  fi
  export DISPLAY=":$n"
}

cmd=${1:-test}
shift || true
case "$cmd" in
  setup)
    setup
    ;;
  build)
    setup
    build
    ;;
  test)
    setup
    build
    start_display
    kestrel_wine_template
    status=0
    for arch in $arches; do
      echo "== tests, $arch"
      ctest --test-dir "$top/build/$arch" --output-on-failure -j "$jobs" "$@" || status=1
    done
    # A failed assertion is printed amid thousands of lines: its summary
    # comes again last, where a log's tail shows it.
    if [ "$status" -ne 0 ]; then
      for arch in $arches; do
        log="$top/build/$arch/Testing/Temporary/LastTest.log"
        [ -f "$log" ] || continue
        echo "== failed assertions, $arch"
        grep -a -A14 -E ': Failure$|^\[  FAILED  \] [A-Za-z_0-9/.]+ \(' "$log" | tail -n 80 || true
      done
    fi
    exit $status
    ;;
  dist)
    setup
    arches="i686 x86_64"
    build Kestrel
    exec bash "$top/cmake/dist.sh" "$@"
    ;;
  demo)
    setup
    build
    start_display
    kestrel_wine_template
    bash "$top/cmake/demo.sh" "$@"
    ;;
  bench)
    setup
    build
    start_display
    kestrel_wine_template
    bash "$top/bench/run.sh" "$@"
    ;;
  *)
    echo "usage: ./dev test|demo|bench|dist|build|setup" >&2
    exit 2
    ;;
esac
