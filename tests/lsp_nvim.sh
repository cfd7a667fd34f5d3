#!/usr/bin/env bash
# Headless Neovim against ostrel-lsp on a small story (lsp_nvim.lua).
#
#   lsp_nvim.sh OSTREL_LSP
# Exits with 77 (skipped) when nvim is not installed.
set -u
server=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v nvim >/dev/null; then
  echo "lsp_nvim: skipped: nvim (Debian's neovim) is not installed"
  exit 77
fi
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cat > "$dir/script.ostrel" <<'STORY'
|start_location:
Hall
|location=Hall
A hall.
/get_input
>>north
/clear
/change_location:
Libary
/end
|location=Library
Books.
/change_location:
Hall
/end
STORY
cd "$dir" || exit 1
OSTREL_LSP=$server STORY_DIR=$dir HOME=$dir XDG_CONFIG_HOME=$dir XDG_DATA_HOME=$dir \
  XDG_STATE_HOME=$dir timeout -k 5 60 nvim --headless --clean -n -i NONE \
  -c "luafile $here/lsp_nvim.lua" </dev/null
status=$?
[ "$status" -eq 124 ] && echo "lsp_nvim: Neovim did not finish within 60 seconds"
exit "$status"
