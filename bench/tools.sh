#!/usr/bin/env bash
# The authors' tools at scale: ostrel-check on a cycle of many sections and
# on a large script, and ostrel-explore --runs 1 on the same script. Prints
# each run's time and peak memory, the memory as a share of the script's
# size, and the time against a reference run side by side: `wc -w` over
# the same file, one plain pass over its lines.
#
#   tools.sh BUILD_DIR [CYCLE_SECTIONS] [MEGABYTES]
set -eu
build=$(realpath "$1")
sections=${2:-1000000}
megabytes=${3:-100}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A cycle: every location leads to the next, the last back to the first.
mkdir -p "$work/cycle"
awk -v n="$sections" 'BEGIN {
  print "|start_location:"; print "L0"
  for (i = 0; i < n; i++) {
    printf "|location=L%d\nRoom %d.\n/get_input\n>>go\n/change_location:\nL%d\n/end\n", i, i, (i + 1) % n
  }
}' > "$work/cycle/script.ostrel"

# A large story: a hub and many rooms with text, answers, conditions and
# items; every room leads back to the hub or ends the game, so a random run
# ends soon.
mkdir -p "$work/large"
awk -v bytes=$((megabytes * 1000000)) 'BEGIN {
  print "|start_location:"; print "Hub"
  print "|location=Hub"; print "The hub."; print "/get_input"
  print ">>in"; print "/change_location:"; print "Room 1"; print "/end"
  print ">>quit"; print "/end_game"; print "/end"
  size = 0
  for (i = 1; size < bytes; i++) {
    s = sprintf("|location=Room %d\nA room with a long description, line one of a few that fill the screen.\nThe walls are grey and the floor is cold; a draught comes from somewhere.\n/if:\nHasInInventory:\nLamp\nThe lamp shows a door you had not seen.\n/end_if\n/add_to_inventory:\nLamp\n/get_input\n>>next\n>>n\n/change_location:\nRoom %d\n/end\n>>back\n/change_location:\nHub\n/end\n>>quit\n/end_game\n/end\n", i, i + 1)
    printf "%s", s
    size += length(s)
  }
  printf "|location=Room %d\nThe end of the rooms.\n/get_input\n>>quit\n/end_game\n/end\n", i
}' > "$work/large/script.ostrel"
bytes=$(stat -c %s "$work/large/script.ostrel")

measure() {  # NAME COMMAND...
  local name=$1
  shift
  /usr/bin/time -f '%e %M %U %S' -o "$work/time" "$@" > /dev/null 2> "$work/err" || true
  read -r seconds kilobytes user system < "$work/time"
  # The processor time too: on a busy machine it is the steadier figure.
  echo "$name: ${seconds} s ($(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }') s of processor time), peak memory $((kilobytes / 1024)) MB"
  echo "$seconds $kilobytes" > "$work/last"
}
reference() {  # FILE
  local start end
  cat "$1" > /dev/null
  start=$(date +%s%N)
  wc -w "$1" > /dev/null
  end=$(date +%s%N)
  echo "$(((end - start) / 1000000))"
}

echo "cycle of $sections sections ($(($(stat -c %s "$work/cycle/script.ostrel") / 1000000)) MB)"
ref=$(reference "$work/cycle/script.ostrel")
measure "  ostrel-check" "$build/ostrel-check" "$work/cycle"
read -r seconds kilobytes < "$work/last"
awk -v s="$seconds" -v r="$ref" 'BEGIN { printf "  wc -w: %d ms; ratio %.1f\n", r, s * 1000 / (r > 0 ? r : 1) }'

echo "large script: $((bytes / 1000000)) MB"
ref=$(reference "$work/large/script.ostrel")
measure "  ostrel-check" "$build/ostrel-check" "$work/large"
read -r seconds kilobytes < "$work/last"
awk -v s="$seconds" -v r="$ref" -v k="$kilobytes" -v b="$bytes" \
  'BEGIN { printf "  wc -w: %d ms; ratio %.1f; memory %.2fx the script\n", r, s * 1000 / (r > 0 ? r : 1), k * 1024 / b }'
measure "  ostrel-explore --runs 1" "$build/ostrel-explore" --runs 1 --out "$work/walkthroughs" "$work/large"
read -r seconds kilobytes < "$work/last"
awk -v s="$seconds" -v r="$ref" -v k="$kilobytes" -v b="$bytes" \
  'BEGIN { printf "  ratio %.1f; memory %.2fx the script\n", s * 1000 / (r > 0 ? r : 1), k * 1024 / b }'
