# bash completion for qzinst32: options, command numbers and each command's
# parameter words (INF files, their printer sections, the machine's ports).
# The _qz_* helpers are shared with qzreg's completion, which loads this file.

# What each command's parameter words are, in order (see _qz_complete_kind).
declare -gA _qzinst32_params=(
  [1]="ports"
  [2]="inf section ports"
  [3]="inf section ports"
  [4]=""
  [5]="file"
  [257]="dir"
  [258]=""
  [259]=""
)
# The options before the command number; OPTION=KIND takes an argument.
_qzinst32_options="--trace=file --no-trace --quiet --what-if --report=report --json --wait --strict
  --check-inf --explain=file --help -h --version -V --"
_qzinst32_check_inf="inf section ports"

# The line's words with what bash split off at "=" and ":" joined again
# (--trace=FILE, LPT1:). Sets qz_words, qz_cword, qz_cur and qz_keep, the
# start of qz_cur that bash keeps (a reply replaces only the rest).
_qz_words() {
  local i w n=-1 glue=0
  qz_words=() qz_cword=0 qz_keep=""
  for ((i = 0; i < ${#COMP_WORDS[@]}; i++)); do
    w=${COMP_WORDS[i]}
    if ((n >= 0)) && [[ $w == [=:] || $glue == 1 ]]; then
      qz_words[n]+=$w
    else
      qz_words[++n]=$w
    fi
    [[ $w == [=:] ]] && glue=1 || glue=0
    ((i == COMP_CWORD)) && qz_cword=$n
  done
  qz_cur=${qz_words[qz_cword]-}
  w=${COMP_WORDS[COMP_CWORD]-}
  if [[ $qz_cur != "$w" ]]; then
    [[ $w == [=:] ]] && qz_keep=$qz_cur || qz_keep=${qz_cur%"$w"}
  fi
}

# Sets the variable $1 to the text the word $2 stands for: quotes and
# backslash escapes removed (an open quote counts as closed).
_qz_unquote() {
  local word=$2 out="" i c
  case $word in
    \'*) word=${word#\'} && printf -v "$1" '%s' "${word%\'}" && return ;;
    \"*) word=${word#\"} && word=${word%\"} ;;
  esac
  for ((i = 0; i < ${#word}; i++)); do
    c=${word:i:1}
    [[ $c == \\ ]] && ((++i)) && c=${word:i:1}
    out+=$c
  done
  printf -v "$1" '%s' "$out"
}

# COMPREPLY: the candidates that start with the current word's text,
# quoted as the word is (unquoted, '...' or "..."), less qz_keep.
_qz_reply() {
  local prefix keep word tail
  _qz_unquote prefix "$qz_cur"
  _qz_unquote keep "$qz_keep"
  COMPREPLY=()
  for word in "$@"; do
    [[ $word == "$prefix"* ]] || continue
    tail=${word#"$keep"}
    case $qz_cur in
      \'*) tail=${tail//\'/\'\\\'\'} ;;
      \"*) tail=${tail//\\/\\\\} tail=${tail//\"/\\\"} tail=${tail//\$/\\\$} tail=${tail//\`/\\\`} ;;
      *) [[ -z $tail ]] || printf -v tail '%q' "$tail" ;;
    esac
    COMPREPLY+=("$tail")
  done
  # A folder or an option's "=" goes on without a blank.
  if [[ ${#COMPREPLY[@]} == 1 && ${COMPREPLY[0]} == *[=/] ]]; then
    compopt -o nospace 2>/dev/null
  fi
  return 0
}

# The names of a listing of qzreg's (printers, drivers, monitors, processors,
# ports) on the machine, one per line; none when there is no machine.
_qz_names() {
  command qzreg "$1" --json 2>/dev/null |
    sed -n 's/^ *{"name": *"\(\([^"\\]\|\\.\)*\)".*/\1/p' | sed 's/\\\(.\)/\1/g'
}

# Files (and folders, to go on into) whose names match the glob $1.
_qz_files() {
  local prefix path
  local -a found=()
  _qz_unquote prefix "$qz_cur"
  while IFS= read -r path; do
    if [[ -d $path ]]; then
      found+=("$path/")
    elif [[ $1 == dirs ]]; then
      continue
    else
      # shellcheck disable=SC2053
      [[ ${path,,} == $1 ]] && found+=("$path")
    fi
  done < <(compgen -f -- "$prefix" 2>/dev/null)
  _qz_reply "${found[@]}"
}

# The printer sections of the INF file $1 (those with a "device" key), or
# all its sections when none has one.
_qz_sections() {
  local file
  _qz_unquote file "$1"
  [[ -f $file && -r $file ]] || return 0
  awk 'tolower($0) ~ /^[ \t]*\[[^]]*\]/ { sub(/^[ \t]*\[/, ""); sub(/\].*/, ""); section = $0; all[++n] = $0 }
       tolower($0) ~ /^[ \t]*device[ \t]*=/ && section != "" && !seen[section]++ { print section; found = 1 }
       END { if (!found) for (i = 1; i <= n; i++) print all[i] }' "$file" 2>/dev/null | tr -d '\r'
}

# COMPREPLY for a word of the kind $1, and the options "${@:2}".
_qz_complete_kind() {
  local kind=$1 line
  local -a words=()
  shift
  case $kind in
    file) _qz_files '*' ;;
    inf) _qz_files '*.inf' ;;
    dir) _qz_files dirs ;;
    section) while IFS= read -r line; do words+=("$line"); done < <(_qz_sections "${qz_words[qz_cword - 1]}") ;;
    printers | drivers | monitors | processors | ports)
      while IFS= read -r line; do words+=("$line"); done < <(_qz_names "$kind") ;;
    report) words=(json) ;;
    os) words=(win98 nt) ;;
    type) words=(REG_SZ REG_EXPAND_SZ REG_MULTI_SZ REG_DWORD REG_BINARY REG_NONE) ;;
    key) words=(HKEY_CLASSES_ROOT HKEY_CURRENT_USER HKEY_LOCAL_MACHINE HKEY_USERS HKCR HKCU HKLM HKU) ;;
    verb) words=("${!_qzreg_verbs[@]}") ;;
    admin) ((qz_cword == 2)) && words=(add delete) ;;
    env) words=("Windows 4.0" "Windows NT x86") ;;
  esac
  case $kind in
    file | inf | dir)
      local -a files=("${COMPREPLY[@]}")
      _qz_reply "$@"
      COMPREPLY=("${files[@]}" "${COMPREPLY[@]}")
      ;;
    *) _qz_reply "${words[@]}" "$@" ;;
  esac
}

_qzinst32() {
  local qz_words qz_cword qz_cur qz_keep
  _qz_words
  local i w opt cmd="" check_inf=0 options_end=0 argument="" nparam=0
  local -a params=()
  for ((i = 1; i < qz_cword; i++)); do
    w=${qz_words[i]}
    if [[ -n $argument ]]; then
      argument=""
    elif [[ -z $cmd && $options_end == 0 && $w == -* ]]; then
      case $w in
        --) options_end=1 ;;
        --check-inf) check_inf=1 ;;
        --trace | --report | --explain) argument=$w ;;
      esac
    elif ((check_inf)) || [[ -n $cmd ]]; then
      ((nparam++))
    else
      cmd=$w
    fi
  done
  if [[ -n $argument ]]; then
    for opt in $_qzinst32_options; do
      [[ $opt == "$argument="* ]] && _qz_complete_kind "${opt#*=}" && return 0
    done
  fi
  if [[ -z $cmd && $options_end == 0 && $qz_cur == --trace=* ]]; then
    qz_cur=${qz_cur#--trace=} qz_keep=${qz_keep#--trace=}
    _qz_complete_kind file
    return 0
  fi
  if ((check_inf)); then
    params=($_qzinst32_check_inf)
    _qz_complete_kind "${params[nparam]-none}" $([[ $qz_cur == -* ]] && echo --json --strict)
  elif [[ -z $cmd ]]; then
    if [[ $options_end == 0 && $qz_cur == -* ]]; then
      local -a names=()
      for opt in $_qzinst32_options; do names+=("${opt%%=*}"); done
      _qz_reply "${names[@]}" --trace= --wait=
    else
      _qz_reply $(printf '%s\n' "${!_qzinst32_params[@]}" | sort -n)
    fi
  elif [[ -n ${_qzinst32_params[$cmd]+set} ]]; then
    params=(${_qzinst32_params[$cmd]})
    _qz_complete_kind "${params[nparam]-none}"
  else
    COMPREPLY=()
  fi
  return 0
}
complete -F _qzinst32 qzinst32
