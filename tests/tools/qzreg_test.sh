#!/bin/sh
# Runs the built qzreg against fresh machines: init, export/import round trip,
# a refused .reg file, a damaged registry.db, usage errors, the listings,
# machine images, reg.exe's verbs and their limits, and regedit's UTF-16 files.
# Usage: qzreg_test.sh <path to qzreg>
QZREG=${1:?usage: qzreg_test.sh QZREG}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/qzregtest.XXXXXX") || exit 1
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
  "$QZREG" export | tr -d '\r' >"$WORK/$os.reg" || fail "export on $os"
  grep -q '"IPAddress"="192.168.1.20"' "$WORK/$os.reg" || fail "seed lacks the TCP/IP address"
  grep -q '^\[HKEY_LOCAL_MACHINE\\Enum\\BIOS\\\*PNP0400\\0D\]$' "$WORK/$os.reg" ||
    fail "seed lacks the parallel port node"
  for cmd in printers drivers monitors processors ports; do
    expect_status 0 "$cmd on $os" "$QZREG" "$cmd"
  done
done

# Listings give the same JSON fields on both machines.
for cmd in monitors processors ports; do
  QZINST_ROOT="$WORK/win98" "$QZREG" $cmd --json >"$WORK/98.json"
  QZINST_ROOT="$WORK/nt" "$QZREG" $cmd --json >"$WORK/nt.json"
  python3 -c 'import json, sys
a, b = (json.load(open(f)) for f in sys.argv[1:3])
keys = {frozenset(row) for row in a + b}
sys.exit(not a or not b or len(keys) != 1)' "$WORK/98.json" "$WORK/nt.json" || fail "$cmd fields differ: $(cat "$WORK/98.json" "$WORK/nt.json")"
done

# A bare machine built from the export equals the exported one.
export QZINST_ROOT="$WORK/copy"
expect_status 0 "init --bare" "$QZREG" init --bare
"$QZREG" import "$WORK/win98.reg" 2>"$WORK/out" >/dev/null || fail "import of an export"
grep -q '^Imported .*: [1-9][0-9]* keys added, 0 deleted; [1-9][0-9]* values added, 0 changed' "$WORK/out" ||
  fail "import summary: $(cat "$WORK/out")"
"$QZREG" export | tr -d '\r' >"$WORK/copy.reg"
cmp -s "$WORK/win98.reg" "$WORK/copy.reg" || fail "export, import, export differs"

# A bad line is named and nothing of the file is imported.
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\QzNew]\n"a"="1"\n"b"=dword:xyz\n' >"$WORK/bad.reg"
expect_status 1 "bad .reg refused" "$QZREG" import "$WORK/bad.reg"
grep -q 'line 5' "$WORK/err" || fail "the bad line is not named: $(cat "$WORK/err")"
expect_status 1 "nothing imported" "$QZREG" export 'HKLM\Software\QzNew'

# A damaged registry.db is reported and left as it was.
echo "not a database" >"$QZINST_ROOT/registry.db"
expect_status 121 "damaged registry.db" "$QZREG" export
grep -q 'damaged or not a QZINST32 registry' "$WORK/err" || fail "damage not reported"
[ "$(cat "$QZINST_ROOT/registry.db")" = "not a database" ] || fail "damaged registry.db changed"

expect_status 120 "unknown command" "$QZREG" frobnicate
expect_status 0 "--help" "$QZREG" --help
grep -q 'export \[KEY | --all\] \[FILE \[/y\]\] \[--v5\]' "$WORK/out" || fail "help lacks export"
expect_status 0 "--version" "$QZREG" --version
grep -q '^qzreg [0-9]' "$WORK/out" || fail "--version says $(cat "$WORK/out")"

# Verbs that only read never make a machine; a bad option is refused first.
export QZINST_ROOT="$WORK/none"
for cmd in "export" "query HKLM" "printers" "save $WORK/none.qzm" "import -"; do
  expect_status 121 "$cmd without a machine" "$QZREG" $cmd </dev/null
  grep -q "no machine at $WORK/none (qzreg init makes one)" "$WORK/err" || fail "$cmd: $(cat "$WORK/err")"
done
expect_status 120 "bad listing option" "$QZREG" printers --bogus
[ ! -e "$WORK/none" ] || fail "a read-only verb made a machine"
# A registry whose machine.ini is lost is named as such, not as no machine.
QZINST_ROOT="$WORK/orphan" "$QZREG" init >/dev/null && rm "$WORK/orphan/machine.ini"
QZINST_ROOT="$WORK/orphan" expect_status 121 "a registry without machine.ini" "$QZREG" query HKLM
grep -q 'registry.db but no machine.ini' "$WORK/err" || fail "orphan registry: $(cat "$WORK/err")"

# reg.exe's verbs: a CI step asserts with query's status.
export QZINST_ROOT="$WORK/verbs"
"$QZREG" init --os nt >/dev/null
K='HKLM\Software\Halden\RT-2210'
expect_status 1 "query of a missing key" "$QZREG" query "$K"
grep -q 'unable to find the specified registry key or value' "$WORK/err" || fail "query message"
expect_status 0 "add a DWORD" "$QZREG" add "$K" /v Level /t REG_DWORD /d 0x2a
expect_status 0 "add a list" "$QZREG" add "$K" /v Ports /t REG_MULTI_SZ /s , /d LPT1:,NETPRN1:
expect_status 1 "add over a value without /f" "$QZREG" add "$K" /v Level /t REG_DWORD /d 1
expect_status 0 "query of a present value" "$QZREG" query "$K" /v level
grep -q '^    Level    REG_DWORD    0x2a$' "$WORK/out" || fail "query output: $(cat "$WORK/out")"
expect_status 0 "query a key" "$QZREG" query 'HKLM\Software\Halden' /s
grep -q '^    Ports    REG_MULTI_SZ    LPT1:\\0NETPRN1:$' "$WORK/out" || fail "/s output: $(cat "$WORK/out")"
expect_status 1 "query of a missing value" "$QZREG" query "$K" /v Nope
expect_status 120 "unknown type" "$QZREG" add "$K" /v X /t REG_QWORDS /d 1
expect_status 0 "add /d without /v sets the default value" "$QZREG" add "$K" /d dflt
"$QZREG" query "$K" /ve | grep -q '^    (Default)    REG_SZ    dflt$' || fail "default value not set"
expect_status 120 "a DWORD over 32 bits" "$QZREG" add "$K" /v Big /t REG_DWORD /d 4294967296 /f
expect_status 1 "delete without /f and no terminal" "$QZREG" delete "$K" /v Level </dev/null
expect_status 0 "delete a value" "$QZREG" delete "$K" /v Level /f
expect_status 1 "deleted value gone" "$QZREG" query "$K" /v Level
expect_status 0 "delete all values" "$QZREG" delete "$K" /va /f
expect_status 1 "values gone after /va" "$QZREG" query "$K" /v Ports
expect_status 0 "the key stays after /va" "$QZREG" query "$K"
expect_status 1 "a root is not deleted" "$QZREG" delete HKLM /f
expect_status 0 "delete a tree" "$QZREG" delete 'HKLM\Software\Halden' /f
expect_status 1 "deleted tree gone" "$QZREG" query "$K"

# A regedit export: UTF-16LE, CRLF, HKEY_CURRENT_CONFIG skipped with a warning,
# characters of code page 1252 beyond Latin-1 carried both ways.
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_CONFIG\\Software\\Fonts]\r\n"LogPixels"=dword:00000060\r\n\r\n[HKEY_CURRENT_CONFIG\\System]\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Halden]\r\n"Price"="\342\202\254 5"\r\n' |
  iconv -f UTF-8 -t UTF-16LE >"$WORK/body.reg" && printf '\377\376' | cat - "$WORK/body.reg" >"$WORK/xp.reg"
expect_status 0 "import of a regedit export" "$QZREG" import - <"$WORK/xp.reg"
[ "$(grep -c 'warning: skipped the keys under HKEY_CURRENT_CONFIG' "$WORK/err")" = 1 ] ||
  fail "one warning for HKEY_CURRENT_CONFIG: $(cat "$WORK/err")"
grep -q 'Imported standard input: 1 key added' "$WORK/err" || fail "summary: $(cat "$WORK/out")"
LC_ALL=C "$QZREG" query 'HKLM\Software\Halden' /v Price | grep -q "$(printf '\200') 5" || fail "euro sign not in 1252"
"$QZREG" export --v5 'HKLM\Software\Halden' >"$WORK/v5.reg"
head -c 2 "$WORK/v5.reg" | od -An -tx1 | grep -q 'ff fe' || fail "--v5 lacks the byte-order mark"
iconv -f UTF-16LE -t UTF-8 "$WORK/v5.reg" | grep -q "$(printf '"Price"="\342\202\254 5"\r')" ||
  fail "--v5 does not carry the euro sign as U+20AC with CRLF"
"$QZREG" export 'HKLM\Software\Halden' >"$WORK/r4.reg"
[ "$(grep -c "$(printf '\r')\$" "$WORK/r4.reg")" = "$(wc -l <"$WORK/r4.reg")" ] ||
  fail "REGEDIT4 export lines do not all end in CRLF"

# Machine images: saved on one root, loaded on another, the same machine.
"$QZREG" add 'HKLM\Software\Halden' /v Kept /d yes >/dev/null
printf '[Extra]\r\nA=1\r\n' >>"$QZINST_ROOT/drive_c/WINDOWS/WIN.INI"
expect_status 1 "save into the root itself" "$QZREG" save "$QZINST_ROOT/drive_c/self.qzm"
[ ! -e "$QZINST_ROOT/drive_c/self.qzm" ] || fail "an image was saved inside its own root"
expect_status 0 "save" "$QZREG" save "$WORK/base.qzm"
"$QZREG" export --all >"$WORK/all-a.reg"
export QZINST_ROOT="$WORK/fromimage"
expect_status 0 "init --from" "$QZREG" init --from "$WORK/base.qzm"
"$QZREG" export --all >"$WORK/all-b.reg"
cmp -s "$WORK/all-a.reg" "$WORK/all-b.reg" || fail "export --all differs after init --from"
cmp -s "$WORK/verbs/drive_c/WINDOWS/WIN.INI" "$WORK/fromimage/drive_c/WINDOWS/WIN.INI" || fail "WIN.INI differs"
"$QZREG" drivers >/dev/null || fail "listing on a loaded machine"
expect_status 1 "init --from over a machine" "$QZREG" init --from "$WORK/base.qzm"
# load replaces: a value added after the save is gone afterwards.
"$QZREG" add 'HKLM\Software\Halden' /v Later /d 1 >/dev/null
expect_status 0 "load" "$QZREG" load "$WORK/base.qzm"
expect_status 1 "load dropped the later value" "$QZREG" query 'HKLM\Software\Halden' /v Later
# A damaged image leaves the machine whole.
"$QZREG" add 'HKLM\Software\Halden' /v Later /d 1 >/dev/null
"$QZREG" export --all >"$WORK/before.reg"
head -c 3000 "$WORK/base.qzm" >"$WORK/cut.qzm"
expect_status 1 "load of a cut image" "$QZREG" load "$WORK/cut.qzm"
echo "not an image" >"$WORK/text.qzm"
expect_status 1 "load of a text file" "$QZREG" load "$WORK/text.qzm"
"$QZREG" export --all >"$WORK/after.reg"
cmp -s "$WORK/before.reg" "$WORK/after.reg" || fail "a failed load changed the machine"
ls -d "$WORK"/fromimage.load-* >/dev/null 2>&1 && fail "a failed load left its folder behind"
# Images whose file list climbs out of the root, or whose registry is not
# one, are refused and leave the machine as it was.
sql() { python3 -c 'import sqlite3, sys; c = sqlite3.connect(sys.argv[1]); c.executescript(sys.argv[2]); c.commit()' "$@"; }
cp "$WORK/base.qzm" "$WORK/evil.qzm"
sql "$WORK/evil.qzm" "INSERT INTO machine_files VALUES('drive_c/../../evil', 384, 'x')" || fail "sql on an image"
expect_status 1 "an image with a path out of the root" "$QZREG" load "$WORK/evil.qzm"
grep -q "drive_c/../../evil" "$WORK/err" || fail "the bad path is not named: $(cat "$WORK/err")"
[ ! -e "$WORK/evil" ] || fail "the image wrote outside the root"
cp "$WORK/base.qzm" "$WORK/noreg.qzm"
sql "$WORK/noreg.qzm" "DROP TABLE registry_format" || fail "sql on an image"
expect_status 1 "an image without a registry" "$QZREG" load "$WORK/noreg.qzm"
"$QZREG" export --all >"$WORK/after.reg"
cmp -s "$WORK/before.reg" "$WORK/after.reg" || fail "a refused image changed the machine"
ls -d "$WORK"/fromimage.load-* >/dev/null 2>&1 && fail "a refused image left its folder behind"
# A root with other files is never replaced by an image.
mkdir "$WORK/other" && echo keep >"$WORK/other/notes.txt"
QZINST_ROOT="$WORK/other" expect_status 1 "load over a folder that is no machine" "$QZREG" load "$WORK/base.qzm"
[ "$(cat "$WORK/other/notes.txt")" = keep ] || fail "load touched a folder that is no machine"

# The spooler's lists see what the verbs change.
export QZINST_ROOT="$WORK/spooler"
"$QZREG" init >/dev/null
M='HKLM\System\CurrentControlSet\Control\Print\Monitors\Qz Test Monitor'
"$QZREG" monitors >/dev/null
"$QZREG" add "$M" /v Driver /d qztest.dll >/dev/null
"$QZREG" monitors 'qz*' | grep -q '^Qz Test Monitor ' || fail "monitors does not see an added key"
"$QZREG" delete "$M" /f >/dev/null
"$QZREG" monitors | grep -q 'Qz Test' && fail "monitors still lists a deleted key"
"$QZREG" monitors --json >"$WORK/m.json"
python3 -c 'import json, sys; rows = json.load(open(sys.argv[1])); sys.exit(not rows or any(set(r) != {"name", "environment", "dll"} for r in rows))' "$WORK/m.json" ||
  fail "monitor rows lack their fields: $(cat "$WORK/m.json")"

# add refuses what Windows refuses, so that the machine's own export imports again.
LONG=$(printf '%0256d' 0 | tr 0 N)
expect_status 1 "add of a key name over 255 characters" "$QZREG" add "HKLM\\Software\\$LONG"
grep -q '255' "$WORK/err" || fail "the refusal does not name the limit: $(cat "$WORK/err")"
expect_status 1 "add of a value name over 16383 characters" \
  "$QZREG" add 'HKLM\Software\QzLong' /v "$(printf '%016384d' 0)" /d x
DEEP=$(printf '\\D%.0s' $(seq 513))
expect_status 1 "add of a key 513 levels deep" "$QZREG" add "HKLM$DEEP"
grep -q '512' "$WORK/err" || fail "the refusal does not name the limit: $(cat "$WORK/err")"
"$QZREG" export --all >"$WORK/all.reg" || fail "export --all"
expect_status 0 "the machine's own export imports" "$QZREG" import "$WORK/all.reg"

[ "$failures" = 0 ] && echo "qzreg: all checks passed"
exit "$failures"
