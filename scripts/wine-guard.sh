#!/usr/bin/env bash
# Checks the single-instance guard of the 32-bit QZINST32.EXE under Wine with
# two real processes (tests/wine/guardtest.cpp), on Wine's NT version and with
# its version set to Windows 98, each in a fresh copy of the 32-bit prefix.
#   scripts/wine-guard.sh [QZINST32.EXE]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
exe=$(cd "$(dirname "${1:-$top/build/mingw-i686/QZINST32.EXE}")" && pwd)/$(basename "${1:-QZINST32.EXE}")
guard=$(dirname "$exe")/guardtest.exe
for f in "$exe" "$guard"; do
  [ -f "$f" ] || { echo "no $f: cmake --preset mingw-i686 && cmake --build --preset mingw-i686"; exit 1; }
done
template=${QZ_WINE_TEMPLATE:-/tmp/qzwine32-template}
"$top/scripts/wine-prefix32.sh" "$template"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
prefix=$(mktemp -d /tmp/qzguard.XXXXXX)
trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; rm -rf "$prefix"' EXIT
winpath() { echo "Z:${1//\//\\}"; }
status=0
for version in nt win98; do
  rm -rf "$prefix" && cp -a "$template" "$prefix"
  export WINEPREFIX=$prefix
  if [ "$version" = win98 ]; then
    printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine]\r\n"Version"="win98"\r\n' > "$prefix/version.reg"
    /usr/lib/wine/wine regedit /S "$(winpath "$prefix/version.reg")"
  fi
  echo "--- the instance guard, Wine's version: $version"
  # Output through a file: a Wine system process started here may outlive the
  # program and hold a pipe open.
  /usr/lib/wine/wine "$guard" "$(winpath "$exe")" > "$prefix/guard.out" 2>&1 || status=1
  sed 's/\r$//' "$prefix/guard.out"
  wineserver -k 2>/dev/null || true
done
exit $status
