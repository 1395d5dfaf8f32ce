#!/usr/bin/env bash
# Completes a few mirvo command lines with the installed completion file,
# with the two bash-completion helpers it uses stood in for, and holds its
# subcommands, and each one's long options, to what mirvo --help lists:
#   completion_test.sh <completion file> <mirvo>
set -euo pipefail
completion=$1
binary=$2
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
source "$completion"

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
expect "--assembly" mirvo cc --a
expect "FILES" mirvo cc ""
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

# One word a line, sorted: a list to compare.
sorted() { tr ' ' '\n' | sed '/^$/d' | sort; }
same() {
  local what=$1 want=$2 got=$3
  [ "$got" = "$want" ] || {
    echo "$what: mirvo --help and the completion differ (< help, > completion):"
    diff <(echo "$want") <(echo "$got") || true
    exit 1
  }
}

# The subcommands: the first word of each line under "Subcommands:".
listed=$("$binary" --help | sed -n '/^Subcommands:/,/^$/p' | sed '1d' | awk 'NF { print $1 }' | sort)
same "the subcommands" "$listed" "$(complete_line mirvo "" | sorted)"
# Each subcommand's long options: the first column of its help's options,
# without the value ("--trace[=FILE]" is --trace); the completion offers
# "--trace=" too, and one -Wno- option per check where help has -W.
for subcommand in $listed; do
  options=$("$binary" "$subcommand" --help | sed -n '/^Options:/,/^$/p' | grep -E '^  -' | awk '{ print $1 }' |
    tr ',' '\n' | sed -e 's/\[=.*//' -e 's/^-W$/-Wno-checks/' | grep -E '^(--|-W)' | sort)
  offered=$(complete_line mirvo "$subcommand" - | sorted | grep -E '^(--|-Wno-checks)' | sed '/=$/d')
  same "the options of mirvo $subcommand" "$options" "$offered"
done
echo "completion works"
