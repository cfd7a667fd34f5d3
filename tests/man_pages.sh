#!/usr/bin/env bash
# The manual pages: `mandoc -T lint` reports nothing on any of them, and
# every tool has its page in section 1. The one report left out is a
# reference to another page of ours, which mandoc looks for among the
# system's installed pages only.
#
#   man_pages.sh MAN_DIR TOOL...
set -u
dir=$1
shift
if ! command -v mandoc > /dev/null; then
  echo "SKIPPED: mandoc is not installed (apt-get install mandoc)"
  exit 77
fi
failed=0
ours=$(cd "$dir" && ls | sed 's/^\(.*\)\.\([0-9]\)$/Xr \1 \2/' | paste -sd '|')
for page in "$dir"/*; do
  report=$(mandoc -T lint "$page" 2>&1 |
           grep -Ev "STYLE: referenced manual not found: ($ours)( \(|$)")
  if [ -n "$report" ]; then
    echo "$report"
    failed=1
  fi
done
for tool in ostrel "$@"; do
  page=$(ls "$dir/$tool".[16] 2>/dev/null)
  if [ -z "$page" ]; then
    echo "$tool has no manual page in $dir"
    failed=1
  elif ! grep -q "^\.Nm $tool\$" "$page"; then
    echo "$page does not name $tool"
    failed=1
  fi
done
[ $failed -eq 0 ] && echo "$(ls "$dir" | wc -l) pages passed, 0 failed"
exit $failed
