#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing; run
# as root or with sudo. The shipped program is a 32-bit one: Wine's 32-bit
# loader (wine32, an i386 package) runs it, so the i386 architecture is added
# to dpkg once.
set -euo pipefail
packages=(cmake g++ make python3 libsqlite3-dev sqlite3 libgtest-dev libgmock-dev libbenchmark-dev
          clang libclang-rt-14-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
          binutils-mingw-w64-x86-64 wine wine64 wine32:i386 file python3-jsonschema dpkg-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
