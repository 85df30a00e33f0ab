#!/usr/bin/env bash
# The program's code reaches Windows only through platform/win32.h: no SDK
# headers, no build tests and no host headers under inst32/ and w32/. The
# emulated machine's folders include one way only, top to bottom:
#   process -> report -> spooler -> profile, registry -> machine
set -euo pipefail
cd "$(dirname "$0")/.."
status=0

fail() {
  echo "$1"
  echo "$2"
  status=1
}

bad=$(grep -rnE '#\s*include\s*[<"](windows|winspool|winreg)\.h|_WIN32|#\s*include\s*"platform/host/' \
        inst32 w32 --include='*.cpp' --include='*.h' || true)
[ -z "$bad" ] || fail "The program's code must use platform/win32.h only:" "$bad"

bad=$(grep -rnE '#\s*include\s*[<"]windows\.h' tools platform/host || true)
[ -z "$bad" ] || fail "Host code must not include <windows.h>:" "$bad"

# What each folder of platform/host may include besides itself.
declare -A may_include=(
  [process]="report spooler profile registry machine"
  [report]="spooler profile registry machine"
  [spooler]="profile registry machine"
  [profile]="machine"
  [registry]="machine"
  [machine]=""
)
# Only the top reaches the program (its entry, string table and result codes).
declare -A may_include_program=([process]=1 [report]=1)

for folder in "${!may_include[@]}"; do
  [ -d "platform/host/$folder" ] || fail "platform/host/$folder is missing" ""
  while IFS= read -r hit; do
    [ -n "$hit" ] || continue
    target=$(sed -E 's@.*#\s*include\s*"platform/host/([a-z_]+)/.*@\1@' <<<"$hit")
    [ "$target" = "$folder" ] && continue
    [[ " ${may_include[$folder]} " == *" $target "* ]] && continue
    fail "platform/host/$folder may not include from platform/host/$target:" "$hit"
  done < <(grep -rnE '#\s*include\s*"platform/host/' "platform/host/$folder" || true)
  if [ -z "${may_include_program[$folder]:-}" ]; then
    bad=$(grep -rnE '#\s*include\s*"(inst32|w32)/' "platform/host/$folder" || true)
    [ -z "$bad" ] || fail "platform/host/$folder may not include the program's code:" "$bad"
  fi
done

# Every source of the emulated machine lives in one of its folders.
stray=$(find platform/host -maxdepth 1 -type f \( -name '*.cpp' -o -name '*.h' \) || true)
[ -z "$stray" ] || fail "Sources of platform/host belong in a subsystem folder:" "$stray"

[ "$status" -eq 0 ] && echo "seam: ok"
exit "$status"
