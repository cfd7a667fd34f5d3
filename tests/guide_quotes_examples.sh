#!/usr/bin/env bash
# Every story file of the guide's examples stands whole in the guide, so the
# guide shows exactly what the tests play.
#
#   guide_quotes_examples.sh DOCS_DIR
set -u
docs=$1
guide=$(cat "$docs/writing-stories.md")
failed=0
count=0
for file in "$docs"/examples/*/*.ostrel; do
  content=$(cat "$file")
  count=$((count + 1))
  if [[ "$guide" != *"$content"* ]]; then
    echo "the guide does not quote ${file#$docs/} whole"
    failed=1
  fi
done
[ $failed -eq 0 ] && echo "$count passed, 0 failed"
exit $failed
