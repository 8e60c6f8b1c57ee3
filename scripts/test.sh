#!/usr/bin/env bash
# The whole test run: set-up, then configure, build and run the native suite
# (ASan + UBSan), the Windows suite (MinGW-w64, under Wine) and the fuzz
# targets. Exits non-zero when anything fails; ends with the case counts.
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
JOBS=${JOBS:-$(nproc)}

"$ROOT/scripts/setup.sh" || exit 1

declare -A status
suites=(native windows fuzz)

run_suite() {
  local preset=$1
  rm -rf "build/$preset/test-results"
  cmake --preset "$preset" >/dev/null &&
    cmake --build --preset "$preset" -j "$JOBS" &&
    ctest --test-dir "build/$preset" --output-on-failure -j "$JOBS" --timeout 900
}

for s in "${suites[@]}"; do
  echo "=== $s suite"
  if [ "$s" = windows ]; then
    prefix="$ROOT/build/windows/wineprefix"
    # One persistent wine server for the whole suite saves its start-up per
    # test. Wine's own services (started with the first program) then live as
    # long as the server: started here, they hold none of CTest's output
    # pipes, which would otherwise keep a finished test from ever ending.
    WINEPREFIX="$prefix" wineserver -p 2>/dev/null || true
    env -u DISPLAY WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
      wine cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 || true
    run_suite "$s"; status[$s]=$?
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  else
    run_suite "$s"; status[$s]=$?
  fi
done

echo
echo "=== summary"
total_pass=0; total_fail=0; rc=0
for s in "${suites[@]}"; do
  read -r cases failures < <(python3 "$ROOT/scripts/count_results.py" "build/$s")
  passed=$((cases - failures))
  total_pass=$((total_pass + passed)); total_fail=$((total_fail + failures))
  if [ "${status[$s]}" -ne 0 ]; then
    verdict=FAILED; rc=1
    [ "$failures" -eq 0 ] && total_fail=$((total_fail + 1))
  else
    verdict=ok
  fi
  echo "$s: $passed passed, $failures failed ($verdict)"
done
echo "$total_pass passed, $total_fail failed"
exit $rc
