#!/usr/bin/env bash
# The main job on a fresh default machine: installs the example RT-2210 printer
# with command 2 and shows what the spooler holds afterwards.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
# Built every time: a build that is up to date costs a moment, and a stale
# program would show what the sources no longer do.
if [ ! -x build/${QZ_BUILD:-host}/qzinst32 ]; then
  scripts/install-deps.sh host
fi
cmake --preset "${QZ_BUILD:-host}" >/dev/null
cmake --build --preset "${QZ_BUILD:-host}" -j"$(nproc)" --target qzinst32 qzreg >/dev/null
export QZINST_ROOT=${QZINST_ROOT:-$top/build/demo-machine}
rm -rf "$QZINST_ROOT"
build/${QZ_BUILD:-host}/qzreg init --os "${QZ_OS:-win98}"
# The package's setup copies its files first, where Windows takes them from:
# the monitors into the system directory, the "Windows 4.0" driver's files
# into its printer-driver directory (the system directory on Windows 98,
# spool\DRIVERS\WIN40 on NT). The spooler looks for them and loads nothing:
# empty files stand in for them.
sys_dir="$QZINST_ROOT"/drive_c/WINDOWS/SYSTEM driver_dir=$sys_dir
if [ "${QZ_OS:-win98}" = nt ]; then
  sys_dir="$QZINST_ROOT"/drive_c/WINDOWS/system32 driver_dir=$sys_dir/spool/DRIVERS/WIN40
fi
(cd "$sys_dir" && touch hrtpmon.dll hrtlmon.dll)
(cd "$driver_dir" && touch HRT2210.DRV HRT2210.DAT HRT2210U.DLL HRT2210.HLP)
# On Windows NT the package's NT setup installs the printer's "Windows NT x86"
# driver before command 2 (which adds the "Windows 4.0" one only): its files go
# into that environment's printer-driver directory, then the spooler takes the
# driver.
if [ "${QZ_OS:-win98}" = nt ]; then
  (cd "$sys_dir/spool/DRIVERS/W32X86" && touch HRT2210.DRV HRT2210.DAT HRT2210U.DLL HRT2210.HLP)
  echo "--- qzreg driver add \"Halden RT-2210 Series\" --environment \"Windows NT x86\" ..."
  build/${QZ_BUILD:-host}/qzreg driver add "Halden RT-2210 Series" --environment "Windows NT x86" \
    --driver HRT2210.DRV --data HRT2210.DAT --config HRT2210U.DLL --help HRT2210.HLP \
    --monitor "Halden Language Monitor" --datatype RAW
fi
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
