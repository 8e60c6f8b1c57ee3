#!/usr/bin/env bash
# Installs what a fresh Debian bookworm machine lacks for building and testing
# morv, then prepares the npm dependencies and the PCRE2 sources. Running it
# again changes nothing that is already in place. (The Windows suite creates
# its Wine prefixes itself, see cmake/MorvWine.cmake.)
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

PACKAGES=(
  cmake make g++ git python3
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth
  openjdk-17-jdk-headless libjna-java
  libpcre2-dev dpkg-dev pkgconf
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

# The Windows build links PCRE2's 16-bit library statically, compiled with
# MinGW from Debian's source package of the very version the native build
# uses (10.42; the newest revision whose source the mirror serves). Fetching a source package needs a deb-src entry; one is made from the
# machine's own binary entries when none exists.
PCRE2_SOURCE_VERSION=10.42-1
PCRE2_DIR=$ROOT/third_party/pcre2
if [ "$(cat "$PCRE2_DIR/.morv-version" 2>/dev/null)" != "$PCRE2_SOURCE_VERSION" ]; then
  if ! grep -Eqs '^(deb-src|Types:.*deb-src)' /etc/apt/sources.list /etc/apt/sources.list.d/*; then
    echo "setup: adding deb-src entries for the binary ones"
    src_list=/etc/apt/sources.list.d/morv-deb-src.sources
    tmp_list=$(mktemp)
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] && [ "$f" != "$src_list" ] && sed 's/^Types: *deb$/Types: deb-src/' "$f" >>"$tmp_list"
      echo >>"$tmp_list"
    done
    if [ -f /etc/apt/sources.list ]; then
      sed -n 's/^deb \(.*bookworm.*\)$/\1/p' /etc/apt/sources.list | while read -r line; do
        printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\n\n' \
          "$(echo "$line" | awk '{print $1}')" "$(echo "$line" | awk '{print $2}')" \
          "$(echo "$line" | cut -d' ' -f3-)" >>"$tmp_list"
      done
    fi
    $SUDO install -m 644 "$tmp_list" "$src_list"
    rm -f "$tmp_list"
    $SUDO apt-get update
  fi
  echo "setup: fetching the pcre2 $PCRE2_SOURCE_VERSION source package"
  fetch=$(mktemp -d)
  (cd "$fetch" && apt-get source --only-source "pcre2=$PCRE2_SOURCE_VERSION")
  rm -rf "$PCRE2_DIR"
  mv "$fetch"/pcre2-10.42 "$PCRE2_DIR"
  rm -rf "$fetch"
  echo "$PCRE2_SOURCE_VERSION" >"$PCRE2_DIR/.morv-version"
fi

echo "setup: done"
