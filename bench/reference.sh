#!/usr/bin/env bash
# Times `mirvo test` grading a class against a model solution on every
# input: 300 submissions (correct ones, ones wrong where the sum carries,
# ones hard-coded for the visible case, ones that never end) on an exercise
# whose [reference] varies two bytes over all 65,536 pairs, into a CSV
# gradebook; then the steps a second that reaches:
#   bench/reference.sh [mirvo] [submissions]
set -euo pipefail
mirvo=${1:-build/release/bin/mirvo}
count=${2:-300}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

correct='MVI H, 10h\nMVI L, 00h\nMOV A, Mem\nMVI L, 01h\nADD Mem\nMVI L, 02h\nMOV Mem, A\nRET\n'
{
  printf 'title = "Add two bytes"\ntext = "Add the bytes at 1000h and 1001h; the sum goes to 1002h."\n'
  printf 'max_steps = 1000\n[[case]]\nname = "5 + 7"\ngiven = "[1000h]=5h,7h"\nexpect = "[1002h]=0Ch"\n'
  printf '[reference]\nsolution = """\n%b"""\n' "$correct"
  printf 'vary = "[1000h]=0..0FFh [1001h]=0..0FFh"\ncompare = "[1002h] CY halt"\ninputs = "all"\npoints = 5\n'
} > "$work/add.toml"

mkdir "$work/class"
for i in $(seq 1 "$count"); do
  case $((i % 4)) in
    0) printf "; student %d\n$correct" "$i" ;;
    1) printf '; student %d: adds without the carry flag\nMVI H, 10h\nMVI L, 00h\nMOV A, Mem\nMVI L, 01h\nMOV B, Mem\nADD B\nMVI L, 02h\nMOV Mem, A\nRET\n' "$i" ;;
    2) printf '; student %d\nMVI H, 10h\nMVI L, 02h\nMVI Mem, 0Ch\nRET\n' "$i" ;;
    3) printf '; student %d: no RET\nMVI H, 10h\nMVI L, 00h\nMOV A, Mem\n' "$i" ;;
  esac > "$work/class/student$i.asm"
done

start=$(date +%s.%N)
status=0
"$mirvo" test "$work/add.toml" "$work/class" --format csv -o "$work/grades.csv" || status=$?
end=$(date +%s.%N)
[ "$status" -eq 1 ] || { echo "mirvo test exited with $status, expected 1 (some submissions fail)"; exit 1; }
rows=$(($(wc -l < "$work/grades.csv") - 1))
[ "$rows" -eq "$count" ] || { echo "the gradebook has $rows rows, expected $count"; exit 1; }
# Steps per input: the solution 8 (once, when the file is read), the
# students 8, 10, 4 and 4 (the last stops at the 00h after its code).
awk -v n="$count" -v start="$start" -v end="$end" 'BEGIN {
  inputs = 65536; steps = inputs * 8 + inputs * (n / 4) * (8 + 10 + 4 + 4)
  printf "%d submissions x %d inputs graded in %.3f s: %.0f million steps a second\n",
    n, inputs, end - start, steps / (end - start) / 1e6
}'
