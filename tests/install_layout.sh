#!/usr/bin/env bash
# `cmake --install` into a staging directory (DESTDIR) with another prefix:
# every file where a distribution expects it, nothing outside the staging
# directory, every tool with its page and completion, and the bundled story
# played from there.
#
#   install_layout.sh CMAKE BUILD_DIR REPLAY FIXED_TIME_LIBRARY SOURCE_DIR TOOL...
set -u
cmake=$1 build=$2 replay=$3 fixed_time=$4 source=$5
shift 5
tools=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$source/tests/installed_story.sh"
failed=0
fail() { echo "$*"; failed=1; }

DESTDIR="$work/stage" "$cmake" --install "$build" --prefix /opt/ostrel > "$work/log" 2>&1 ||
  { cat "$work/log"; exit 1; }
[ "$(ls -A "$work/stage")" = opt ] || fail "installed outside the prefix: $(ls -A "$work/stage")"
root=$work/stage/opt/ostrel
expected=(
  bin/ostrel
  share/man/man6/ostrel.6
  share/ostrel/games/the-ember-crown/script.ostrel
  share/ostrel/games/the-ember-crown/animations.ostrel
  share/ostrel/games/the-ember-crown/title_screen.ostrel
  share/ostrel/games/the-ember-crown/credits.ostrel
  share/doc/ostrel/writing-stories.md
  share/doc/ostrel/README.md
  share/doc/ostrel/examples/first-story/script.ostrel
  share/bash-completion/completions/ostrel
)
for tool in "${tools[@]}"; do
  expected+=(bin/"$tool" share/man/man1/"$tool".1 share/bash-completion/completions/"$tool")
done
for file in "${expected[@]}"; do
  [ -f "$root/$file" ] || fail "missing: $file"
done
for program in "$root"/bin/*; do
  [ -x "$program" ] || fail "not executable: bin/${program##*/}"
done
# Every tool installed is one that has its page and its completion.
for program in "$root"/bin/ostrel-*; do
  name=${program##*/}
  [[ " ${tools[*]} " == *" $name "* ]] || fail "bin/$name is not listed in OSTREL_TOOLS"
done
# The completion installed under each program's name completes it.
for tool in ostrel "${tools[@]}"; do
  grep -q "complete .*[ ]$tool\b" "$root/share/bash-completion/completions/$tool" 2>/dev/null ||
    fail "the completion file $tool does not complete $tool"
done
story=$root/share/ostrel/games/the-ember-crown
"$root/bin/ostrel-check" "$story" > "$work/check" || { cat "$work/check"; fail "ostrel-check fails on the installed story"; }
PlayInstalledStory "$root/bin" "$story" "$replay" "$fixed_time" "$source" "$work" || failed=1
[ $failed -eq 0 ] && echo "1 passed, 0 failed"
exit $failed
