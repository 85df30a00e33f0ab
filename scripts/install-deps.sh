#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing:
# all of them, or with "host" those of the host build alone. Run as root or
# with sudo. The shipped program is a 32-bit one: Wine's 32-bit loader
# (wine32, an i386 package) runs it, so the i386 architecture is added to
# dpkg once, when that package is missing.
set -euo pipefail
packages=(cmake g++ make python3 libsqlite3-dev sqlite3 libgtest-dev libgmock-dev libbenchmark-dev
          clang libclang-rt-14-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
          binutils-mingw-w64-x86-64 wine wine64 wine32:i386 file python3-jsonschema dpkg-dev)
packages+=(lintian)
# "install-deps.sh host" installs only what the host build needs (scripts/demo.sh).
host_packages=(cmake g++ make python3 libsqlite3-dev libgtest-dev libgmock-dev)
case ${1:-all} in
  host) packages=("${host_packages[@]}") ;;
  all) ;;
  *) echo "usage: install-deps.sh [host|all]" >&2; exit 2 ;;
esac
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
