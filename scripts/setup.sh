#!/usr/bin/env bash
# Installs what a fresh Debian bookworm machine lacks for building and testing
# morv, then prepares the npm dependencies and the Wine prefix. Running it
# again changes nothing that is already in place.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

PACKAGES=(
  cmake make g++ git python3
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth
  openjdk-17-jdk-headless libjna-java
)

SUDO=
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if ! command -v npm >/dev/null 2>&1; then
  missing+=(nodejs npm)
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

# tree-sitter and the test grammars, pinned by the lockfile.
if [ -f "$ROOT/third_party/package-lock.json" ]; then
  stamp="$ROOT/third_party/node_modules/.morv-lock"
  if ! cmp -s "$ROOT/third_party/package-lock.json" "$stamp"; then
    (cd "$ROOT/third_party" && npm ci --ignore-scripts --no-audit --no-fund)
    cp "$ROOT/third_party/package-lock.json" "$stamp"
  fi
fi

# The Windows suite runs in Wine prefixes inside its build tree (one without
# a display, one for the tests under xvfb-run); creating them here keeps the
# first test from paying for it or racing another test for it.
for prefix in "$ROOT/build/windows/wineprefix" "$ROOT/build/windows/wineprefix-display"; do
  if [ ! -f "$prefix/system.reg" ]; then
    echo "setup: creating the Wine prefix $prefix"
    mkdir -p "$prefix"
    env -u DISPLAY WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
      wineboot --init >/dev/null 2>&1 || true
    WINEPREFIX="$prefix" wineserver -w || true
    if [ ! -f "$prefix/system.reg" ]; then
      echo "setup: wineboot did not create $prefix" >&2
      exit 1
    fi
  fi
done
echo "setup: done"
