#!/usr/bin/env bash
# Drives the bash completion of both programs as bash does (COMP_WORDS,
# COMP_CWORD, the function, COMPREPLY): every verb, option and command number
# their --help names, option arguments, names with blanks and shell
# characters read back from the reply as the shell would, INF sections,
# files, and no word on standard error.
# Usage: completion_test.sh COMPLETION_DIR QZINST32 QZREG
set -u
DIR=${1:?usage: completion_test.sh COMPLETION_DIR QZINST32 QZREG}
QZINST32=${2:?} QZREG=${3:?}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/qzcomp.XXXXXX") || exit 1
trap 'rm -rf "$WORK"' EXIT
mkdir "$WORK/sandbox"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
export QZINST_ROOT="$WORK/machine" PATH="$(dirname "$QZREG"):$PATH"

# complete PROGRAM WORD... : the replies, one per line, for the last word;
# what the function writes on standard error goes to $WORK/err. The shell
# runs with nounset, as some users' do.
complete_words() {
  local program=$1
  shift
  bash -c 'set -u; . "$1/$2.bash"; fn=_$2; shift 2; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
    "$fn" || echo "status $?" >&2; for reply in "${COMPREPLY[@]}"; do printf "%s\n" "$reply"; done' \
    sh "$DIR" "$program" "$program" "$@" 2>"$WORK/err"
  [ ! -s "$WORK/err" ] || fail "completing '$*' wrote: $(cat "$WORK/err")"
}
# expect WANT PROGRAM WORD... : the sorted replies, one line, blank-separated.
expect() {
  local want=$1 got
  shift
  got=$(complete_words "$@" | sort | tr '\n' ' ')
  got=${got% }
  [ "$got" = "$want" ] || fail "completing '$*': got '$got', expected '$want '"
}
# inserts TEXT PROGRAM WORD... : the one reply, put in place of the word's
# text as readline does and read back by the shell, is TEXT.
inserts() {
  local want=$1 got word
  shift
  mapfile -t replies < <(complete_words "$@")
  [ "${#replies[@]}" = 1 ] || { fail "completing '$*': ${#replies[@]} replies: ${replies[*]}"; return; }
  word=${replies[0]}
  case ${*: -1} in \'*) word="'$word'" ;; \"*) word="\"$word\"" ;; esac
  # A wrong reply may hold a command: read it back without commands to run.
  got=$(cd "$WORK/sandbox" && PATH=/nonexistent eval "printf '%s' $word" 2>/dev/null)
  [ "$got" = "$want" ] || fail "completing '$*': reply '${replies[0]}' reads as '$got', not '$want'"
}

# Without a machine: commands and options, no error, and no machine made.
expect "printer printers processors" qzreg pr
expect "--help --json" qzreg printers ""
[ ! -e "$QZINST_ROOT" ] || fail "completion made a machine"
expect "" qzreg frobnicate ""

# Every command and option qzreg's help names is offered.
verbs=$("$QZREG" --help | sed -n '/^Commands:/,/^$/s/^  \([a-z]\+\) .*/\1/p; /^Commands:/,/^$/s/^  \([a-z]\+\)$/\1/p')
[ -n "$verbs" ] || fail "no commands in qzreg --help"
offered=$(complete_words qzreg "")
for verb in $verbs; do
  grep -qx -- "$verb" <<<"$offered" || fail "qzreg command '$verb' not offered"
  usage=$("$QZREG" --help | sed -n "s/^  $verb \(.*\)/\1/p" | sed 's/  .*//')
  verb_offers=$(complete_words qzreg "$verb" "")$'\n'$(complete_words qzreg "$verb" -)
  for option in $(grep -o -- '--[a-z0-9-]\+\|/[a-z]\+' <<<"$usage"); do
    grep -qx -- "$option" <<<"$verb_offers" || fail "qzreg $verb: option $option not offered"
  done
done
expect "query" qzreg help q
expect "nt win98" qzreg init --os ""
expect "REG_DWORD" qzreg add 'HKLM\Software' /t REG_D
expect "" qzreg add 'HKLM\Software' /v ""
expect "HKLM" qzreg export HKL

# Every option and command number of qzinst32's help is offered.
offered=$(complete_words qzinst32 -)
for option in $("$QZINST32" --help | sed -n '/^Options/,/^$/p' | grep -o -- '^  *--\?[a-zA-Z][-a-zA-Z]*\|, --\?[a-z][-a-z]*' | tr -d ', '); do
  grep -qx -- "$option" <<<"$offered" || fail "qzinst32 option $option not offered"
done
numbers=$("$QZINST32" --help | sed -n '/^Commands:/,/^$/s/^ *\([0-9]\+\) .*/\1/p' | sort | tr '\n' ' ')
[ -n "$numbers" ] || fail "no command numbers in qzinst32 --help"
expect "${numbers% }" qzinst32 ""
expect "${numbers% }" qzinst32 --quiet -- ""
expect "json" qzinst32 --report ""

# A machine with names that have blanks, quotes and shell characters.
"$QZREG" init >/dev/null || fail "qzreg init"
# The package's files where its setup copies them on Windows 98 (the system directory).
(cd "$QZINST_ROOT/drive_c/WINDOWS/SYSTEM" &&
  touch hrtlmon.dll hrtpmon.dll HRT2210.DRV HRT2210.DAT HRT2210U.DLL HRT2210.HLP)
(cd "$(dirname "$0")/../.." && "$QZINST32" --quiet --no-trace 2 examples/rt2210.inf RT2210 LPT1:) ||
  fail "installing the example printer"
odd='Odd "$(touch x)" `y` '\''z'\'' monitor'
"$QZREG" add "HKLM\\System\\CurrentControlSet\\Control\\Print\\Monitors\\$odd" /v Driver /d odd.dll >/dev/null ||
  fail "adding a monitor with an odd name"
inserts "Halden RT-2210 Series" qzreg printers Hal
inserts "Halden RT-2210 Series" qzreg printers "'Halden RT"
inserts "Halden RT-2210 Series" qzreg printers '"Halden'
inserts "Halden RT-2210 Series" qzreg printers 'Halden\ RT'
inserts "Local Port" qzreg monitors Lo
for form in Odd "'Odd" '"Odd'; do
  inserts "$odd" qzreg monitors "$form"
done
expect "--all --help --json Halden\\ Language\\ Monitor Halden\\ Port\\ Monitor Local\\ Port $(printf '%q' "$odd")" \
  qzreg monitors ""
# "LPT1:" as bash splits it at the colon: only the rest is replaced.
expect "COM1: COM2: COM3: COM4:" qzreg ports COM
complete_words qzreg ports LPT1 : >"$WORK/colon"
[ "$(cat "$WORK/colon")" = "" ] && [ "$(wc -l <"$WORK/colon")" = 1 ] ||
  fail "completing 'LPT1:': $(tr '\n' ' ' <"$WORK/colon")"

# qzinst32's parameters: INF files, the INF's printer sections, ports.
mkdir -p "$WORK/cd/sub dir" && cp "$(dirname "$0")/../../examples/rt2210.inf" "$WORK/cd/My Printer.INF" &&
  touch "$WORK/cd/notes.txt"
inserts "$WORK/cd/My Printer.INF" qzinst32 2 "$WORK/cd/My"
inserts "$WORK/cd/sub dir/" qzinst32 --check-inf "$WORK/cd/s"
expect "" qzinst32 2 "$WORK/cd/no"
inf=$(printf '%q' "$WORK/cd/My Printer.INF")
expect "RT2210 RT2210N" qzinst32 --check-inf "$inf" ""
expect "RT2210 RT2210N" qzinst32 --check-inf --json "$inf" ""
expect "RT2210N" qzinst32 3 "$inf" RT2210N
expect "LPT1: LPT2: LPT3:" qzinst32 --check-inf "$inf" RT2210 LPT
expect "" qzinst32 --check-inf "$inf" RT2210 LPT1: ""
expect "--json --strict" qzinst32 --check-inf "$inf" -
expect "FILE:" qzinst32 --what-if 1 FI
# --trace=FILE as bash splits it at "=": the file name alone is replaced.
inserts "$WORK/cd/notes.txt" qzinst32 --trace = "$WORK/cd/no"
inserts "$WORK/cd/notes.txt" qzinst32 --trace "$WORK/cd/no"

[ "$failures" = 0 ] && echo "completion: all cases passed"
exit "$failures"
