#!/usr/bin/env bash
# ostrel-replay writes exactly what the real ostrel writes with piped input,
# less the pauses, on every scenario story.
#
#   replay_matches_engine.sh OSTREL REPLAY FIXED_TIME_LIBRARY SCENARIOS_DIR
set -u
ostrel=$(realpath "$1")
replay=$(realpath "$2")
fixed_time=$(realpath "$3")
root=$(realpath "$4")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
count=0
for dir in "$root"/*/*/; do
  input=$dir/input
  [ -f "$input" ] || input=/dev/null
  time=1000
  if [ -f "$dir/args" ]; then
    time=$(sed -n 's/.*--time \([0-9]*\).*/\1/p' "$dir/args")
    [ -n "$time" ] || time=1000
  fi
  (cd "$dir" && env LD_PRELOAD="$fixed_time" OSTREL_TEST_TIME="$time" OSTREL_TEST_NO_SLEEP=1 \
       ASAN_OPTIONS="${ASAN_OPTIONS:-}:verify_asan_link_order=0" \
       "$ostrel" < "$input" > "$work/engine" 2>/dev/null)
  engine_status=$?
  "$replay" --time "$time" "$dir" < "$input" > "$work/replay" 2>/dev/null
  replay_status=$?
  count=$((count + 1))
  if [ $engine_status -ne $replay_status ] || ! cmp -s "$work/engine" "$work/replay"; then
    echo "${dir#$root/}: ostrel exit $engine_status, ostrel-replay exit $replay_status"
    diff <(od -c "$work/engine") <(od -c "$work/replay") | head -n 10
    failed=1
  fi
done
[ $failed -eq 0 ] && echo "$count passed, 0 failed"
exit $failed
