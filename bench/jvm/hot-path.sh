#!/usr/bin/env bash
# Builds the bench preset's JVM hot-path and structure benchmark and runs it
# on the 5 MB Java and JavaScript inputs of scripts/bench-inputs.sh (the
# embedded-language part generates its HTML page from the JavaScript input):
#
#   bash bench/jvm/hot-path.sh            (BENCH_ONLY=java|javascript|embedded: one part)
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
B=$ROOT/build/bench
mapfile -t inputs < <(bash "$ROOT/scripts/bench-inputs.sh")
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target morv-jvm-bench-jar >/dev/null
exec java -Xmx3g ${BENCH_ONLY:+-Dbench.only=$BENCH_ONLY} -Dmorv.ts.library="$B/parse-bridge/libmorv-ts.so" \
  -cp "$B/bindings/java/morv-ts.jar:/usr/share/java/jna.jar:$B/bench/jvm/jvm-bench.jar" HotPathJvmBench \
  "$B/bench/jvm/libmorv-jvm-bench.so" "$B/parse-bridge" "$ROOT/third_party/node_modules" \
  "${inputs[0]}" "${inputs[1]}"
