# bash completion for qzreg: commands, their options, registry roots, files
# and the names the machine's listings hold.

# The shared helpers (_qz_words, _qz_reply, _qz_complete_kind) live in
# qzinst32's completion, installed beside this one.
if ! declare -F _qz_complete_kind >/dev/null; then
  for _qz_file in "${BASH_SOURCE[0]%/*}/qzinst32" "${BASH_SOURCE[0]%/*}/qzinst32.bash"; do
    [[ -r $_qz_file ]] && . "$_qz_file" && break
  done
  unset _qz_file
fi

# Each command: its options (OPTION=KIND takes an argument of that kind) and,
# after ":", the kind of its other words (see _qz_complete_kind).
declare -gA _qzreg_verbs=(
  [init]="--os=os --codepage=none --bare --from=file --force --wait --help"
  [save]="--wait --help :file"
  [load]="--wait --help :file"
  [query]="/v=none /ve /f=none /k /d /c /e /s --json --help :key"
  [add]="/v=none /ve /t=type /s=none /d=none /f --help :key"
  [delete]="/v=none /ve /va /f --help :key"
  [export]="--all --v5 /y --help :key"
  [import]="--help :file"
  [printers]="--json --help :printers"
  [drivers]="--json --help :drivers"
  [monitors]="--all --json --help :monitors"
  [processors]="--json --help :processors"
  [ports]="--json --help :ports"
  [driver]="--environment=env --driver=file --data=file --config=file --help=file --dependent=file
    --monitor=monitors --datatype=none --json :admin"
  [printer]="--driver=drivers --port=ports --processor=processors --datatype=none --default --json
    --help :admin"
  [default]="--json --help :printers"
  [port]="--tcpip=none --json --help :admin"
  [monitor]="--dll=file --json --help :admin"
  [diff]="--json --help :file"
  [help]=":verb"
)

_qzreg() {
  local qz_words qz_cword qz_cur qz_keep
  _qz_words
  if ((qz_cword == 1)); then
    _qz_reply "${!_qzreg_verbs[@]}" --help -h --version -V
    return 0
  fi
  COMPREPLY=()
  local verb=${qz_words[1]} prev=${qz_words[qz_cword - 1]} token kind=none
  [[ -n ${_qzreg_verbs[$verb]+set} ]] || return 0
  local -a options=()
  for token in ${_qzreg_verbs[$verb]}; do
    case $token in
      "$prev="*) _qz_complete_kind "${token#*=}" && return 0 ;;
      :*) kind=${token#:} ;;
      *) options+=("${token%%=*}") ;;
    esac
  done
  _qz_complete_kind "$kind" "${options[@]}"
  return 0
}
complete -F _qzreg qzreg
