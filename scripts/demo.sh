#!/usr/bin/env bash
# The main job: sets up, builds a Release morv, libmorv-ts.so, the Java and
# JavaScript grammars and the viewer, lays out an application image and
# starts it. morv starts the JVM, whose viewer parses the given file (its own
# source by default; .js files with the JavaScript grammar, others with the
# Java one) through libmorv-ts.so and prints it highlighted.
#
#   bash scripts/demo.sh [file]
#
# Environment: BUILD_DIR (default build/release), IMAGE_DIR (default
# <build dir>/demo-image), MORV_JAVA_HOME (default the Debian OpenJDK 17),
# NO_COLOR (set: plain text), SKIP_SETUP=1 (skip scripts/setup.sh).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build/release}
IMAGE=${IMAGE_DIR:-$BUILD_DIR/demo-image}
JDK=${MORV_JAVA_HOME:-/usr/lib/jvm/java-17-openjdk-amd64}
JOBS=${JOBS:-$(nproc)}

# Resolved before anything changes directory.
file=
if [ $# -gt 0 ]; then
  if [ ! -f "$1" ]; then
    echo "demo: $1: no such file" >&2
    exit 1
  fi
  file=$(realpath -- "$1")
  shift
fi

if [ "${SKIP_SETUP:-0}" != 1 ]; then
  "$ROOT/scripts/setup.sh"
fi

echo "demo: building morv, morv-ts, the Java and JavaScript grammars and the viewer in $BUILD_DIR" >&2
cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DMORV_TESTS=OFF -DMORV_DEMO=ON \
  -DJava_JAVAC_EXECUTABLE="$JDK/bin/javac" -DJava_JAR_EXECUTABLE="$JDK/bin/jar" >/dev/null
cmake --build "$BUILD_DIR" -j "$JOBS" --target morv morv-ts tree-sitter-java tree-sitter-javascript morv-demo-viewer >/dev/null

# The image: morv at its root, the application beside it in app/, and a
# runtime of its own made by jlink (only the modules the viewer uses), so
# the image does not depend on the JDK it was built with; its class-data
# sharing archive spares every start the parsing of the core classes.
stamp="$IMAGE/runtime/.morv-jdk"
if [ ! -f "$stamp" ] || [ "$(cat "$stamp")" != "$JDK" ]; then
  echo "demo: creating the runtime with jlink" >&2
  rm -rf "$IMAGE/runtime"
  mkdir -p "$IMAGE"
  "$JDK/bin/jlink" --add-modules java.base,java.logging \
    --generate-cds-archive --strip-debug --no-header-files --no-man-pages --output "$IMAGE/runtime"
  echo "$JDK" >"$stamp"
fi
mkdir -p "$IMAGE/app/src"
rm -f "$IMAGE/app/queries/highlights.scm"
install -m 755 "$BUILD_DIR/cmake/targets/morv" "$IMAGE/morv"
cp "$BUILD_DIR/parse-bridge/libmorv-ts.so" "$BUILD_DIR/parse-bridge/libtree-sitter-java.so" \
  "$BUILD_DIR/parse-bridge/libtree-sitter-javascript.so" "$IMAGE/app/"
cp "$BUILD_DIR/demo/viewer.jar" "$BUILD_DIR/bindings/java/morv-ts.jar" "$IMAGE/app/"
cp "$(readlink -f /usr/share/java/jna.jar)" "$IMAGE/app/jna.jar"
for grammar in java javascript; do
  mkdir -p "$IMAGE/app/queries/$grammar"
  cp "$ROOT/third_party/node_modules/tree-sitter-$grammar/queries/highlights.scm" "$IMAGE/app/queries/$grammar/"
done
cp "$ROOT/demo/viewer/morv/demo/Viewer.java" "$IMAGE/app/src/"
# Debian's JNA keeps its native part (libjna-jni) outside the jar, in the JNI
# directory that the Debian JVM lists in java.library.path by default.
cat >"$IMAGE/app/morv.cfg" <<'EOF'
[Application]
app.classpath=$APPDIR/viewer.jar
app.classpath=$APPDIR/morv-ts.jar
app.classpath=$APPDIR/jna.jar
app.mainclass=morv.demo.Viewer

[JavaOptions]
java-options=-Dmorv.demo.appdir=$APPDIR
java-options=-Djna.library.path=$APPDIR
java-options=-Xshare:auto

[ArgOptions]
arguments=$APPDIR/src/Viewer.java
EOF

echo "demo: $IMAGE/morv ${file:-(its own source)}" >&2
if [ -n "$file" ]; then
  exec "$IMAGE/morv" "$file" "$@"
else
  exec "$IMAGE/morv"
fi
