# Bash completion for pdsplit: the long options (settings), before or after
# the mode, the values of --orbitals and --spin, file names for --doscar and
# --structure, and the modes; after the mode, file names (the output name);
# after "--", file names alone.
#
# Installed as share/bash-completion/completions/pdsplit; to try it by
# hand: source tools/pdsplit-completion.bash

_pdsplit() {
  local settings="--doscar= --efermi= --structure= --noncollinear --quiet --help --version
    --orbitals= --spin= --header --down-negative --window= --moments --gaussian= --cumulative"
  local modes="-t -ft -tf -a -fa -af -p -fp -pf -s1 -fs1 -s1f -s2 -fs2 -s2f -e -fe -ef -h"
  # Words as the user typed them: bash's own split cuts them at "=".
  local line=${COMP_LINE:0:COMP_POINT}
  local cur=${line##*[[:space:]]}
  local -a words
  read -r -a words <<< "${line%"$cur"}"
  local i
  COMPREPLY=()

  # After "--", operands and names only; after the mode option, settings
  # or operands and an output name.
  local mode=""
  for ((i = 1; i < ${#words[@]}; i++)); do
    case ${words[i]} in
      --)
        COMPREPLY=($(compgen -f -- "$cur"))
        return 0
        ;;
      --*) ;;
      *) mode=${words[i]} ;;
    esac
  done
  if [[ -n $mode && $cur != --* ]]; then
    COMPREPLY=($(compgen -f -- "$cur"))
    return 0
  fi

  case $cur in
    --spin=*)
      COMPREPLY=($(compgen -P "--spin=" -W "sum up down" -- "${cur#--spin=}"))
      ;;
    --orbitals=*)
      COMPREPLY=($(compgen -P "--orbitals=" -W "lm l d-split sum" -- "${cur#--orbitals=}"))
      ;;
    --doscar=* | --structure=*)
      COMPREPLY=($(compgen -P "${cur%%=*}=" -f -- "${cur#*=}"))
      ;;
    --*)
      COMPREPLY=($(compgen -W "$settings" -- "$cur"))
      ;;
    *)
      COMPREPLY=($(compgen -W "$modes $settings" -- "$cur"))
      ;;
  esac
  # An option that takes a value is completed without a space after it.
  if [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *= ]]; then
    compopt -o nospace 2> /dev/null
  fi
  # Where bash splits words at "=", it replaces only the part after it.
  if [[ $cur == *=* && $COMP_WORDBREAKS == *=* ]]; then
    local before=${cur%=*}=
    COMPREPLY=("${COMPREPLY[@]#"$before"}")
  fi
  return 0
}

complete -F _pdsplit pdsplit
