#!/usr/bin/env bash
# Times `mirvo asm` printing the diagnostics of a source with one warning on
# each of its lines:   bench/diagnostics.sh [mirvo] [warnings]
# Each is printed with its source line and caret, so a printer that looked
# for each line from the start of the source would take quadratic time.
set -euo pipefail
mirvo=${1:-build/release/bin/mirvo}
warnings=${2:-65535}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

awk -v n="$warnings" 'BEGIN { for (i = 0; i < n; ++i) print "MOV Mem, Mem"; print "RET" }' > "$work/warned.asm"

start=$(date +%s.%N)
"$mirvo" asm "$work/warned.asm" -o "$work/warned.bin" 2> "$work/diagnostics.txt"
end=$(date +%s.%N)

printed=$(grep -c ': warning: ' "$work/diagnostics.txt")
[ "$printed" -eq "$warnings" ] || { echo "printed $printed warnings, expected $warnings"; exit 1; }
awk -v n="$printed" -v start="$start" -v end="$end" 'BEGIN {
  printf "%d warnings printed in %.3f s\n", n, end - start
}'
