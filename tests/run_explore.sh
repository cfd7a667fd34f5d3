#!/usr/bin/env bash
# Explores one test story and compares the report; then replays every
# walkthrough the report names and checks that it reaches its error report.
#
#   run_explore.sh EXPLORE REPLAY STORY_DIR
#
# The directory holds the story files, `expected` (the report), `status`
# (the exit status) and optionally `args` (options, "--runs 200" if absent).
# Set OSTREL_BLESS=1 to rewrite `expected` and `status`.
set -u
explore=$(realpath "$1")
replay=$(realpath "$2")
dir=$(realpath "$3")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$dir"/*.ostrel "$work"/
args=(--runs 200)
[ -f "$dir/args" ] && read -r -a args < "$dir/args"
(cd "$work" && "$explore" "${args[@]}" .) > "$work/report.raw" 2> "$work/err"
status=$?
# The report names the replay tool beside the explorer; the expected
# reports name it without its directory.
sed "s|    replay: $(dirname "$explore")/|    replay: |" "$work/report.raw" > "$work/report"
failed=0
if [ "$status" != "$(cat "$dir/status" 2>/dev/null)" ]; then
  echo "exit status $status, expected $(cat "$dir/status" 2>/dev/null)"
  failed=1
fi
[ -s "$work/err" ] && { echo "standard error:"; cat "$work/err"; failed=1; }
if ! cmp -s "$dir/expected" "$work/report"; then
  echo "report differs (< expected, > actual):"
  diff "$dir/expected" "$work/report" | head -n 30
  failed=1
fi
# Each walkthrough replays to the report it was written for.
while IFS= read -r message; do
  IFS= read -r command || break
  set -- $command
  time=$3 step=$5 file=$8
  (cd "$work" && "$replay" --time "$time" --time-step "$step" . < "$file") > "$work/replayed"
  if ! grep -qF "Error: $message" "$work/replayed"; then
    echo "the walkthrough $file does not reach: $message"
    failed=1
  fi
done < <(sed -n 's/^  \(.*\) (in .*): [0-9]* runs\{0,1\}$/\1/p; s/^    replay: //p' "$work/report")
if [ $failed -ne 0 ] && [ -n "${OSTREL_BLESS:-}" ]; then
  cp "$work/report" "$dir/expected"
  echo "$status" > "$dir/status"
fi
exit $failed
