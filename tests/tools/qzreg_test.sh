#!/bin/sh
# Runs the built qzreg against fresh machines: init, export/import round trip,
# a refused .reg file, a damaged registry.db, usage errors and the listings.
# Usage: qzreg_test.sh <path to qzreg>
QZREG=${1:?usage: qzreg_test.sh QZREG}
WORK=$(mktemp -d /tmp/qzregtest.XXXXXX) || exit 1
trap 'rm -rf "$WORK"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_status() {  # expected, description, command...
  want=$1; what=$2; shift 2
  "$@" >"$WORK/out" 2>"$WORK/err"; got=$?
  [ "$got" = "$want" ] || fail "$what: status $got, expected $want ($(cat "$WORK/err"))"
}

for os in win98 nt; do
  export QZINST_ROOT="$WORK/$os"
  expect_status 0 "init --os $os" "$QZREG" init --os "$os"
  expect_status 1 "second init refused" "$QZREG" init --os "$os"
  "$QZREG" export >"$WORK/$os.reg" || fail "export on $os"
  grep -q '"IPAddress"="192.168.1.20"' "$WORK/$os.reg" || fail "seed lacks the TCP/IP address"
  grep -q '^\[HKEY_LOCAL_MACHINE\\Enum\\BIOS\\\*PNP0400\\0D\]$' "$WORK/$os.reg" ||
    fail "seed lacks the parallel port node"
  for cmd in printers drivers monitors processors ports; do
    expect_status 0 "$cmd on $os" "$QZREG" "$cmd"
  done
done

# A machine built from the export equals the exported one.
export QZINST_ROOT="$WORK/copy"
mkdir -p "$QZINST_ROOT" && printf '[Machine]\nOS=win98\nCodePage=1252\n' >"$QZINST_ROOT/machine.ini"
"$QZREG" import "$WORK/win98.reg" || fail "import of an export"
"$QZREG" export >"$WORK/copy.reg"
cmp -s "$WORK/win98.reg" "$WORK/copy.reg" || fail "export, import, export differs"

# A bad line is named and nothing of the file is imported.
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\QzNew]\n"a"="1"\n"b"=dword:xyz\n' >"$WORK/bad.reg"
expect_status 1 "bad .reg refused" "$QZREG" import "$WORK/bad.reg"
grep -q 'line 5' "$WORK/err" || fail "the bad line is not named: $(cat "$WORK/err")"
expect_status 1 "nothing imported" "$QZREG" export 'HKLM\Software\QzNew'

# A damaged registry.db is reported and left as it was.
echo "not a database" >"$QZINST_ROOT/registry.db"
expect_status 3 "damaged registry.db" "$QZREG" export
grep -q 'damaged or not a QZINST32 registry' "$WORK/err" || fail "damage not reported"
[ "$(cat "$QZINST_ROOT/registry.db")" = "not a database" ] || fail "damaged registry.db changed"

expect_status 2 "unknown command" "$QZREG" frobnicate
expect_status 0 "--help" "$QZREG" --help
grep -q 'export \[KEY\] \[--v5\]' "$WORK/out" || fail "help lacks export"

[ "$failures" = 0 ] && echo "qzreg: all checks passed"
exit "$failures"
