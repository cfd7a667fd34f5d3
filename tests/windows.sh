#!/usr/bin/env bash
# The Windows build under Wine, piped, against the same expectations as on
# Linux:
#   1. the scenario suite and the guide's examples on ostrel-replay.exe,
#      transcript for transcript;
#   2. the end-to-end tests on ostrel.exe, byte for byte;
#   3. ostrel.exe on every scenario whose pauses add up to two seconds or
#      less, against the scenario's transcript less its markers (what a
#      piped run writes);
#   4. ostrel.exe saving a duel and continuing it.
#
#   windows.sh WINDOWS_BUILD_DIR SOURCE_DIR [LINUX_BUILD_DIR]
set -u
build=$(realpath "$1")
src=$(realpath "$2")
linux_build=$(realpath "${3:-$src/build}")
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$HOME/.wine-ostrel}
wineboot -i > /dev/null 2>&1
wineserver -p 2> /dev/null
export OSTREL_WINE_LOG=$build/wine-retries.log
rm -f "$OSTREL_WINE_LOG"
wine_run="bash $src/tests/wine_run.sh"
trap 'wineserver -k 2> /dev/null' EXIT
failed=0
passed=0

echo "== scenarios on ostrel-replay.exe"
for dir in "$src"/tests/scenarios/*/*/ "$src"/docs/examples/*/; do
  if OSTREL_WRAPPER=$wine_run bash "$src/tests/run_scenario.sh" "$build/ostrel-replay.exe" "$dir" > "$build/last.log" 2>&1; then
    passed=$((passed + 1))
  else
    echo "FAILED: ${dir#$src/}"; head -n 20 "$build/last.log"; failed=$((failed + 1))
  fi
done

echo "== end-to-end tests on ostrel.exe"
if OSTREL_WRAPPER=$wine_run bash "$src/tests/end_to_end.sh" "$build/ostrel.exe" \
     "$linux_build/tests/libfixed_time.so" "$src/tests/e2e"; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
fi

echo "== scenarios on ostrel.exe"
work=$(mktemp -d)
skipped=0
for dir in "$src"/tests/scenarios/*/*/; do
  total=$(grep -o '\[\[sleep [0-9]*\]\]' "$dir/expected" | grep -o '[0-9]*' | awk '{s+=$1} END {printf "%d\n", s}')
  if [ "$total" -gt 2000 ]; then
    skipped=$((skipped + 1))
    continue
  fi
  time=1000
  [ -f "$dir/args" ] && time=$(sed -n 's/.*--time \([0-9]*\).*/\1/p' "$dir/args")
  status=$(sed -n 's/.*\[\[exit \([0-9]*\)\]\]$/\1/p' "$dir/expected")
  # What a piped run writes: the transcript less its markers, a form feed for
  # each clear screen.
  sed -e 's/\[\[clear\]\]/\f/g' -e 's/\[\[\(sleep\|color\|number\) [-0-9]*\]\]//g' \
      -e 's/\[\[key\]\]//g' -e 's/\[\[end of input\]\]//g' -e 's/\[\[word [^]]*\]\]//g' \
      -e 's/\[\[exit [0-9]*\]\]$//' "$dir/expected" > "$work/expected"
  # The last line of a transcript ends with its exit marker, not a line end.
  perl -0777 -pi -e 's/\n\z//' "$work/expected"
  input=$dir/input
  [ -f "$input" ] || input=/dev/null
  (cd "$dir" && LD_PRELOAD="$linux_build/tests/libfixed_time.so" OSTREL_TEST_TIME="${time:-1000}" \
     $wine_run "$build/ostrel.exe" < "$input" > "$work/out" 2> /dev/null)
  actual=$?
  if [ "$actual" = "$status" ] && cmp -s "$work/expected" "$work/out"; then
    passed=$((passed + 1))
  else
    echo "FAILED: ${dir#$src/} (exit $actual, expected $status)"
    diff <(od -c "$work/expected") <(od -c "$work/out") | head -n 10
    failed=$((failed + 1))
  fi
done
echo "($skipped scenarios with longer pauses left to ostrel-replay.exe)"

# 4. Saving on ostrel.exe: a duel stopped halfway and continued goes on as
#    the uninterrupted run; the save lives under %LOCALAPPDATA%\ostrel, which
#    Wine takes from its own profile unless it is set for the program.
echo "== saving on ostrel.exe"
dir=$src/tests/scenarios/battles/win_with_animations
state=$work/state
mkdir -p "$state"
exe=$(winepath -w "$build/ostrel.exe" 2> /dev/null)
save_run() {
  (cd "$dir" && LD_PRELOAD="$linux_build/tests/libfixed_time.so" OSTREL_TEST_TIME=1000 \
     $wine_run cmd /c "set LOCALAPPDATA=$(winepath -w "$state" 2> /dev/null)&& $exe $1")
}
since_last_clear() { perl -0777 -ne 'my @p = split /\f/, $_, -1; print $p[-1]' "$1"; }
head -c 5 "$dir/input" | save_run --new > "$work/first"
tail -c +6 "$dir/input" | save_run --continue > "$work/rest"
save_run "" < "$dir/input" > "$work/whole"
{
  printf '\f'
  since_last_clear "$work/first"
  tail -c +$(($(wc -c < "$work/first") + 1)) "$work/whole"
} > "$work/expected"
if cmp -s "$work/expected" "$work/rest" && [ -z "$(ls -A "$state/ostrel" 2> /dev/null)" ] &&
   [ -d "$state/ostrel" ]; then
  passed=$((passed + 1))
else
  echo "FAILED: saving and continuing (the save: $(ls -A "$state/ostrel" 2>&1))"
  diff <(od -c "$work/expected") <(od -c "$work/rest") | head -n 10
  failed=$((failed + 1))
fi
rm -rf "$work"
if [ -s "$OSTREL_WINE_LOG" ]; then
  echo "Wine failed to start a program and it was run again:"; cat "$OSTREL_WINE_LOG"
fi
echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
