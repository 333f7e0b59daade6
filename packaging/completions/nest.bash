# bash completion for idlnest and cnest: their options, the values of --glyphs, and source files
# for the operands (.pro for idlnest, .c and .h for cnest). Installed under each program's name.

_nest_listings() {
  local cur prev words cword split
  _init_completion -s || return

  case $prev in
  -n | --numbers | -w | --max-length | -j | --jobs)
    return # a number
    ;;
  -g | --glyphs)
    mapfile -t COMPREPLY < <(compgen -W 'plain ibm utf8' -- "$cur")
    return
    ;;
  -o | --output)
    _filedir
    return
    ;;
  esac
  $split && return

  if [[ $cur == -* ]]; then
    local options='--numbers= --glyphs= --max-length= --output= --check --jobs= --help --version'
    if [[ ${1##*/} == idlnest ]]; then
      options+=' --warn-end --warn-quotes'
    fi
    mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
    if [[ ${#COMPREPLY[@]} == 1 && ${COMPREPLY[0]} == *= ]]; then
      compopt -o nospace
    fi
    return
  fi

  if [[ ${1##*/} == idlnest ]]; then
    _filedir pro
  else
    _filedir '[ch]'
  fi
}
complete -F _nest_listings idlnest cnest
