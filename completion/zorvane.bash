# bash completion for zorvane(1)
_zorvane() {
  local cur prev
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD-1]}
  case $prev in
    -wm | -pw | -l)
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      return
      ;;
    -t)
      compopt -o filenames 2>/dev/null
      mapfile -t COMPREPLY < <(compgen -d -- "$cur")
      return
      ;;
    -nbp | -nbf | -nbs | -nbc | -wmo | -wmt | -wmf)
      # free-form comma-separated values: nothing to offer
      COMPREPLY=()
      return
      ;;
    -wmr)
      local angles='diag 45 90'
      mapfile -t COMPREPLY < <(compgen -W "$angles" -- "$cur")
      return
      ;;
  esac
  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W '-v -h --help --version -wm -wmo -wmr -wmt -wmf -fit -up -nbp -nbf -nbs -nbc -sp -pw -inc -l -t' -- "$cur")
    return
  fi
  compopt -o filenames 2>/dev/null
  mapfile -t COMPREPLY < <(compgen -f -X '!*.[pP][dD][fF]' -- "$cur"; compgen -d -- "$cur")
}
complete -F _zorvane zorvane
