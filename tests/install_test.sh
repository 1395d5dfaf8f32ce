#!/usr/bin/env bash
# Installs a build into a scratch prefix and runs the installed programs on
# an example:   install_test.sh <build folder> <source folder>
set -euo pipefail
build=$1
source=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
for file in bin/MirvoVM bin/MirvoVMAssembler bin/MirvoVMCompiler \
            share/man/man1/MirvoVM.1 share/man/man1/MirvoVMAssembler.1 share/man/man1/MirvoVMCompiler.1 \
            share/doc/mirvovm/README.md share/doc/mirvovm/copyright \
            share/doc/mirvovm/sum.asm share/doc/mirvovm/forever.asm share/mirvovm/include/mirvo.h; do
  [ -e "$prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done

[ ! -e "$prefix/share/doc/MirvoVM" ] || { echo "documentation also under share/doc/MirvoVM"; exit 1; }
grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' \
  "$prefix/share/doc/mirvovm/copyright" || { echo "copyright file is not in Debian's format"; exit 1; }

cd "$prefix"
"$prefix/bin/MirvoVMAssembler" "$source/examples/sum.asm" sum.bin | grep -qx 'Assembly Complete(sum.bin)'
"$prefix/bin/MirvoVMAssembler" share/doc/mirvovm/forever.asm forever.bin | grep -qx 'Assembly Complete(forever.bin)'
[ "$(wc -c <forever.bin)" -eq 65536 ] || { echo "installed forever.asm does not fill memory"; exit 1; }
"$prefix/bin/MirvoVM" sum.bin | grep -qx 'MirvoVM runtime complete.. exiting.'
grep -qx 'Reg A: 20 (32)' MirvoVMStateMap.txt
grep -qx '0 1   0    0   0' MirvoVMStateMap.txt
"$prefix/bin/MirvoVMCompiler" x.c | grep -qx 'Opening x.c ...'
# The installed header builds the installed C example on the host, with a
# harness that gives it 1, 2, 3 and 4 and wants their sum.
if command -v cc >/dev/null; then
  [ -e share/doc/mirvovm/c/sum.c ] || { echo "not installed: the C examples"; exit 1; }
  printf '#include "%s"\n#undef main\nint main(void) { for (int i = 0; i < 4; ++i) mem[0x1000 + i] = i + 1;\n  mirvo_main(); return mem[0x1004] != 10; }\n' \
    "$prefix/share/doc/mirvovm/c/sum.c" > harness.c
  cc -std=c11 -I "$prefix/share/mirvovm/include" harness.c -o harness && ./harness ||
    { echo "the installed header does not build the installed sum.c"; exit 1; }
fi
# mirvo is built only when its libraries are found.
if [ -e "$build/bin/mirvo" ]; then
  for file in bin/mirvo share/man/man1/mirvo.1 share/man/man1/mirvo-cc.1 share/man/man7/mirvo-checks.7 share/bash-completion/completions/mirvo; do
    [ -e "$prefix/$file" ] || { echo "not installed: $file"; exit 1; }
  done
  "$prefix/bin/mirvo" run sum.bin | grep -qx 'Outcome:   halted by the RET at 000Ch'
  # The exercises that ship are installed and read; a program that only
  # returns passes none of the first one's cases.
  [ -e share/doc/mirvovm/exercises/05-add.toml ] || { echo "not installed: the exercises"; exit 1; }
  printf 'RET\n' > ret.asm
  report=$("$prefix/bin/mirvo" test share/doc/mirvovm/exercises/01-copy.toml ret.asm) && status=0 || status=$?
  [ "$status" -eq 1 ] && grep -qx 'FAIL ret.asm (0/5)' <<<"$report" || { echo "the installed exercise does not grade"; exit 1; }
fi
echo "installed programs run"
