#!/usr/bin/env bash
# What one hostile submission costs the grader: 65,531 lines of ADD B (384
# KB, every line a run-time finding in every case), and 16 MiB less a byte of
# lines that each are an error, against an exercise of 50 cases, in each
# report format. Prints each report's size and the peak memory, and fails
# above the bounds a submission must stay within: about 64 KB of report,
# 256 MB of memory.
#   bench/hostile.sh [mirvo]
set -euo pipefail
mirvo=${1:-build/release/bin/mirvo}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

{
  printf 'title = "Add"\ntext = "Add B to A."\n'
  for i in $(seq 0 49); do
    printf '[[case]]\nname = "case %d"\ngiven = "A=0%Xh"\nexpect = "A=0%Xh"\n' "$i" "$i" "$(((i + 1) % 256))"
  done
} > "$work/add.toml"
awk 'BEGIN { for (i = 0; i < 65531; i++) print "ADD B" }' > "$work/hostile.asm"
awk 'BEGIN { for (i = 0; i < 8388607; i++) print "Q" }' > "$work/errors.asm"

status=0
for submission in hostile errors; do
  for format in text json junit tap gradescope csv; do
    /usr/bin/time -f '%M' -o "$work/rss" "$mirvo" test "$work/add.toml" "$work/$submission.asm" --format "$format" \
      -o "$work/report" || [ $? -eq 1 ] || { echo "$format: mirvo test failed"; exit 1; }
    bytes=$(wc -c < "$work/report")
    kilobytes=$(tail -n 1 "$work/rss")
    printf '%-8s %-10s report %7d bytes, peak memory %6d KB\n' "$submission" "$format" "$bytes" "$kilobytes"
    if [ "$bytes" -gt 70000 ] || [ "$kilobytes" -gt 262144 ]; then status=1; fi
  done
done
[ "$status" -eq 0 ] || echo "a report or the memory went past its bound"
exit "$status"
