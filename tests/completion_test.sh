#!/usr/bin/env bash
# Completes a few mirvo command lines with the installed completion file,
# with the two bash-completion helpers it uses stood in for:
#   completion_test.sh <completion file>
set -euo pipefail
_init_completion() {
  words=("${COMP_WORDS[@]}")
  cword=$COMP_CWORD
  cur=${words[cword]}
  prev=${words[cword - 1]:-}
}
_filedir() { COMPREPLY=(FILES); }
# The list of checks comes from mirvo itself.
mirvo() { printf 'hl-unset    Mem is used before H and L are set\ncode-write  a write changes bytes\n'; }
compopt() { :; }
# shellcheck source=/dev/null
source "$1"

complete_line() {
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _mirvo
  echo "${COMPREPLY[*]}"
}

expect() {
  local want=$1
  shift
  local got
  got=$(complete_line "$@")
  [ "$got" = "$want" ] || { echo "completing '$*': got '$got', expected '$want'"; exit 1; }
}

expect "asm" mirvo a
expect "fmt" mirvo f
expect "--fix" mirvo asm --fi
expect "--check" mirvo fmt --c
expect "FILES" mirvo fmt ""
expect "" mirvo lsp ""
expect "run" mirvo r
expect "--help --version" mirvo --
expect "--trace --trace= --trace-limit" mirvo run --tr
expect "--state-map --state-map=" mirvo run x.bin --st
expect "--expect --expect-file" mirvo check --exp
expect "FILES" mirvo dis -o ""
expect "FILES" mirvo run ""
expect "--trace=FILES" mirvo run --trace=
expect "" mirvo check --expect ""
expect "test" mirvo te
expect "--show-hidden" mirvo test ex.toml --sh
expect "junit" mirvo test ex.toml --format ju
expect "source" mirvo run x --as s
expect "FILES" mirvo test ""
expect "explain" mirvo ex
expect "code-write" mirvo explain co
expect "-Wno-checks -Wno-hl-unset -Wno-code-write" mirvo run x.asm -Wno
echo "completion works"
