#!/usr/bin/env bash
# The story map: the exact DOT of a small story, and Graphviz accepting it
# and the bundled story's map.
#
#   check_graph.sh CHECK_BINARY GRAPH_DIR BUNDLED_STORY_DIR
set -u
check=$1
dir=$2
story=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
"$check" --graph "$dir" > "$work/small.dot" || { echo "--graph failed"; failed=1; }
if ! cmp -s "$dir/expected.dot" "$work/small.dot"; then
  echo "graph differs (< expected, > actual):"
  diff "$dir/expected.dot" "$work/small.dot"
  failed=1
fi
"$check" --graph "$story" > "$work/story.dot" || { echo "--graph failed on $story"; failed=1; }
if command -v dot > /dev/null; then
  for graph in "$work/small.dot" "$work/story.dot"; do
    dot -Tsvg "$graph" > /dev/null || { echo "dot rejects $graph"; failed=1; }
  done
else
  echo "Graphviz's dot is not installed: the graphs were not rendered"
fi
exit $failed
