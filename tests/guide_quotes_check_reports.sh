#!/usr/bin/env bash
# The guide's examples of ostrel-check's findings are true: every
# tests/check/guide_* story and its exact report stand whole in the guide.
#
#   guide_quotes_check_reports.sh DOCS_DIR CHECK_TESTS_DIR
set -u
guide=$(cat "$1/writing-stories.md")
failed=0
count=0
for dir in "$2"/guide_*/; do
  for file in "$dir/script.ostrel" "$dir/expected"; do
    count=$((count + 1))
    content=$(cat "$file")
    if [[ "$guide" != *"$content"* ]]; then
      echo "the guide does not quote ${file#$2/} whole"
      failed=1
    fi
  done
done
[ $failed -eq 0 ] && echo "$count passed, 0 failed"
exit $failed
