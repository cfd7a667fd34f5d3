#!/usr/bin/env bash
# docs/architecture.md names only what exists, and names every top-level
# folder: each quoted text with a slash in it (`engine/`, `web/host.js`) is
# a path from the top of the repository, and must be there.
#
#   architecture_paths.sh SOURCE_DIR
set -u
src=$1
page=$src/docs/architecture.md
failed=0
count=0
while IFS= read -r path; do
  count=$((count + 1))
  [ -e "$src/$path" ] || { echo "docs/architecture.md names $path, which does not exist"; failed=1; }
done < <(grep -o '`[^` ]*/[^` ]*`' "$page" | tr -d '`' | grep -v '^/' | sort -u)
# The folders of the repository: those git knows of, or in a copy without
# git, all but the builds' own.
for dir in "$src"/*/ "$src"/.ci/; do
  name=$(basename "$dir")
  if git -C "$src" rev-parse --is-inside-work-tree > /dev/null 2>&1; then
    [ -n "$(git -C "$src" ls-files "$name" | head -n 1)" ] || continue
  else
    case $name in build | build-* | explore-walkthroughs) continue ;; esac
  fi
  count=$((count + 1))
  grep -qF "\`$name/\`" "$page" || { echo "docs/architecture.md does not name $name/"; failed=1; }
done
[ $failed -eq 0 ] && echo "$count passed, 0 failed"
exit $failed
