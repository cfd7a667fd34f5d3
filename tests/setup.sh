#!/usr/bin/env bash
# Installs, from Debian's packages, what the test suites need and the machine
# lacks; `make test` runs it first, CI with --ci for the sanitizer, benchmark,
# Windows and fuzzing tools too. Where nothing can be installed (not root, no
# apt-get) it says what is missing; the suites that need it then skip
# themselves, each with a line naming its tool.
set -uo pipefail

missing=()
need() {  # need PACKAGE...: to be installed
  missing+=("$@")
}
command -v cmake >/dev/null || need cmake
command -v g++ >/dev/null || need g++
[ -f /usr/include/gtest/gtest.h ] || need libgtest-dev
# The story map's rendering, the manual pages' lint, the Debian package.
command -v dot >/dev/null || need graphviz
command -v mandoc >/dev/null || need mandoc
command -v dpkg-shlibdeps >/dev/null || need dpkg-dev
# The language server's JSON, its end-to-end test's editor, the grammar's test.
[ -f /usr/include/nlohmann/json.hpp ] || need nlohmann-json3-dev
command -v nvim >/dev/null || need neovim
# The web page: Emscripten builds it, Node and npm run its tests (npm ci from
# the committed lock files), Chromium plays the published pages.
command -v emcc >/dev/null || need emscripten
command -v node >/dev/null || need nodejs
command -v npm >/dev/null || need npm
command -v chromium >/dev/null || need chromium
if [ "${1:-}" = --ci ]; then
  command -v clang++ >/dev/null || need clang
  [ -f /usr/include/benchmark/benchmark.h ] || need libbenchmark-dev
  command -v x86_64-w64-mingw32-g++ >/dev/null || need mingw-w64
  command -v wine >/dev/null || need wine wine64
  ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1 ||
    need libclang-rt-dev
fi

[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" != 0 ] || ! command -v apt-get >/dev/null; then
  echo "setup: not installed (needs root and apt-get): ${missing[*]}"
  exit 0
fi
echo "setup: installing ${missing[*]}"
apt-get update -q &&
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" ||
  { echo "setup: installing failed: ${missing[*]}"; exit 1; }
