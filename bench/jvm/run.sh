#!/usr/bin/env bash
# Builds the bench preset's JVM benchmark and runs it on the 5 MB Java and
# JavaScript inputs of scripts/bench-inputs.sh:
#
#   bash bench/jvm/run.sh
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
B=$ROOT/build/bench
mapfile -t inputs < <(bash "$ROOT/scripts/bench-inputs.sh")
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target morv-jvm-bench-jar >/dev/null
exec java -Xmx2g -Dmorv.ts.library="$B/parse-bridge/libmorv-ts.so" \
  -cp "$B/bindings/java/morv-ts.jar:/usr/share/java/jna.jar:$B/bench/jvm/jvm-bench.jar" JvmBench \
  "$B/bench/jvm/libmorv-jvm-bench.so" "$B/parse-bridge" "$ROOT/third_party/node_modules" \
  "${inputs[0]}" "${inputs[1]}"
