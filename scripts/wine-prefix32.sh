#!/usr/bin/env bash
# Makes a 32-bit Wine prefix at the given path unless one is there already.
#   scripts/wine-prefix32.sh PREFIX
set -euo pipefail
prefix=$1
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# A prefix made for another architecture (a 64-bit one has syswow64 and a
# second registry view) is made again.
if ! grep -qs '^#arch=win32' "$prefix/system.reg"; then
  rm -rf "$prefix"
  WINEARCH=win32 WINEPREFIX=$prefix /usr/lib/wine/wine wineboot -i >/dev/null 2>&1 || true
  WINEPREFIX=$prefix wineserver -w || true
fi
grep -qs '^#arch=win32' "$prefix/system.reg" || { echo "could not create a 32-bit Wine prefix at $prefix"; exit 1; }
