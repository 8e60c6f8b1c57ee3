#!/usr/bin/env bash
# The Windows launcher at work: sets up, builds morv.exe with MinGW-w64, lays
# out a sample application image whose "Java runtime" is the test runtime (a
# jli.dll whose JLI_Launch records what it receives instead of starting a
# JVM), runs it under Wine with a few arguments and shows what the launcher
# did: the JVM argument vector and environment the runtime received, whether
# the launcher restarted itself, and the exit code.
#
#   bash scripts/demo-windows.sh [arguments...]
#
# Environment: SKIP_SETUP=1 (skip scripts/setup.sh), KEEP_IMAGE=1 (leave the
# image in place and print where it is), BUILD_DIR (another build directory
# than the windows preset's build/windows).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
JOBS=${JOBS:-$(nproc)}

if [ $# -eq 0 ]; then
  set -- "hello world" 'C:\My Dir\' 'say "hi"' '' '李明'
fi

if [ "${SKIP_SETUP:-0}" != 1 ]; then
  "$ROOT/scripts/setup.sh"
fi

targets=(morv morv_test_jli e2e_run_attached)
if [ -z "${BUILD_DIR:-}" ]; then
  BUILD_DIR=$ROOT/build/windows
  echo "demo: building morv.exe and the test runtime in $BUILD_DIR" >&2
  (cd "$ROOT" && cmake --preset windows >/dev/null &&
    cmake --build --preset windows -j "$JOBS" --target "${targets[@]}" >/dev/null)
else
  echo "demo: building morv.exe and the test runtime in $BUILD_DIR" >&2
  cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$BUILD_DIR" -j "$JOBS" --target "${targets[@]}" >/dev/null
fi

# The build's Wine environment and prefix, with one server (and Wine's
# services) for all the runs below.
. "$BUILD_DIR/wine-env.sh"
morv_wine_start

tmp=$(mktemp -d)
if [ "${KEEP_IMAGE:-0}" = 1 ]; then
  echo "demo: the image stays in $tmp" >&2
  trap 'morv_wine_stop' EXIT
else
  trap 'rm -rf "$tmp"; morv_wine_stop' EXIT
fi
image="$tmp/Morv Demo"
mkdir -p "$image/app" "$image/runtime/bin"
cp "$BUILD_DIR/cmake/targets/morv.exe" "$image/"
cp "$BUILD_DIR/tests/testruntime/jli.dll" "$image/runtime/bin/"
printf 'not really a jar' >"$image/app/demo.jar"
write_cfg() {
  cat >"$image/app/morv.cfg" <<EOF
[Application]
app.classpath=\$APPDIR\\demo.jar
app.mainclass=demo.Main
$1
[JavaOptions]
java-options=-Xmx256m
java-options=-Ddemo.home=\$ROOTDIR

[ArgOptions]
arguments=configured-argument
EOF
}

winpath() { echo "Z:${1//\//\\}"; }
record="$tmp/record.txt"
export MORV_TEST_JLI_RECORD=$(winpath "$record")
export MORV_TEST_JLI_QUERY_ENV="PATH;DEMO_GREETING"
export DEMO_GREETING="set in the shell, inherited by the runtime"
runner=$BUILD_DIR/tests/e2e/windows/e2e_run_attached.exe

# Runs morv.exe once and reports on it. $1: title; the rest: arguments.
launch() {
  local title=$1
  shift
  rm -f "$record"
  echo
  echo "=== $title"
  printf 'command: morv.exe'
  printf ' [%s]' "$@"
  echo
  local out rc=0
  out=$(wine "$runner" "$(winpath "$image/morv.exe")" "$@" 2>"$tmp/stderr.txt") || rc=$?
  python3 - "$record" "$out" "$rc" "$tmp/stderr.txt" <<'PY'
import sys

record_path, runner_out, rc, stderr_path = sys.argv[1:5]
launcher = dict(line.split(" ", 1) for line in runner_out.splitlines() if " " in line)

def entries(data):
    pos = 0
    while pos < len(data):
        blank = data.index(b" ", pos)
        key = data[pos:blank].decode()
        pos = blank + 1
        if data[pos:pos + 2] == b"-\n":
            yield key, None
            pos += 2
            continue
        end = data.index(b" ", pos)
        length = int(data[pos:end])
        pos = end + 1
        yield key, data[pos:pos + length]
        pos += length + 1

try:
    data = open(record_path, "rb").read()
except FileNotFoundError:
    data = b""
calls = []
for key, value in entries(data):
    if key == "call":
        calls.append({"pid": int(value), "args": [], "env": []})
    elif key == "arg":
        calls[-1]["args"].append(value)
    elif key in ("env", "env-unset"):
        calls[-1]["env"].append((key, value))

stderr = open(stderr_path, "rb").read().decode("utf-8", "replace").replace("\r", "")
if not calls:
    print("the runtime was not called")
for call in calls:
    print("JVM arguments received by JLI_Launch (bytes shown as UTF-8):")
    for i, arg in enumerate(call["args"]):
        print(f"  [{i}] {arg.decode('utf-8', 'replace')!r}")
    print("environment seen by JLI_Launch:")
    for kind, value in call["env"]:
        text = value.decode("utf-8", "replace")
        if kind == "env-unset":
            print(f"  {text} (not set)")
        else:
            name, _, val = text.partition("=")
            if name == "PATH":
                val = "...;" + val.split(";")[-1] + "   (last entry: the application directory)"
            print(f"  {name}={val}")
    first = int(launcher.get("pid", "0"))
    if call["pid"] == first:
        print(f"restarted: no (the launcher, process {first}, started the JVM itself)")
    else:
        print(f"restarted: yes (the launcher, process {first}, restarted itself in a job; "
              f"the child, process {call['pid']}, started the JVM)")
if stderr.strip():
    print("standard error:")
    for line in stderr.strip().splitlines():
        print("  " + line)
code = int(launcher.get("exit", rc))
print(f"exit code: {code}" + (f" (0x{code:08X})" if code > 255 else ""))
PY
}

write_cfg ""
launch "restart path (the default)" "$@"

write_cfg "win.norestart=true"
launch "direct path (win.norestart=true)" "$@"

write_cfg ""
MORV_TEST_JLI_EXIT=42 launch "the runtime ends the process with code 42" "$@"

MORV_TEST_JLI_RESULT=1 launch "JLI_Launch fails (returns 1)" "$@"

rm "$image/runtime/bin/jli.dll"
launch "no runtime in the image"

cp "$BUILD_DIR/tests/testruntime/jli.dll" "$image/runtime/bin/"
VARNO_DEBUG=true launch "VARNO_DEBUG=true: the launcher's trace" a "b c"
