# bash completion for qzreg: commands, options, registry roots, listing names.
_qzreg() {
  local cur prev cmd
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD - 1]}
  cmd=${COMP_WORDS[1]}
  local commands="init save load query add delete export import printers drivers monitors processors ports driver printer default port monitor diff help"
  if [ "$COMP_CWORD" -eq 1 ]; then
    COMPREPLY=($(compgen -W "$commands --help -h --version -V" -- "$cur"))
    return
  fi
  case $prev in
    --os) COMPREPLY=($(compgen -W "win98 nt" -- "$cur")); return ;;
    --from | save | load | import) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    /t | -t) COMPREPLY=($(compgen -W "REG_SZ REG_EXPAND_SZ REG_MULTI_SZ REG_DWORD REG_BINARY REG_NONE" -- "$cur")); return ;;
  esac
  local roots="HKEY_CLASSES_ROOT HKEY_CURRENT_USER HKEY_LOCAL_MACHINE HKEY_USERS HKCR HKCU HKLM HKU"
  case $cmd in
    init) COMPREPLY=($(compgen -W "--os --bare --from --help" -- "$cur")) ;;
    query) COMPREPLY=($(compgen -W "$roots /v /ve /s --json --help" -- "$cur")) ;;
    add) COMPREPLY=($(compgen -W "$roots /v /ve /t /s /d /f --help" -- "$cur")) ;;
    delete) COMPREPLY=($(compgen -W "$roots /v /ve /va /f --help" -- "$cur")) ;;
    export) COMPREPLY=($(compgen -W "$roots --all --v5 --help" -- "$cur")) ;;
    help) COMPREPLY=($(compgen -W "$commands" -- "$cur")) ;;
    driver | printer | port | monitor)
      if [ "$COMP_CWORD" -eq 2 ]; then
        COMPREPLY=($(compgen -W "add delete --help" -- "$cur"))
        return
      fi
      local opts="--json --help"
      case $cmd-${COMP_WORDS[2]} in
        driver-add) opts="--environment --driver --data --config --help --dependent --monitor --datatype --json" ;;
        driver-delete) opts="--environment --json" ;;
        printer-add) opts="--driver --port --processor --datatype --default --json" ;;
        port-add) opts="--tcpip --json" ;;
        monitor-add) opts="--dll --json" ;;
      esac
      case $prev in
        --environment) local IFS=$'\n'; COMPREPLY=($(compgen -W $'Windows 4.0\nWindows NT x86' -- "$cur")); return ;;
        --driver | --data | --config | --help | --dependent | --dll) COMPREPLY=($(compgen -f -- "$cur")); return ;;
      esac
      COMPREPLY=($(compgen -W "$opts" -- "$cur"))
      ;;
    default)
      local names
      names=$(qzreg printers --json 2>/dev/null | sed -n 's/^ *{"name": *"\([^"]*\)".*/\1/p')
      local IFS=$'\n'
      COMPREPLY=($(compgen -W "$names"$'\n'"--json"$'\n'"--help" -- "$cur"))
      ;;
    diff) COMPREPLY=($(compgen -f -W "--json --help" -- "$cur")) ;;
    printers | drivers | monitors | processors | ports)
      # The names the machine holds, from the listing itself.
      local names
      names=$(qzreg "$cmd" --json 2>/dev/null | sed -n 's/^ *{"name": *"\([^"]*\)".*/\1/p')
      local IFS=$'\n'
      COMPREPLY=($(compgen -W "$names"$'\n'"--json"$'\n'"--help"$([ "$cmd" = monitors ] && printf '\n--all') -- "$cur"))
      ;;
  esac
}
complete -F _qzreg qzreg
