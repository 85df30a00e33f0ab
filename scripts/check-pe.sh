#!/usr/bin/env bash
# Checks that a Windows build loads on the Windows it is for (header fields,
# every import against scripts/pe-imports.allow, TLS callbacks: see
# check_pe.py) and carries the program's string table.
#   scripts/check-pe.sh EXE i686|x86_64
set -euo pipefail
exe=$1 machine=$2
[ "$machine" = x64 ] && machine=x86_64
info=$(file "$exe")
case $machine in
  i686) [[ $info == *"PE32 executable (GUI) Intel 80386"* ]] || { echo "not a PE32 GUI program: $info"; exit 1; } ;;
  x86_64) [[ $info == *"PE32+ executable (GUI) x86-64"* ]] || { echo "not a PE32+ GUI program: $info"; exit 1; } ;;
esac
python3 "$(dirname "$0")/check_pe.py" "$exe" "$machine"
# The string table in UTF-16: every resource string must be there.
strings -el "$exe" > /tmp/qzpe-strings.$$
for s in "Halden RT-2210 Series" "FILE:"; do
  grep -q -- "$s" /tmp/qzpe-strings.$$ || { echo "string resource '$s' missing"; rm -f /tmp/qzpe-strings.$$; exit 1; }
done
rm -f /tmp/qzpe-strings.$$
echo "$exe: string table present"
