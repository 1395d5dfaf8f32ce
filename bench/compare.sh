#!/usr/bin/env bash
# Times the toolchain side by side with yardsticks of the field, whole
# process against whole process, with hyperfine:
#   - MirvoVMAssembler against z80asm and pasmo on the same 32,768-statement
#     program written in each one's syntax (the three images are checked to
#     be byte for byte the same first);
#   - MirvoVM on a short program, which is mostly the writing of its state
#     map, against cp of a file of the state map's size.
# Prints the median of each command and its ratio to the yardstick.
#   bench/compare.sh [runs]        (needs hyperfine, z80asm, pasmo, python3)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MIRVO_BUILD:-$root/build/release}
runs=${1:-30}

for tool in hyperfine z80asm pasmo python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "compare.sh needs $tool: apt-get install hyperfine z80asm pasmo python3" >&2
    exit 1
  fi
done
for program in MirvoVMAssembler MirvoVM MakeBenchSources; do
  if [ ! -x "$build/bin/$program" ]; then
    echo "compare.sh needs $build/bin/$program: build the release preset first (make compare does)" >&2
    exit 1
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$build/bin/MakeBenchSources" 32768 prog
"$build/bin/MirvoVMAssembler" prog.asm prog.bin >/dev/null
z80asm -o z80asm.bin prog.z80
pasmo prog.z80 pasmo.bin >/dev/null
cmp prog.bin z80asm.bin
cmp prog.bin pasmo.bin

"$build/bin/MirvoVMAssembler" "$root/examples/sum.asm" sum.bin >/dev/null
"$build/bin/MirvoVM" sum.bin >/dev/null
cp MirvoVMStateMap.txt same-size.txt

hyperfine -N --warmup 5 --runs "$runs" --export-json assemblers.json \
  "$build/bin/MirvoVMAssembler prog.asm prog.bin" \
  "z80asm -o z80asm.bin prog.z80" \
  "pasmo prog.z80 pasmo.bin" >/dev/null 2>>hyperfine.log || { cat hyperfine.log >&2; exit 1; }
hyperfine -N --warmup 5 --runs "$runs" --export-json vm.json \
  "$build/bin/MirvoVM sum.bin" \
  "cp same-size.txt copy.txt" >/dev/null 2>>hyperfine.log || { cat hyperfine.log >&2; exit 1; }

python3 - "$runs" "$(wc -c <prog.asm)" "$(wc -c <MirvoVMStateMap.txt)" <<'PY'
import json, sys
runs, source_bytes, map_bytes = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
def medians(name):
    return [(r["command"].split()[0].split("/")[-1], r["median"] * 1000) for r in json.load(open(name))["results"]]
asm, vm = medians("assemblers.json"), medians("vm.json")
print(f"| task | program | median (ms) | ratio |")
print(f"|---|---|---|---|")
ours = asm[0][1]
for name, ms in asm:
    print(f"| assemble 32,768 statements ({source_bytes // 1024} KiB) | {name} | {ms:.2f} | {ms / ours:.2f} |")
base = vm[1][1]
for name, ms in vm:
    label = "cp" if name == "cp" else name
    print(f"| run sum.asm, write the {map_bytes // 1024} KiB state map | {label} | {ms:.2f} | {ms / base:.2f} |")
print(f"\n{runs} runs each; ratio: assemblers to MirvoVMAssembler, MirvoVM to cp of a file of the state map's size.")
PY
