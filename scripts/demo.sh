#!/usr/bin/env bash
# The main job on a fresh default machine: installs the example RT-2210 printer
# with command 2 and shows what the spooler holds afterwards.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
if [ ! -x build/${QZ_BUILD:-host}/qzinst32 ] || [ ! -x build/${QZ_BUILD:-host}/qzreg ]; then
  scripts/install-deps.sh
  cmake --preset host >/dev/null
  cmake --build --preset host -j"$(nproc)" --target qzinst32 qzreg
fi
export QZINST_ROOT=${QZINST_ROOT:-$top/build/demo-machine}
rm -rf "$QZINST_ROOT"
build/${QZ_BUILD:-host}/qzreg init --os "${QZ_OS:-win98}"
echo "--- qzinst32 2 examples/rt2210.inf RT2210 LPT1:  (trace follows)"
set +e
build/${QZ_BUILD:-host}/qzinst32 2 examples/rt2210.inf RT2210 LPT1:
status=$?
set -e
echo "--- exit status $status"
for listing in printers drivers monitors processors ports; do
  echo "--- qzreg $listing"
  build/${QZ_BUILD:-host}/qzreg "$listing"
done
exit $status
