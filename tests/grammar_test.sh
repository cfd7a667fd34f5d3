#!/usr/bin/env bash
# The TextMate grammar of story files against its tests, with
# vscode-tmgrammar-test as pinned in the extension's package-lock.json.
#
#   grammar_test.sh SOURCE_DIR WORK_DIR
# Installs the pinned packages into WORK_DIR (npm ci) when they are missing
# or the lock file changed; exits with 77 (skipped) when npm is missing.
set -u
ext=$1/editors/vscode
work=$2
if ! command -v npm >/dev/null || ! command -v node >/dev/null; then
  echo "grammar_test: skipped: node and npm (Debian's npm) are not installed"
  exit 77
fi
mkdir -p "$work"
if [ ! -x "$work/node_modules/.bin/vscode-tmgrammar-test" ] ||
   ! cmp -s "$ext/package-lock.json" "$work/package-lock.json"; then
  cp "$ext/package.json" "$ext/package-lock.json" "$work/" || exit 1
  (cd "$work" && npm ci --prefer-offline --no-audit --no-fund --loglevel=error) || {
    echo "grammar_test: npm ci failed"
    exit 1
  }
fi
cd "$ext" || exit 1
"$work/node_modules/.bin/vscode-tmgrammar-test" -g syntaxes/ostrel.tmLanguage.json \
  "test/*.test.ostrel"
