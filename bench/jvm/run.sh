#!/usr/bin/env bash
# Builds the bench preset's JVM benchmarks and runs one of them on the 5 MB
# Java and JavaScript inputs of scripts/bench-inputs.sh:
#
#   bash bench/jvm/run.sh                    morv-ts from Java against C through the bridge
#   bash bench/jvm/run.sh HotPathJvmBench    the hot path and the structure (bench/jvm/hot-path.sh)
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
B=$ROOT/build/bench
main=${1:-JvmBench}
case $main in
  JvmBench) heap=2g ;;
  HotPathJvmBench) heap=3g ;;
  *) echo "usage: $0 [JvmBench|HotPathJvmBench]" >&2; exit 2 ;;
esac
mapfile -t inputs < <(bash "$ROOT/scripts/bench-inputs.sh")
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target morv-jvm-bench-jar >/dev/null
exec java -Xmx$heap ${BENCH_ONLY:+-Dbench.only=$BENCH_ONLY} -Dmorv.ts.library="$B/parse-bridge/libmorv-ts.so" \
  -cp "$B/bindings/java/morv-ts.jar:/usr/share/java/jna.jar:$B/bench/jvm/jvm-bench.jar" "$main" \
  "$B/bench/jvm/libmorv-jvm-bench.so" "$B/parse-bridge" "$ROOT/third_party/node_modules" \
  "${inputs[0]}" "${inputs[1]}"
