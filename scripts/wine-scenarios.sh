#!/usr/bin/env bash
# Runs the scenarios against the Windows x64 build under Wine, with a warm
# Wine prefix made once and copied per scenario. The test monitors and the
# spooler lister (hrtpmon.dll, hrtlmon.dll, spoolstate.exe) are taken from the
# program's build folder.
#   scripts/wine-scenarios.sh [QZINST32.EXE] [scenario names...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-$top/build/mingw-x64/QZINST32.EXE}
template=${QZ_WINE_TEMPLATE:-/tmp/qzwine-template}
for f in "$exe" "$(dirname "$exe")"/{hrtpmon.dll,hrtlmon.dll,spoolstate.exe}; do
  [ -f "$f" ] || { echo "no $f: cmake --preset mingw-x64 && cmake --build --preset mingw-x64"; exit 1; }
done
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$template/system.reg" ]; then
  rm -rf "$template"
  WINEPREFIX=$template /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
  WINEPREFIX=$template wineserver -w || true
fi
[ -f "$template/system.reg" ] || { echo "could not create a Wine prefix"; exit 1; }
python3 "$top/tests/scenarios/run.py" --wine "$exe" --wine-template "$template" "${@:2}"
