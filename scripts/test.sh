#!/usr/bin/env bash
# The whole test run: set-up, then the workflow (configure, build, test) of
# the native suite (ASan + UBSan), the Windows suite (MinGW-w64, under Wine)
# and the fuzz targets. Exits non-zero when anything fails; ends with CTest's
# counts of each suite.
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
JOBS=${JOBS:-$(nproc)}
export CMAKE_BUILD_PARALLEL_LEVEL=$JOBS CTEST_PARALLEL_LEVEL=$JOBS

"$ROOT/scripts/setup.sh" || exit 1

suites=(native windows fuzz)
declare -A summary
total_pass=0; total_fail=0; rc=0

for s in "${suites[@]}"; do
  echo "=== $s suite"
  # The test presets write CTest's JUnit report here; removed first, so a
  # suite that fails before its tests run has no counts at all.
  report="build/$s/junit.xml"
  rm -f "$report"
  cmake --workflow --preset "$s"; status=$?
  # CTest's own verdicts: "run" passed; "fail" and "notrun" (a program
  # missing, or a fixture it needs failed) failed, as in CTest's summary.
  passed=0; failures=0
  if [ -f "$report" ]; then
    passed=$(grep -o 'status="run"' "$report" | wc -l)
    failures=$(grep -Eo 'status="(fail|notrun)"' "$report" | wc -l)
  fi
  if [ "$status" -ne 0 ]; then
    verdict=FAILED; rc=1
    # A suite that failed without a failed test (it did not configure or
    # build) counts as one failure.
    [ "$failures" -eq 0 ] && failures=1
  else
    verdict=ok
  fi
  total_pass=$((total_pass + passed)); total_fail=$((total_fail + failures))
  summary[$s]="$s: $passed passed, $failures failed ($verdict)"
done

echo
echo "=== summary"
for s in "${suites[@]}"; do
  echo "${summary[$s]}"
done
echo "$total_pass passed, $total_fail failed"
exit $rc
