#!/usr/bin/env bash
# Plays one scenario on the replay terminal and compares the transcript with
# the expected one, byte for byte.
#
#   run_scenario.sh REPLAY_BINARY SCENARIO_DIR
#
# The scenario directory holds the story files, `input` (standard input, empty
# when absent), `expected` (the trace transcript, which ends with the exit
# status) and optionally `args` (more options for the replay tool, such as
# "--time 1000"). Set OSTREL_BLESS=1 to rewrite `expected` from the run.
set -u
replay=$1
dir=$2
input=$dir/input
[ -f "$input" ] || input=/dev/null
args=()
[ -f "$dir/args" ] && read -r -a args < "$dir/args"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
${OSTREL_WRAPPER:-} "$replay" --trace "${args[@]}" "$dir" < "$input" > "$work/out" 2> "$work/err"
status=$?
failed=0
if [ -s "$work/err" ]; then
  echo "the run wrote to standard error:"
  head -n 40 "$work/err"
  failed=1
fi
# The transcript names the exit status; the process must agree.
marked=$(tail -c 20 "$work/out" | sed -n 's/.*\[\[exit \([0-9]*\)\]\]$/\1/p')
if [ "$marked" != "$status" ]; then
  echo "exit status $status, transcript says '${marked}'"
  failed=1
fi
if ! cmp -s "$dir/expected" "$work/out"; then
  echo "transcript differs from $dir/expected (< expected, > actual):"
  diff <(cat -A "$dir/expected" 2>/dev/null) <(cat -A "$work/out") | head -n 30
  failed=1
  if [ -n "${OSTREL_BLESS:-}" ]; then
    cp "$work/out" "$dir/expected"
    echo "(expected transcript rewritten)"
  fi
fi
exit $failed
