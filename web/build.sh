#!/usr/bin/env bash
# Builds the page template of ostrel-publish: the engine in WebAssembly with
# the web terminal layer, xterm.js and the page, in one HTML file.
#
#   build.sh OUT_DIR
#
# Writes OUT_DIR/ostrel-engine.js (the engine, its WebAssembly inlined, which
# the Node harness loads too) and OUT_DIR/ostrel-page.html (the template).
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
out=$1
mkdir -p "$out"
# Debian's Emscripten finds its Node modules (acorn) there.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
# Installed again when the lock file has changed since (a new package).
if [ ! -d "$src/web/node_modules/@xterm/xterm" ] ||
   [ "$src/web/package-lock.json" -nt "$src/web/node_modules/.package-lock.json" ]; then
  (cd "$src/web" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund)
fi

# Every engine source but the other terminal layers, the other places of the
# save and the Windows ones (platform_posix.cpp builds under Emscripten, and
# only the byte reader that the web terminal does not use calls it). The
# entry point as OstrelMain, which the web terminal layer calls.
version=$(sed -n 's/^project(ostrel VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
flags=(-std=c++17 -Os -Wall -Wextra -Wpedantic -Werror "-DOSTREL_VERSION=\"$version\"")
objects=()
for f in "$src"/engine/*.cpp; do
  name=$(basename "$f" .cpp)
  case $name in
    terminal_posix | save_store_posix | save_store_none | *_windows) continue ;;
    main) extra=(-Dmain=OstrelMain) ;;
    *) extra=() ;;
  esac
  obj=$out/obj/$name.o
  mkdir -p "$out/obj"
  emcc "${flags[@]}" "${extra[@]}" -I"$src/engine" -c "$f" -o "$obj"
  objects+=("$obj")
done
emcc "${flags[@]}" "${objects[@]}" \
  -sASYNCIFY -sASYNCIFY_STACK_SIZE=262144 \
  -sMODULARIZE -sEXPORT_NAME=createOstrel -sSINGLE_FILE -sEXIT_RUNTIME \
  -sFORCE_FILESYSTEM -sEXPORTED_RUNTIME_METHODS=FS -sENVIRONMENT=web,node \
  -sALLOW_MEMORY_GROWTH -sNODEJS_CATCH_EXIT=0 -sNODEJS_CATCH_REJECTION=0 \
  -o "$out/ostrel-engine.js"

node "$src/web/make_page.js" "$out/ostrel-engine.js" "$out/ostrel-page.html"
