#!/usr/bin/env bash
# The options every program answers alike, the game and its tools: --help
# prints the usage on standard output and exits 0, --version prints the name
# and the project's version, and an unknown option, or an option without its
# value, prints the usage on standard error and exits 2.
#
#   tool_options.sh VERSION PROGRAM_BINARY...
set -u
version=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "$*"; failed=1; }
# Runs a tool; leaves the status in $status and the streams in out and err.
run() { "$@" > "$work/out" 2> "$work/err" < /dev/null; status=$?; }
for tool in "$@"; do
  name=$(basename "$tool")
  run "$tool" --help
  [ $status -eq 0 ] || fail "$name --help: status $status"
  [ -s "$work/err" ] && fail "$name --help wrote to standard error"
  head -n 1 "$work/out" | grep -q "^usage: $name " || fail "$name --help: no usage line"
  grep -q '^  --version  *print the version and exit$' "$work/out" || fail "$name --help lists no --version"
  run "$tool" --version
  [ $status -eq 0 ] || fail "$name --version: status $status"
  [ "$(cat "$work/out")" = "$name $version" ] || fail "$name --version: '$(cat "$work/out")'"
  # --help wins wherever it stands.
  run "$tool" --no-such-option --help
  [ $status -eq 0 ] || fail "$name --no-such-option --help: status $status"
  for args in "--no-such-option" "-x" "--no-such-option ." ". more than one"; do
    # shellcheck disable=SC2086
    run "$tool" $args
    [ $status -eq 2 ] || fail "$name $args: status $status, expected 2"
    [ -s "$work/out" ] && fail "$name $args wrote to standard output"
    head -n 1 "$work/err" | grep -q "^usage: $name " || fail "$name $args: no usage on standard error"
  done
done
# An option without its value.
# A number too large to hold, two outputs asked for at once, a language
# that is no language tag, and two ways for the game to start are refused
# the same way.
for case in "ostrel --continue --new" "ostrel-replay --time" "ostrel-explore --runs" \
    "ostrel-explore --runs many" "ostrel-explore --runs 99999999999999999999" \
    "ostrel-check --graph --stats" "ostrel-publish --lang" "ostrel-publish --lang en<br> ."; do
  for tool in "$@"; do
    [ "$(basename "$tool")" = "${case%% *}" ] || continue
    # shellcheck disable=SC2086
    run "$tool" ${case#* }
    [ $status -eq 2 ] || fail "$case: status $status, expected 2"
    head -n 1 "$work/err" | grep -q "^usage: " || fail "$case: no usage on standard error"
  done
done
[ $failed -eq 0 ] && echo "$# tools passed, 0 failed"
exit $failed
