#!/usr/bin/env bash
# Runs ostrel-check on one story and compares its report and exit status.
#
#   run_check.sh CHECK_BINARY STORY_DIR
#
# The directory holds the story files, `expected` (the report, exactly) and
# `status` (the exit status), and optionally `args` (options). Set
# OSTREL_BLESS=1 to rewrite both.
set -u
check=$1
dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
args=()
[ -f "$dir/args" ] && read -r -a args < "$dir/args"
(cd "$dir" && "$check" "${args[@]}") > "$work/out" 2> "$work/err"
status=$?
failed=0
if [ "$status" != "$(cat "$dir/status" 2>/dev/null)" ]; then
  echo "exit status $status, expected $(cat "$dir/status" 2>/dev/null)"
  failed=1
fi
if [ -s "$work/err" ]; then
  echo "wrote to standard error:"; head -n 20 "$work/err"; failed=1
fi
if ! cmp -s "$dir/expected" "$work/out"; then
  echo "report differs (< expected, > actual):"
  diff "$dir/expected" "$work/out" | head -n 30
  failed=1
fi
if [ $failed -ne 0 ] && [ -n "${OSTREL_BLESS:-}" ]; then
  cp "$work/out" "$dir/expected"
  echo "$status" > "$dir/status"
fi
exit $failed
