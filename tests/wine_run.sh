#!/usr/bin/env bash
# Runs a Windows program under Wine, as `wine PROGRAM ARGS...`, with the same
# standard input, output and exit status.
#
# On a loaded machine Wine now and then fails to start a program: the run
# ends with a failure status before the program has written a byte. Every
# program tested here writes something on every run, so such a run is tried
# once more and noted in $OSTREL_WINE_LOG; a program that fails that way
# twice fails the test as it stands.
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat > "$work/in"
wine "$@" < "$work/in" > "$work/out"
status=$?
if [ "$status" -ne 0 ] && [ ! -s "$work/out" ]; then
  [ -n "${OSTREL_WINE_LOG:-}" ] &&
    echo "wine $* (in $PWD): no output, status $status; run again" >> "$OSTREL_WINE_LOG"
  wine "$@" < "$work/in" > "$work/out"
  status=$?
fi
cat "$work/out"
exit "$status"
