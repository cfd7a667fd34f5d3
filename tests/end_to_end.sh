#!/usr/bin/env bash
# Runs the real ostrel binary (under $OSTREL_WRAPPER, such as wine, if set)
# with piped input on the stories under DIR and
# compares its output bytes and exit status.
#
#   end_to_end.sh OSTREL FIXED_TIME_LIBRARY DIR
#
# Each case directory holds the story files, `input`, `expected` (the exact
# bytes written) and `status` (the exit status). With a file `time`, the
# clock is fixed at that many seconds through the preloaded library.
set -u
ostrel=$(realpath "$1")
fixed_time=$(realpath "$2")
root=$(realpath "$3")
failed=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for dir in "$root"/*/; do
  name=$(basename "$dir")
  input=$dir/input
  [ -f "$input" ] || input=/dev/null
  env=()
  if [ -f "$dir/time" ]; then
    env=(LD_PRELOAD="$fixed_time" OSTREL_TEST_TIME="$(cat "$dir/time")"
         ASAN_OPTIONS="${ASAN_OPTIONS:-}:verify_asan_link_order=0")
  fi
  (cd "$dir" && env "${env[@]}" ${OSTREL_WRAPPER:-} "$ostrel" < "$input" > "$work/out" 2> "$work/err")
  status=$?
  expected_status=$(cat "$dir/status" 2>/dev/null || echo 0)
  if [ "$status" != "$expected_status" ]; then
    echo "$name: exit status $status, expected $expected_status"
    failed=1
  fi
  if [ -s "$work/err" ]; then
    echo "$name: wrote to standard error:"; head -n 20 "$work/err"
    failed=1
  fi
  if ! cmp -s "$dir/expected" "$work/out"; then
    echo "$name: output differs (< expected, > actual):"
    diff <(od -c "$dir/expected") <(od -c "$work/out") | head -n 20
    failed=1
    [ -n "${OSTREL_BLESS:-}" ] && cp "$work/out" "$dir/expected"
  fi
done

# Pacing: a typed line of n characters takes 46 x n + 150 ms.
mkdir -p "$work/pace" "$work/bare"
printf '|start_dialog:\nD\n|dialog=D\nabcdefghij\n/change_location:\nL\n/end\n|location=L\n/end_game\n/end\n' > "$work/pace/script.ostrel"
printf '|start_location:\nL\n|location=L\n/end_game\n/end\n' > "$work/bare/script.ostrel"
if [ -z "${OSTREL_WRAPPER:-}" ]; then
  # The native engine asks for exactly these pauses, each written where it
  # falls by the preloaded clock, which ends it at once: no real time passes.
  expected='a[[sleep 46]]b[[sleep 46]]c[[sleep 46]]d[[sleep 46]]e[[sleep 46]]f[[sleep 46]]g[[sleep 46]]h[[sleep 46]]i[[sleep 46]]j[[sleep 46]]
[[sleep 150]]'
  paced=$(cd "$work/pace" && LD_PRELOAD="$fixed_time" OSTREL_TEST_PAUSES=1 \
             ASAN_OPTIONS="${ASAN_OPTIONS:-}:verify_asan_link_order=0" "$ostrel" < /dev/null 2>&1)
  if [ "$paced" != "$expected" ]; then
    echo "pacing: the typed line's pauses were"
    printf '%s\n' "$paced"
    failed=1
  fi
else
  # Under a wrapper (wine) the clock cannot be preloaded: the time the process
  # takes to start and stop is measured on the same story without its dialog
  # and taken off; each is the best of three runs, so that a slow start does
  # not count as a slow line.
  best_of_three() {
    local best='' start elapsed
    for _ in 1 2 3; do
      start=$(date +%s%N)
      (cd "$1" && ${OSTREL_WRAPPER:-} "$ostrel" < /dev/null > /dev/null 2>&1)
      elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
      if [ -z "$best" ] || [ "$elapsed" -lt "$best" ]; then best=$elapsed; fi
    done
    echo "$best"
  }
  bare=$(best_of_three "$work/bare")
  paced=$(best_of_three "$work/pace")
  elapsed=$((paced - bare))
  if [ "$elapsed" -lt 560 ] || [ "$elapsed" -gt 1200 ]; then
    echo "pacing: a 10-character line took $elapsed ms ($paced ms less $bare ms to start and stop), expected 610"
    failed=1
  fi
fi
if [ $failed -eq 0 ]; then echo "1 passed, 0 failed"; fi
exit $failed
