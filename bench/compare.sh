#!/usr/bin/env bash
# The whole engine against grep: the real ostrel, piped, plays a story whose
# location stands at the end of a 100 MB script and answers its prompt N
# times (each pass reads the file twice: the location's lookup and the
# answer's search); grep -m1 -x -F looks the header up as many times. Prints
# both times and their ratio.
#
#   compare.sh OSTREL [N] [MEGABYTES]
set -eu
ostrel=$(realpath "$1")
n=${2:-20}
megabytes=${3:-100}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
filler=$(printf 'x%.0s' $(seq 99))
{
  yes "$filler" | head -n $((megabytes * 10486))
  printf '|start_location:\nHall\n|location=Hall\nThe hall.\n/get_input\n>>wait\n/end\n>>quit\n/end_game\n/end\n'
} > "$work/script.ostrel"
{ for ((i = 0; i < n; i++)); do echo wait; done; echo quit; } > "$work/input"
scans=$((2 * n + 3))
# Warm the page cache first: both are measured reading from memory.
cat "$work/script.ostrel" > /dev/null
now() { date +%s%N; }
start=$(now)
(cd "$work" && "$ostrel" < input > /dev/null)
engine_ns=$(($(now) - start))
start=$(now)
for ((i = 0; i < scans; i++)); do
  grep -m1 -x -F '|location=Hall' "$work/script.ostrel" > /dev/null
done
grep_ns=$(($(now) - start))
echo "script: $(($(stat -c %s "$work/script.ostrel") / 1000000)) MB, $scans scans"
echo "ostrel: $((engine_ns / 1000000)) ms"
echo "grep:   $((grep_ns / 1000000)) ms"
awk -v a="$engine_ns" -v b="$grep_ns" 'BEGIN { printf "ratio:  %.2f\n", a / b }'
