#!/usr/bin/env bash
# The bundled story, explored with the default 1000 runs: no error report, no
# run that does not end, everything reached, and the duel's odds.
#
#   explore_bundled_story.sh EXPLORE STORY_DIR
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && "$1" "$2") > "$work/report"
status=$?
cat "$work/report"
failed=0
[ $status -eq 0 ] || { echo "exit status $status"; failed=1; }
grep -q '^Error reports: none$' "$work/report" || failed=1
grep -q '^Runs that did not end within 10000 steps: none$' "$work/report" || failed=1
grep -q '^Never reached: nothing' "$work/report" || failed=1
grep -q 'odds: the player wins' "$work/report" || failed=1
# The duel is a real risk: a player typing at random wins between 55% and
# 70% of the time, and both outcomes happen in the runs.
odds=$(sed -n 's/.*odds: the player wins \([0-9]*\)\..*/\1/p' "$work/report")
if [ -z "$odds" ] || [ "$odds" -lt 55 ] || [ "$odds" -ge 70 ]; then
  echo "the duel's odds are out of 55% to 70%"; failed=1
fi
grep -Eq 'won [1-9][0-9]*, lost [1-9]' "$work/report" || { echo "a duel's outcome never happened"; failed=1; }
[ $failed -eq 0 ] && echo "1 passed, 0 failed"
exit $failed
