#!/usr/bin/env bash
# Whole-process wall time of morv.exe under Wine, on its direct path and on
# its restart path, against an empty GUI program started the same way. The
# runtime is the test runtime, whose JLI_Launch returns at once, so the
# figures are the launcher's own cost: reading the image and configuration,
# loading the runtime library, and for the restart path the second process
# in its job.
#
#   bash bench/launcher-win/run.sh [rounds] [warm-up rounds]
#
# Environment: BUILD_DIR (default build/bench-win).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build/bench-win}
ROUNDS=${1:-40}
WARMUP=${2:-3}
JOBS=${JOBS:-$(nproc)}

cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DMORV_BENCH=ON -DMORV_BRIDGE=OFF >/dev/null
cmake --build "$BUILD_DIR" -j "$JOBS" \
  --target morv morv_test_jli launcher_win_bench bench_empty_gui >/dev/null

# The build's Wine environment and prefix; the server and the prefix's
# services are up before the first measured run and stay up throughout.
. "$BUILD_DIR/wine-env.sh"
unset VARNO_DEBUG MORV_TEST_JLI_RECORD MORV_TEST_JLI_EXIT MORV_TEST_JLI_RESULT
morv_wine_start

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"; morv_wine_stop' EXIT
layout() { # $1: image directory, $2: extra line for [Application]
  mkdir -p "$1/app" "$1/runtime/bin"
  cp "$BUILD_DIR/cmake/targets/morv.exe" "$1/"
  cp "$BUILD_DIR/tests/testruntime/jli.dll" "$1/runtime/bin/"
  printf '[Application]\napp.mainclass=bench.Main\n%s\n[JavaOptions]\njava-options=-Xmx64m\n' "$2" \
    >"$1/app/morv.cfg"
}
layout "$tmp/direct" "win.norestart=true"
layout "$tmp/restart" ""
cp "$BUILD_DIR/bench/launcher-win/bench_empty_gui.exe" "$tmp/"

winpath() { echo "Z:${1//\//\\}"; }
# One Windows program starts every run.
wine "$BUILD_DIR/bench/launcher-win/launcher_win_bench.exe" "$ROUNDS" "$WARMUP" \
  "empty-gui=$(winpath "$tmp/bench_empty_gui.exe")" \
  "morv-direct=$(winpath "$tmp/direct/morv.exe")" \
  "morv-restart=$(winpath "$tmp/restart/morv.exe")"
