#!/usr/bin/env bash
# The whole test suite: host build and tests, sanitizers, both Windows builds,
# and the shipped 32-bit program under Wine (the scenarios on both roads, the
# instance guard). Installs what it needs on a fresh Debian machine.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
jobs=$(nproc)

step() { printf '\n=== %s ===\n' "$*"; }

step "dependencies"
scripts/install-deps.sh

step "the seam"
scripts/check-seam.sh

step "host build and tests"
cmake --preset host >/dev/null
cmake --build --preset host -j"$jobs"
ctest --preset host -j"$jobs"

step "Debian package (lintian)"
rm -rf build/package
cpack -G DEB -B build/package --config build/host/CPackConfig.cmake >/dev/null
lintian --fail-on error,warning build/package/qzinst32_*.deb

step "sanitizers (ASan + UBSan)"
cmake --preset asan >/dev/null
cmake --build --preset asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --preset asan -j"$jobs"

# The x64 build is not shipped: it is built and checked so that the source
# stays 64-bit clean; the scenarios run the shipped 32-bit one.
step "Windows builds"
for preset in mingw-i686 mingw-x64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
done
scripts/check-pe.sh build/mingw-i686/QZINST32.EXE i686
scripts/check-pe.sh build/mingw-x64/QZINST32.EXE x86_64
# The check itself: an allow-list without one of the program's imports must fail it.
grep -v " GetVersion " scripts/pe-imports.allow > build/pe-imports-short.allow
if python3 scripts/check_pe.py build/mingw-i686/QZINST32.EXE i686 build/pe-imports-short.allow >/dev/null; then
  echo "check_pe.py passed a program that imports a function off its list"; exit 1
fi
# ... and so must a list whose entry has a source for Windows 98 but none for NT 4.0.
sed -E 's/^(KERNEL32.DLL +GetVersion +all +[^ ]+) +[^ ]+$/\1/' scripts/pe-imports.allow > build/pe-imports-no-nt4.allow
if python3 scripts/check_pe.py build/mingw-i686/QZINST32.EXE i686 build/pe-imports-no-nt4.allow >/dev/null; then
  echo "check_pe.py took an import without its NT 4.0 source"; exit 1
fi

step "the shipped program under Wine: scenarios (NT and Windows 98), instance guard"
wine_start=$SECONDS
scripts/wine-scenarios.sh build/mingw-i686/QZINST32.EXE
scripts/wine-guard.sh build/mingw-i686/QZINST32.EXE
echo "Wine section: $((SECONDS - wine_start)) s"

if [ -x scripts/fuzz-short.sh ]; then
  step "fuzzing (short runs)"
  scripts/fuzz-short.sh
fi

step "all tests passed"
