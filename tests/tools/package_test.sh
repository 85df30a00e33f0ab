#!/bin/sh
# Makes the .deb from the build tree, unpacks it with dpkg into a scratch
# folder and runs both programs from there; checks the man pages and bash
# completions are in it. Usage: package_test.sh BUILD_DIR
BUILD=${1:?usage: package_test.sh BUILD_DIR}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/qzdeb.XXXXXX") || exit 1
trap 'rm -rf "$WORK"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cpack -G DEB -B "$WORK/out" --config "$BUILD/CPackConfig.cmake" >"$WORK/cpack.log" 2>&1 ||
  { cat "$WORK/cpack.log"; echo "FAIL: cpack"; exit 1; }
deb=$(ls "$WORK"/out/*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { echo "FAIL: cpack made no .deb"; exit 1; }
dpkg -x "$deb" "$WORK/root" || { echo "FAIL: dpkg -x $deb"; exit 1; }
dpkg-deb -f "$deb" Package Version Depends >"$WORK/fields" || fail "dpkg-deb reads no control fields"
grep -q '^Package: qzinst32$' "$WORK/fields" || fail "package name: $(cat "$WORK/fields")"

# Debian's conventions: the copyright and a Debian changelog whose last entry
# is this version, compressed man pages, a synopsis and a long description,
# a maintainer with an address.
DOC="$WORK/root/usr/share/doc/qzinst32"
grep -q '^Copyright: ' "$DOC/copyright" 2>/dev/null || fail "no copyright in /usr/share/doc/qzinst32"
version=$(dpkg-deb -f "$deb" Version)
changelog=$(gzip -dc "$DOC/changelog.gz" 2>/dev/null | head -n 1)
[ "$changelog" = "qzinst32 ($version) unstable; urgency=medium" ] ||
  fail "changelog.gz begins '$changelog', not version $version"
dpkg-deb -f "$deb" Maintainer | grep -q '^[^<]\+ <[^@>]\+@[^@>]\+>$' || fail "maintainer without an address"
description=$(dpkg-deb -f "$deb" Description)
synopsis=$(echo "$description" | head -n 1)
[ "${#synopsis}" -le 80 ] || fail "synopsis of ${#synopsis} characters"
[ "$(echo "$description" | wc -l)" -ge 4 ] || fail "no long description"
# Depends names the C library exactly when a program is linked dynamically.
dynamic=$(for f in "$WORK"/root/usr/bin/*; do readelf -d "$f" 2>/dev/null | grep -q NEEDED && echo "$f"; done)
depends=$(dpkg-deb -f "$deb" Depends)
if [ -n "$dynamic" ]; then
  echo "$depends" | grep -q 'libc6' || fail "dynamically linked programs, but Depends: '$depends'"
else
  [ -z "$depends" ] || fail "static programs, but Depends: '$depends'"
fi

for program in qzinst32 qzreg; do
  bin="$WORK/root/usr/bin/$program"
  [ -x "$bin" ] || { fail "$program not in the package"; continue; }
  # A fresh machine root: --version must not need or make one.
  out=$(QZINST_ROOT="$WORK/machine" "$bin" --version 2>&1) || fail "$program --version: $out"
  echo "$out" | grep -q "^$program [0-9]" || fail "$program --version says '$out'"
  [ ! -e "$WORK/machine" ] || fail "$program --version made a machine"
  gzip -t "$WORK/root/usr/share/man/man1/$program.1.gz" 2>/dev/null || fail "no compressed man page for $program"
  [ -s "$WORK/root/usr/share/bash-completion/completions/$program" ] || fail "no completion for $program"
done
gzip -t "$WORK/root/usr/share/man/man5/qzinst32-inf.5.gz" 2>/dev/null || fail "no INF format page in man5"
# The guides the manual and README name, where the package's users can read them.
for guide in README.md package-authors.md ci.md support.md windows.md; do
  gzip -dc "$DOC/$guide.gz" 2>/dev/null | grep -q '^# ' || fail "no guide $guide in /usr/share/doc/qzinst32"
done
# The completions offer commands, options and the machine's own names.
complete_words() {  # completion file, words...
  file=$1; shift
  PATH="$WORK/root/usr/bin:$PATH" QZINST_ROOT="$WORK/machine" bash -c '
    . "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); "_$1"; printf "%s\n" "${COMPREPLY[@]}"' \
    sh "$file" "$@"
}
C="$WORK/root/usr/share/bash-completion/completions"
[ "$(complete_words "$C/qzreg" qzreg pr | sort | tr '\n' ' ')" = "printer printers processors " ] ||
  fail "qzreg completion of 'pr': $(complete_words "$C/qzreg" qzreg pr)"
complete_words "$C/qzreg" qzreg export HKL | grep -qx 'HKLM' || fail "qzreg completion of a root"
complete_words "$C/qzinst32" qzinst32 --wh | grep -qx -- '--what-if' || fail "qzinst32 completion of an option"
# The unpacked qzreg works on a machine of its own.
QZINST_ROOT="$WORK/machine" "$WORK/root/usr/bin/qzreg" init >/dev/null || fail "packaged qzreg init"
complete_words "$C/qzreg" qzreg ports 'LP' | grep -qx 'LPT1:' || fail "qzreg completion of a port name"
QZINST_ROOT="$WORK/machine" "$WORK/root/usr/bin/qzreg" query 'HKLM\System\CurrentControlSet\Control\Print' >/dev/null ||
  fail "packaged qzreg query"

[ "$failures" = 0 ] && echo "package: $(basename "$deb") installs and runs"
exit "$failures"
