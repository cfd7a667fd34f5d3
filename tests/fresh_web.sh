#!/usr/bin/env bash
# The README's two publishing commands on a fresh copy of the sources, with
# no build directory: `make web`, then
# `build/ostrel-publish -o crown.html games/the-ember-crown`, and the page
# they write. The npm packages are copied along, so that no network is
# needed. Run by CI; skipped, with a line naming the tool, without emcc.
#
#   fresh_web.sh SOURCE_DIR
set -u
src=$(realpath "$1")
for tool in emcc node npm git; do
  if ! command -v "$tool" > /dev/null; then
    echo "SKIPPED: the fresh publishing test: $tool is not installed"
    exit 0
  fi
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fresh=$work/ostrel
mkdir "$fresh"
# The files a clone holds: those under version control, and new ones not
# ignored (so that a change not yet committed is tested too).
(cd "$src" && git ls-files -z --cached --others --exclude-standard |
   xargs -0 tar -cf - --ignore-failed-read 2>/dev/null) | tar -xf - -C "$fresh"
[ -d "$src/web/node_modules" ] && cp -r "$src/web/node_modules" "$fresh/web/"
failed=0
fail() { echo "FAILED: $*"; failed=1; }
cd "$fresh"
if ! make web > "$work/make.log" 2>&1; then
  fail "make web on a fresh copy"; tail -n 30 "$work/make.log"; exit 1
fi
if ! build/ostrel-publish -o crown.html games/the-ember-crown > "$work/publish.log" 2>&1; then
  fail "the README's publishing command"; cat "$work/publish.log"; exit 1
fi
page=crown.html
grep -q '<html lang="en">' "$page" || fail "the page's language"
grep -q '<title>the-ember-crown</title>' "$page" || fail "the page's title"
grep -qF "\"script.ostrel\": \"$(base64 -w0 games/the-ember-crown/script.ostrel)\"" "$page" ||
  fail "the story in the page"
grep -q '@OSTREL_' "$page" && fail "a marker of the template left in the page"
grep -q 'createOstrel' "$page" || fail "the engine in the page"
[ $failed -eq 0 ] && echo "1 passed, 0 failed: make web, then $(tail -n 1 "$work/publish.log")"
exit $failed
