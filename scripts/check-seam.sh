#!/usr/bin/env bash
# The program's code reaches Windows only through platform/win32.h: no SDK
# headers, no build tests and no host headers under inst32/ and w32/.
set -euo pipefail
cd "$(dirname "$0")/.."
bad=$(grep -rnE '#\s*include\s*[<"](windows|winspool|winreg)\.h|_WIN32|#\s*include\s*"platform/host/' \
        inst32 w32 --include='*.cpp' --include='*.h' || true)
if [ -n "$bad" ]; then
  echo "The program's code must use platform/win32.h only:"
  echo "$bad"
  exit 1
fi
bad=$(grep -rnE '#\s*include\s*[<"]windows\.h' tools platform/host || true)
if [ -n "$bad" ]; then
  echo "Host code must not include <windows.h>:"
  echo "$bad"
  exit 1
fi
echo "seam: ok"
