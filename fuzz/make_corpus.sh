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

# The language server's seeds: each story's script and animations, then
# requests of every kind at a few places, framed.
mkdir -p "$out/lsp"
frame() { printf 'Content-Length: %d\r\n\r\n%s' "${#1}" "$1"; }
requests() {
  local uri=file:///nonexistent/ostrel_lsp_fuzz/script.ostrel id=1
  for line in 0 2 5 13; do
    for method in definition references hover completion prepareRename rename documentSymbol; do
      frame "{\"jsonrpc\":\"2.0\",\"id\":$id,\"method\":\"textDocument/$method\",\"params\":{\"textDocument\":{\"uri\":\"$uri\"},\"position\":{\"line\":$line,\"character\":3},\"newName\":\"X\",\"context\":{\"includeDeclaration\":true}}}"
      id=$((id + 1))
    done
    frame "{\"jsonrpc\":\"2.0\",\"id\":$id,\"method\":\"textDocument/codeAction\",\"params\":{\"textDocument\":{\"uri\":\"$uri\"},\"range\":{\"start\":{\"line\":0,\"character\":0},\"end\":{\"line\":$line,\"character\":0}}}}"
    id=$((id + 1))
  done
  frame "{\"jsonrpc\":\"2.0\",\"method\":\"textDocument/didChange\",\"params\":{\"textDocument\":{\"uri\":\"$uri\"},\"contentChanges\":[{\"range\":{\"start\":{\"line\":1,\"character\":0},\"end\":{\"line\":2,\"character\":1}},\"text\":\"/end\\n\"}]}}"
  frame '{"jsonrpc":"2.0","id":"s","method":"shutdown"}'
  frame '{"jsonrpc":"2.0","method":"exit"}'
}
n=0
for dir in "$src"/docs/examples/*/ "$src"/games/*/ "$src"/tests/check/*/; do
  [ -f "$dir/script.ostrel" ] || continue
  n=$((n + 1))
  {
    cat "$dir/script.ostrel"
    printf '\xfe\xff'
    [ -f "$dir/animations.ostrel" ] && cat "$dir/animations.ostrel"
    printf '\xfe\xff'
    requests
  } > "$out/lsp/seed$n"
done
echo "$n stories in the language server's seed corpus"
