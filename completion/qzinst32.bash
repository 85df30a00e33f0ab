# bash completion for qzinst32: options, command numbers, INF files.
_qzinst32() {
  local cur prev
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD - 1]}
  case $prev in
    --report) COMPREPLY=($(compgen -W "json" -- "$cur")); return ;;
    --trace | --explain) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    --check-inf) COMPREPLY=($(compgen -f -X '!*.[iI][nN][fF]' -- "$cur") $(compgen -d -- "$cur")); return ;;
    2 | 3) COMPREPLY=($(compgen -f -X '!*.[iI][nN][fF]' -- "$cur") $(compgen -d -- "$cur")); return ;;
  esac
  if [[ $cur == --trace=* ]]; then
    COMPREPLY=($(compgen -f -P --trace= -- "${cur#--trace=}"))
    return
  fi
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "--trace= --trace --no-trace --quiet --what-if --report --json --wait --wait= --strict --check-inf --explain --help -h --version -V --" -- "$cur"))
    return
  fi
  COMPREPLY=($(compgen -W "1 2 3 4 5 257 258 259" -- "$cur"))
}
complete -F _qzinst32 qzinst32
