#!/usr/bin/env bash
# Plays one scenario on the replay terminal and compares the transcript with
# the expected one, byte for byte.
#
#   run_scenario.sh REPLAY_BINARY SCENARIO_DIR
#
# The scenario directory holds the story files, `input` (standard input, empty
# when absent), `expected` (the trace transcript) and optionally `args`
# (extra options for the replay tool, such as "--time 1000").
set -u
replay=$1
dir=$2
input=$dir/input
[ -f "$input" ] || input=/dev/null
args=()
[ -f "$dir/args" ] && read -r -a args < "$dir/args"
actual=$(mktemp)
trap 'rm -f "$actual"' EXIT
"$replay" --trace "${args[@]}" "$dir" < "$input" > "$actual"
if cmp -s "$dir/expected" "$actual"; then
  exit 0
fi
echo "transcript differs from $dir/expected"
# Show the first differing line, as it stands in both.
exp_lines=$(mktemp); act_lines=$(mktemp)
trap 'rm -f "$actual" "$exp_lines" "$act_lines"' EXIT
cat -A "$dir/expected" > "$exp_lines"
cat -A "$actual" > "$act_lines"
diff "$exp_lines" "$act_lines" | head -n 20
if [ -n "${OSTREL_BLESS:-}" ]; then
  cp "$actual" "$dir/expected"
  echo "(expected transcript rewritten)"
fi
exit 1
