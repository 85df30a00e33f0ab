#!/usr/bin/env bash
# Checks that a Windows build is a GUI executable that needs no MinGW runtime DLL
# and carries the program's string table.
set -euo pipefail
exe=$1 machine=$2   # machine: i686 or x86_64
objdump=$machine-w64-mingw32-objdump
info=$(file "$exe")
case $machine in
  i686) [[ $info == *"PE32 executable (GUI) Intel 80386"* ]] || { echo "not a PE32 GUI program: $info"; exit 1; } ;;
  x86_64) [[ $info == *"PE32+ executable (GUI) x86-64"* ]] || { echo "not a PE32+ GUI program: $info"; exit 1; } ;;
esac
dlls=$($objdump -p "$exe" | awk '/DLL Name:/ {print tolower($3)}' | sort -u)
for dll in $dlls; do
  case $dll in
    kernel32.dll|user32.dll|advapi32.dll|winspool.drv|msvcrt.dll) ;;
    *) echo "$exe needs $dll"; exit 1 ;;
  esac
done
# The string table in UTF-16: every resource string must be there.
strings -el "$exe" > /tmp/qzpe-strings.$$
for s in "Halden RT-2210 Series" "FILE:"; do
  grep -q -- "$s" /tmp/qzpe-strings.$$ || { echo "string resource '$s' missing"; rm -f /tmp/qzpe-strings.$$; exit 1; }
done
rm -f /tmp/qzpe-strings.$$
echo "$exe: $(file -b "$exe" | cut -d, -f1), imports: $(echo $dlls | tr '\n' ' ')"
