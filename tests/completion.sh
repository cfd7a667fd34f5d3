#!/usr/bin/env bash
# The bash completion of ostrel and its tools, in plain bash without the
# bash-completion package: COMP_WORDS and COMP_CWORD set as bash sets them,
# the function called, COMPREPLY read. Each program's options as completed
# are the options its --help lists.
#
#   completion.sh COMPLETION_FILE PROGRAM_BINARY...
set -u
completion=$(realpath "$1")
shift
tools=()
for tool in "$@"; do tools+=("$(realpath "$tool")"); done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
. "$completion"

# Completes the words given, the last being the one under the cursor, and
# prints COMPREPLY sorted, one a line.
Complete() {
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMPREPLY=()
  _ostrel_tools
  printf '%s\n' "${COMPREPLY[@]}" | sort
}

Expect() {
  local expected=$1
  shift
  local actual
  actual=$(Complete "$@")
  if [ "$actual" != "$expected" ]; then
    echo "completing '$*': got [${actual//$'\n'/ }], expected [${expected//$'\n'/ }]"
    failed=1
  fi
}

cd "$work"
mkdir -p games/the-ember-crown "my story" out
touch notes.txt

Expect $'--graph\n--help\n--stats\n--version' ostrel-check --
Expect '--graph' ostrel-check --g
Expect $'--runs' ostrel-explore --r
Expect $'--time\n--time-step' /usr/bin/ostrel-replay --time
Expect $'--show-pauses' ostrel-replay --sh
Expect '' ostrel-check --nothing
# Story directories, never plain files; a name with a space stays whole.
Expect $'games\nmy story\nout' ostrel-check ''
Expect 'my story' ostrel-replay --trace my
Expect 'games/the-ember-crown' ostrel-explore --runs 10 games/
# A number is not completed; --out takes a directory.
Expect '' ostrel-explore --runs ''
Expect '' ostrel-replay --time ''
Expect 'out' ostrel-explore --out o
# A save to play is a file.
Expect $'notes.txt' ostrel-replay --journal no
# The page and the template are files.
Expect $'notes.txt' ostrel-publish -o no
Expect '' ostrel-publish --title ''
Expect $'--template\n--title' ostrel-publish --t
Expect '' ostrel-publish --lang ''
# The language server takes no directory, and nor does the game.
Expect '' ostrel-lsp ''
Expect '' ostrel ''
Expect $'--continue\n--help\n--new\n--no-typing\n--version' ostrel --
Expect $'--continue' ostrel --c

# The options completed are the options --help lists.
for tool in "${tools[@]}"; do
  name=$(basename "$tool")
  listed=$("$tool" --help | sed -n 's/^  \(--[a-z-]*\).*/\1/p' | sort)
  completed=$(Complete "$name" -- | grep '^--')
  if [ "$listed" != "$completed" ]; then
    echo "$name: --help lists [${listed//$'\n'/ }], completion offers [${completed//$'\n'/ }]"
    failed=1
  fi
  complete -p "$name" > /dev/null 2>&1 || { echo "$name has no completion"; failed=1; }
done
[ $failed -eq 0 ] && echo "$# tools passed, 0 failed"
exit $failed
