#!/usr/bin/env bash
# Times `mirvo test` grading a class: 300 submissions (sources: correct ones,
# constant answers, ones that do not assemble, ones that never end) on an
# exercise of 10 cases, into a CSV gradebook:
#   bench/grade.sh [mirvo] [submissions]
set -euo pipefail
mirvo=${1:-build/release/bin/mirvo}
count=${2:-300}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

{
  printf 'title = "Sum of four bytes"\ntext = "Add the bytes from 1000h to 1003h; the sum goes to 1004h."\n'
  printf 'max_steps = 1000\n'
  for i in $(seq 1 10); do
    printf '[[case]]\nname = "case %d"\ngiven = "[1000h]=0%02Xh,0%02Xh,0%02Xh,0%02Xh"\nexpect = "[1004h]=0%02Xh"\n' \
      "$i" "$i" "$((i * 3))" "$((i * 5))" "$((i * 7))" "$(((i + i * 3 + i * 5 + i * 7) % 256))"
  done
} > "$work/sum.toml"

mkdir "$work/class"
correct='MVI H, 10h\nMVI L, 00h\nMOV A, Mem\nMVI L, 01h\nADD Mem\nMVI L, 02h\nADD Mem\nMVI L, 03h\nADD Mem\nMVI L, 04h\nMOV Mem, A\nRET\n'
for i in $(seq 1 "$count"); do
  case $((i % 4)) in
    0) printf "; student %d\n$correct" "$i" ;;
    1) printf '; student %d\nMVI H, 10h\nMVI L, 04h\nMVI Mem, 10h\nRET\n' "$i" ;;
    2) printf '; student %d\nMVI A, 5\nRET\n' "$i" ;;
    3) printf '; student %d: no RET, runs on into MOV A, A bytes the case did not give\n%b' "$i" \
         "$(printf 'MOV A, A\\n%.0s' $(seq 1 20))" ;;
  esac > "$work/class/student$i.asm"
done

start=$(date +%s.%N)
status=0
"$mirvo" test "$work/sum.toml" "$work/class" --format csv -o "$work/grades.csv" || status=$?
end=$(date +%s.%N)
[ "$status" -eq 1 ] || { echo "mirvo test exited with $status, expected 1 (some submissions fail)"; exit 1; }
rows=$(($(wc -l < "$work/grades.csv") - 1))
[ "$rows" -eq "$count" ] || { echo "the gradebook has $rows rows, expected $count"; exit 1; }
awk -v n="$count" -v start="$start" -v end="$end" 'BEGIN {
  printf "%d submissions x 10 cases graded in %.3f s\n", n, end - start
}'
