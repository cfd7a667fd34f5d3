#!/usr/bin/env bash
# Builds the seed corpora of the two fuzz targets from the scenario stories,
# the guide's examples and the bundled story.
#
#   make_corpus.sh SOURCE_DIR CORPUS_DIR
set -eu
src=$1
out=$2
mkdir -p "$out/stream" "$out/story"
n=0
for dir in "$src"/tests/scenarios/*/*/ "$src"/docs/examples/*/ "$src"/games/*/ "$src"/fuzz/regressions/*/; do
  [ -d "$dir" ] || continue
  n=$((n + 1))
  {
    for f in script animations title_screen credits; do
      [ -f "$dir/$f.ostrel" ] && cat "$dir/$f.ostrel"
      printf '\xfe\xff'
    done
    [ -f "$dir/input" ] && cat "$dir/input"
  } > "$out/story/seed$n"
  for f in "$dir"/*.ostrel; do
    [ -f "$f" ] && cp "$f" "$out/stream/seed$n-$(basename "$f")"
  done
done
echo "$n stories in the seed corpora"
