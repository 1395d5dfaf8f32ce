#!/usr/bin/env bash
# Times `mirvo run --trace=FILE` on a program that runs without end and
# reports trace lines per minute:   bench/trace.sh [mirvo] [steps] [--json]
# The program is MVI B, 1h and then 65534 ADD B, so every line shows a
# change of A; the run stops at the step limit.
set -euo pipefail
mirvo=${1:-build/release/bin/mirvo}
steps=${2:-10000000}
format=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

{ printf '\006\001'; head -c 65534 /dev/zero | tr '\0' '\200'; } > "$work/add.bin"

start=$(date +%s.%N)
status=0
# The run-time checks are off: they have their own benchmark, and would warn
# of each of the 65534 ADDs that wraps.
"$mirvo" run "$work/add.bin" -Wno-checks --max-steps "$steps" --trace="$work/trace.txt" --trace-limit "$steps" $format \
  > "$work/summary.txt" || status=$?
end=$(date +%s.%N)
[ "$status" -eq 2 ] || { echo "mirvo exited with $status, expected 2 (step limit)"; exit 1; }

lines=$(wc -l < "$work/trace.txt")
bytes=$(stat -c %s "$work/trace.txt")
awk -v lines="$lines" -v bytes="$bytes" -v start="$start" -v end="$end" 'BEGIN {
  seconds = end - start
  printf "%d trace lines (%.0f MB) in %.2f s: %.1f million lines per minute\n",
         lines, bytes / 1e6, seconds, lines / seconds * 60 / 1e6
}'
