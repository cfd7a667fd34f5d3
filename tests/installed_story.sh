# Sourced by the installation tests: plays the bundled story as installed,
# with the installed ostrel and piped input (the winning walkthrough, the
# clock fixed and no pauses), and compares the transcript with
# ostrel-replay's on the story in the source tree.
#
#   PlayInstalledStory BINDIR STORY_DIR REPLAY FIXED_TIME_LIBRARY SOURCE_DIR WORK
PlayInstalledStory() {
  local bindir=$1 story=$2 replay=$3 fixed_time=$4 source=$5 work=$6
  fixed_time=$(realpath "$fixed_time")
  local walkthrough=$source/tests/scenarios/story/ember_crown_win/input
  local status
  (cd "$story" && env LD_PRELOAD="$fixed_time" OSTREL_TEST_TIME=1000 OSTREL_TEST_NO_SLEEP=1 \
       ASAN_OPTIONS="${ASAN_OPTIONS:-}:verify_asan_link_order=0" \
       "$bindir/ostrel" < "$walkthrough" > "$work/played" 2> "$work/played.err")
  status=$?
  "$replay" --time 1000 "$source/games/the-ember-crown" < "$walkthrough" > "$work/replayed"
  if [ $status -ne 0 ]; then
    echo "the installed ostrel ended with status $status"; cat "$work/played.err"; return 1
  fi
  if ! grep -q 'THE EMBER CROWN' "$work/played" || ! cmp -s "$work/played" "$work/replayed"; then
    echo "the installed story plays differently (< installed, > source tree):"
    diff "$work/played" "$work/replayed" | head -n 20
    return 1
  fi
}
