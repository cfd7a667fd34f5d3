#!/usr/bin/env bash
# Builds the seed corpora of the fuzz targets from the scenario stories, the
# guide's examples and the bundled story, and a few saves.
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

# Saves: records spelled out as fuzz/save_fuzzer.cpp reads them, after a
# header of its story as it is (1) or as another (2), and raw bytes (0).
mkdir -p "$out/save"
walk='\x00\x01\x04look\x00\x01\x05xyzzy\x06\x01\x04lost\x00\x01\x02in\x01\x05fight\x04'
duel='\x02\x80\x01\x03\x00\x00\x03\xe8\x00\x02\x80\x02\x03\x00\x00\x03\xe9\x00'
printf "\x01$walk$duel$duel\x05" > "$out/save/walkthrough"
printf "\x02$walk$duel" > "$out/save/changed-story"
printf "\x01$walk\x07\x41$duel" > "$out/save/garbage-inside"
printf '\x00H\x0e\x01' > "$out/save/raw-header-cut-short"
echo "4 saves in the save corpus"

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
