#!/usr/bin/env bash
# Builds the bench preset's JVM hot-path and structure benchmark and runs it
# on the 5 MB Java and JavaScript inputs of scripts/bench-inputs.sh (the
# embedded-language part generates its HTML page from the JavaScript input):
#
#   bash bench/jvm/hot-path.sh            (BENCH_ONLY=java|javascript|embedded: one part)
exec bash "$(dirname "${BASH_SOURCE[0]}")/run.sh" HotPathJvmBench
