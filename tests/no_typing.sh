#!/usr/bin/env bash
# ostrel --no-typing against the typed run of the same story, on the real
# binary, its pauses written among its bytes by the preloaded clock (no time
# is spent waiting): every byte the same, the story's own pauses kept, none
# of the typing effect's left. Each run must also agree with ostrel-replay
# --show-pauses, with and without --no-typing.
#
#   no_typing.sh OSTREL REPLAY FIXED_TIME_LIBRARY SOURCE_DIR
set -u
ostrel=$(realpath "$1")
replay=$(realpath "$2")
fixed_time=$(realpath "$3")
src=$(realpath "$4")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
passed=0
fail() { echo "FAILED: $*"; failed=$((failed + 1)); }

# Plays DIR on the real engine with the options given; the trace in $work/out.
play() {
  local dir=$1 time=$2 input=$3
  shift 3
  (cd "$dir" && env LD_PRELOAD="$fixed_time" OSTREL_TEST_TIME="$time" OSTREL_TEST_PAUSES=1 \
       ASAN_OPTIONS="${ASAN_OPTIONS:-}:verify_asan_link_order=0" \
       "$ostrel" "$@" < "$input" > "$work/out" 2> "$work/err")
  echo $? >> "$work/out"
}
strip() { sed 's/\[\[sleep [0-9]*\]\]//g' "$1"; }

# A story of this test's own, whose pauses are known: a dialog (a blank at
# its end, a letter of two bytes, an empty line), the story's own waits of
# 300 and 1000 ms, and a clear screen.
mine=$work/mine
mkdir "$mine"
printf '%s\n' '|start_dialog:' 'Letter' '|dialog=Letter' 'You unfold the letter. ' '/wait:' '300' \
  '"Caf\u00e9 at noon," it says.' '' '/clear' '/change_location:' 'Hall' '/end' \
  '|location=Hall' 'The hall.' '/wait:' '1000' '/end_game' '/end' > "$mine/script.ostrel"
sed -i 's/\\u00e9/\xc3\xa9/' "$mine/script.ostrel"
play "$mine" 1000 /dev/null --no-typing
expected=$(printf 'You unfold the letter. \n[[sleep 300]]"Caf\xc3\xa9 at noon," it says.\n\n\fThe hall.\n[[sleep 1000]]0')
if [ "$(cat "$work/out")" = "$expected" ]; then
  passed=$((passed + 1))
else
  fail "--no-typing: the story's own pauses alone"; diff <(echo "$expected") "$work/out" | head
fi
play "$mine" 1000 /dev/null
typed=$(grep -o '\[\[sleep 46\]\]' "$work/out" | wc -l)
lines=$(grep -o '\[\[sleep 150\]\]' "$work/out" | wc -l)
if [ "$typed" -eq 47 ] && [ "$lines" -eq 3 ]; then
  passed=$((passed + 1))
else
  fail "typed: 46 ms after each of 47 characters and 150 ms after each of 3 lines ($typed, $lines)"
fi

# Stories with dialogs, battles and animations: the same bytes, the same
# exit status, the story's own pauses, and what ostrel-replay writes.
for dir in "$mine" "$src"/tests/scenarios/story/*/ "$src"/tests/scenarios/battles/win_with_animations/ \
    "$src"/docs/examples/dialogs/; do
  name=${dir%/}
  name=${name#"$src"/}
  name=${name#"$work"/}
  input=$dir/input
  [ -f "$input" ] || input=/dev/null
  time=1000
  if [ -f "$dir/args" ]; then
    time=$(sed -n 's/.*--time \([0-9]*\).*/\1/p' "$dir/args")
    [ -n "$time" ] || time=1000
  fi
  play "$dir" "$time" "$input"
  mv "$work/out" "$work/typed"
  play "$dir" "$time" "$input" --no-typing
  mv "$work/out" "$work/instant"
  if ! cmp -s <(strip "$work/typed") <(strip "$work/instant"); then
    fail "$name: --no-typing writes other bytes"
    diff <(strip "$work/typed") <(strip "$work/instant") | head -n 10
  elif grep -q '\[\[sleep 46\]\]' "$work/instant"; then
    fail "$name: the typing effect's pauses with --no-typing"
  else
    passed=$((passed + 1))
  fi
  for mode in typed instant; do
    options=(--show-pauses --time "$time")
    [ $mode = instant ] && options+=(--no-typing)
    "$replay" "${options[@]}" "$dir" < "$input" > "$work/replay" 2> /dev/null
    echo $? >> "$work/replay"
    if cmp -s "$work/$mode" "$work/replay"; then
      passed=$((passed + 1))
    else
      fail "$name ($mode): ostrel's pauses are not ostrel-replay's"
      diff <(tr ']' '\n' < "$work/$mode") <(tr ']' '\n' < "$work/replay") | head -n 10
    fi
  done
done
echo "$passed passed, $failed failed"
exit $((failed > 0))
