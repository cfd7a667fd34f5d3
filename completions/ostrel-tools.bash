# bash completion for ostrel and the authors' tools: their options, and
# story directories for the rest. Installed once under each program's name,
# since bash-completion loads a command's completion from a file named after
# it.

# The options of each tool, as its --help lists them; those that take a
# value are in _ostrel_tools_takes_value. A new tool adds its line to both.
_ostrel_tools_options() {
  case $1 in
    ostrel) echo "--continue --new --no-typing" ;;
    ostrel-check) echo "--graph --stats" ;;
    ostrel-replay) echo "--time --time-step --show-pauses --no-typing --trace --journal" ;;
    ostrel-explore) echo "--runs --seed --steps --json --out" ;;
    ostrel-lsp) echo "--stdio" ;;
    ostrel-publish) echo "-o --title --lang --force --template" ;;
  esac
  echo "--help --version"
}

# Prints "dir" for an option whose value is a directory, "file" for one
# whose value is a file, "none" for one whose value is a number or a text,
# nothing for an option without a value.
_ostrel_tools_takes_value() {
  case $1 in
    --out) echo dir ;;
    -o | --template | --journal) echo file ;;
    --time | --time-step | --runs | --seed | --steps | --title | --lang) echo none ;;
  esac
}

_ostrel_tools() {
  local tool=${COMP_WORDS[0]##*/}
  local cur=${COMP_WORDS[COMP_CWORD]}
  local prev=
  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
  COMPREPLY=()
  case $(_ostrel_tools_takes_value "$prev") in
    none) return 0 ;;
    dir) mapfile -t COMPREPLY < <(compgen -d -- "$cur"); return 0 ;;
    file) mapfile -t COMPREPLY < <(compgen -f -- "$cur"); return 0 ;;
  esac
  if [[ $cur == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W "$(_ostrel_tools_options "$tool")" -- "$cur")
  elif [[ $tool == ostrel-lsp || $tool == ostrel ]]; then
    # The language server is given no story: the editor names the files;
    # the game plays the story of the directory it is started in.
    return 0
  else
    # A story is a directory.
    mapfile -t COMPREPLY < <(compgen -d -- "$cur")
  fi
}

complete -o filenames -F _ostrel_tools ostrel ostrel-check ostrel-replay ostrel-explore ostrel-lsp ostrel-publish
