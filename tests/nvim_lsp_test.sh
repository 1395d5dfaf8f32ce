#!/usr/bin/env bash
# One run of a real editor: Neovim, headless, with its built-in language
# client and mirvo lsp (tests/nvim_lsp_test.lua). The source on disk must
# be correct afterwards. The expected inlay hints and code lens are what
# mirvo run --given A=5h --trace shows of the fixed source.
#   tests/nvim_lsp_test.sh MIRVO NVIM
set -euo pipefail
mirvo=$1
nvim=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
printf 'MOV b, A ; mirvo: given A=5h\nRET\n' > first.asm
export MIRVO=$mirvo XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_STATE_HOME=$work/state
output=$(timeout 120 "$nvim" --headless --clean -n first.asm -c "luafile $here/nvim_lsp_test.lua" 2>&1) || {
  echo "$output"
  echo "neovim failed" >&2
  exit 1
}
echo "$output"
expected="diagnostic 1:5 'b' is not a register: register letters are upper case, write B
hover **MOV dst, src**: copies src into dst; the flags stay as they were  Encoding \`01 ddd sss\`, 1 byte; flags written: none
offered Write B
fixed
hints 0000  47  B 00h→05h | 0001  C9  nothing changed
lens halted by the RET at 0001h after 2 steps
formatted MVI A, 1h | RET"
[ "$output" = "$expected" ] || { echo "expected:"; echo "$expected"; exit 1; }
[ "$(cat first.asm)" = "$(printf 'MOV B, A ; mirvo: given A=5h\nRET')" ] || { echo "first.asm is:"; cat first.asm; exit 1; }
