#!/usr/bin/env bash
# Makes the large real inputs of the bridge benchmarks, each at least 5 MB and
# free of syntax errors (every file is checked alone, and the result whole):
#
#   <dir>/java-util.java   java.util sources of Debian's openjdk-17-source
#   <dir>/node-modules.js  JavaScript files of the machine's Node.js installation
#
#   bash scripts/bench-inputs.sh [dir]      (default build/inputs)
#
# Prints the two paths. Run scripts/setup.sh first (it installs the grammars).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=$(mkdir -p "${1:-$ROOT/build/inputs}" && cd "${1:-$ROOT/build/inputs}" && pwd)
MIN_BYTES=5000000
JDK_SOURCE_VERSION=17.0.21.1+2-1~deb12u1
NODE=$ROOT/third_party/node_modules
LIB=$NODE/tree-sitter/vendor/tree-sitter/lib

filter=$OUT/clean_files
if [ ! -x "$filter" ] || [ "$ROOT/bench/inputs/clean_files.c" -nt "$filter" ]; then
  echo "bench-inputs: building the syntax check" >&2
  cc -O1 -w -o "$filter" -I "$LIB/include" -I "$LIB/src" \
    -I "$NODE/tree-sitter-java/src" -I "$NODE/tree-sitter-javascript/src" \
    "$ROOT/bench/inputs/clean_files.c" "$LIB/src/lib.c" \
    "$NODE/tree-sitter-java/src/parser.c" \
    "$NODE/tree-sitter-javascript/src/parser.c" "$NODE/tree-sitter-javascript/src/scanner.c"
fi

# Concatenates the clean files of a list, in order, until MIN_BYTES; then
# checks the whole once more.
build_corpus() {
  local language=$1 target=$2 list=$3
  local tmp=$target.tmp
  : >"$tmp"
  xargs -d '\n' "$filter" "$language" <"$list" >"$list.clean"
  while IFS= read -r f; do
    if [ "$(stat -c %s "$tmp")" -ge "$MIN_BYTES" ]; then
      break
    fi
    # A leading "#!" line is only valid at the start of a whole file.
    sed '1{/^#!/d}' "$f" >>"$tmp"
    printf '\n' >>"$tmp"
  done <"$list.clean"
  if [ "$(stat -c %s "$tmp")" -lt "$MIN_BYTES" ]; then
    echo "bench-inputs: only $(stat -c %s "$tmp") bytes of clean $language" >&2
    exit 1
  fi
  if [ -z "$("$filter" "$language" "$tmp")" ]; then
    echo "bench-inputs: the concatenated $language has syntax errors" >&2
    exit 1
  fi
  mv "$tmp" "$target"
}

java=$OUT/java-util.java
if [ ! -f "$java" ]; then
  work=$OUT/jdk-source
  mkdir -p "$work"
  if ! ls "$work"/openjdk-17-source_*.deb >/dev/null 2>&1; then
    echo "bench-inputs: fetching openjdk-17-source $JDK_SOURCE_VERSION" >&2
    # Standard output carries only the two paths: apt's progress goes to stderr.
    (cd "$work" && { apt-get download "openjdk-17-source=$JDK_SOURCE_VERSION" ||
      { apt-get update >/dev/null && apt-get download "openjdk-17-source=$JDK_SOURCE_VERSION"; }; }) >&2
  fi
  dpkg-deb -x "$work"/openjdk-17-source_*.deb "$work/deb"
  zip=$(find "$work/deb" -name src.zip | head -n1)
  rm -rf "$work/src"
  mkdir -p "$work/src"
  (cd "$work/src" && python3 -c 'import sys, zipfile
z = zipfile.ZipFile(sys.argv[1])
for n in z.namelist():
    if n.startswith("java.base/java/util/") and n.endswith(".java"):
        z.extract(n)' "$zip")
  find "$work/src/java.base/java/util" -name '*.java' | LC_ALL=C sort >"$work/list"
  build_corpus java "$java" "$work/list"
fi

js=$OUT/node-modules.js
if [ ! -f "$js" ]; then
  dirs=()
  for d in /usr/lib/node_modules /usr/share/nodejs; do
    if [ -d "$d" ]; then dirs+=("$d"); fi
  done
  find "${dirs[@]}" -name '*.js' -size +1k |
    grep -v '/test/\|/tests/\|\.min\.js$' | LC_ALL=C sort >"$OUT/js-list"
  build_corpus javascript "$js" "$OUT/js-list"
fi

echo "$java"
echo "$js"
