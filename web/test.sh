#!/usr/bin/env bash
# The web build's tests: the Node harness on every scenario and example
# story, saving through the page's journal functions, then the published
# pages in Chromium. A tool that is missing is
# named and its tests are skipped.
#
#   test.sh BUILD_DIR WEB_BUILD_DIR
set -u
src=$(cd "$(dirname "$0")/.." && pwd)
build=$1
web_build=$2
failed=0

echo "== web build on the scenarios (Node harness)"
# With the typing effect off too, against the native engine's trace.
replay=()
if [ -x "$build/ostrel-replay" ]; then
  replay=(--replay "$build/ostrel-replay")
else
  echo "SKIPPED: the web build with the typing effect off: $build/ostrel-replay is not built"
fi
node --no-experimental-fetch "$src/web/harness.js" "$web_build/ostrel-engine.js" \
  "${replay[@]}" "$src"/tests/scenarios/*/*/ "$src"/docs/examples/*/ || failed=1

echo "== the page's word wrapping on xterm.js (Node)"
# Installed again when the lock file has changed since (a new package).
if [ ! -d "$src/web/node_modules/@xterm/xterm" ] ||
   [ "$src/web/package-lock.json" -nt "$src/web/node_modules/.package-lock.json" ]; then
  (cd "$src/web" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund) || exit 1
fi
node "$src/web/wrap_test.js" || failed=1

echo "== saving and continuing in the web build (Node)"
# With the native engine too: the same journal, continued alike.
native=()
fixed_time=$build/tests/libfixed_time.so
if [ -x "$build/ostrel" ] && [ -x "$build/ostrel-replay" ] && [ -f "$fixed_time" ]; then
  native=(--native "$build/ostrel" "$fixed_time" "$build/ostrel-replay"
          "$src"/tests/scenarios/*/*/ "$src"/docs/examples/*/)
else
  echo "SKIPPED: the web build's journal against the native engine's: $build/ostrel," \
    "$build/ostrel-replay or $fixed_time is not built"
fi
node --no-experimental-fetch "$src/web/save_seam_test.js" "$web_build/ostrel-engine.js" \
  "$src/tests/scenarios/battles/win_with_animations" "${native[@]}" || failed=1

echo "== published pages in Chromium"
chromium=${CHROMIUM:-$(command -v chromium || true)}
if [ -z "$chromium" ]; then
  echo "SKIPPED: the browser test: chromium is not installed (apt-get install chromium)"
elif [ ! -x "$build/ostrel-publish" ]; then
  echo "SKIPPED: the browser test: $build/ostrel-publish is not built"
else
  if [ ! -d "$src/web/node_modules/puppeteer-core" ] ||
     [ "$src/web/package-lock.json" -nt "$src/web/node_modules/.package-lock.json" ]; then
    (cd "$src/web" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund) || exit 1
  fi
  CHROMIUM=$chromium node "$src/web/browser_test.js" "$build/ostrel-publish" \
    "$src/games/the-ember-crown" || failed=1
fi
exit $failed
