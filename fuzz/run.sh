#!/usr/bin/env bash
# Runs each fuzz target for SECONDS seconds on its corpus; any crash,
# sanitizer report, leak or timeout fails the run.
#
#   run.sh BUILD_DIR SOURCE_DIR SECONDS
set -u
build=$1
src=$2
seconds=$3
corpus=$build/corpus
bash "$src/fuzz/make_corpus.sh" "$src" "$corpus" || exit 1
failed=0
targets="stream_fuzzer story_fuzzer save_fuzzer"
[ -x "$build/lsp_fuzzer" ] && targets="$targets lsp_fuzzer"
for target in $targets; do
  name=${target%_fuzzer}
  mkdir -p "$build/findings/$name"
  echo "== $target for ${seconds}s"
  max_len=8192
  [ "$name" = lsp ] && max_len=32768  # a story and a stream of requests
  "$build/$target" "$corpus/$name" -max_total_time="$seconds" -max_len=$max_len \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      $([ "$name" = story ] && echo -dict="$src/fuzz/story.dict") \
      -artifact_prefix="$build/findings/$name/" 2>&1 | tail -n 15
  status=${PIPESTATUS[0]}
  if [ "$status" -ne 0 ]; then
    echo "$target failed with status $status; see $build/findings/$name"
    failed=1
  fi
done
exit $failed
