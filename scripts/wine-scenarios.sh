#!/usr/bin/env bash
# Runs the scenarios against the shipped 32-bit build under Wine, in a 32-bit
# Wine prefix made once and copied per scenario (Windows 98 and NT 4.0 are
# 32-bit systems: one system directory, no registry redirection). The test
# monitors and the spooler lister (hrtpmon.dll, hrtlmon.dll, spoolstate.exe)
# are taken from the program's build folder.
#   scripts/wine-scenarios.sh [QZINST32.EXE] [scenario names...]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
exe=${1:-$top/build/mingw-i686/QZINST32.EXE}
template=${QZ_WINE_TEMPLATE:-/tmp/qzwine32-template}
for f in "$exe" "$(dirname "$exe")"/{hrtpmon.dll,hrtlmon.dll,spoolstate.exe}; do
  [ -f "$f" ] || { echo "no $f: cmake --preset mingw-i686 && cmake --build --preset mingw-i686"; exit 1; }
done
[ -x /usr/lib/wine/wine ] || { echo "no 32-bit Wine (/usr/lib/wine/wine): scripts/install-deps.sh installs wine32:i386"; exit 1; }
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
"$top/scripts/wine-prefix32.sh" "$template"
python3 "$top/tests/scenarios/run.py" --wine "$exe" --wine-template "$template" "${@:2}"
