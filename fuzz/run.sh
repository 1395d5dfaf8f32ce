#!/usr/bin/env bash
# Runs each fuzz target for a bounded time, growing a scratch corpus from the
# seeds in fuzz/corpus (the assembler also starts from the examples), which
# are never changed, and fails on any finding.
#   fuzz/run.sh [seconds per target]          (default 60)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${MIRVO_FUZZ_BIN:-$root/build/fuzz/bin}
seconds=${1:-60}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for pair in AssemblerFuzz:assembler VmFuzz:vm StateMapFuzz:statemap PlaygroundFuzz:playground LspFuzz:lsp \
            ExerciseFuzz:exercise CommandLineFuzz:commandline TraceFuzz:trace WalkerFuzz:walker ReportFuzz:report \
            CompilerFuzz:compiler CcLevelsFuzz:cclevels; do
  target=${pair%%:*}
  seeds=${pair##*:}
  # mirvo's targets are built only when mirvo is.
  if [ ! -x "$bin/$target" ]; then
    echo "== $target: not built, skipped"
    continue
  fi
  mkdir -p "$work/$seeds"
  echo "== $target, $seconds s"
  extra=()
  [ "$seeds" = assembler ] && extra=("$root/examples")
  if ! "$bin/$target" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 -artifact_prefix="$work/" \
      "$work/$seeds" "$root/fuzz/corpus/$seeds" "${extra[@]}" >"$work/$target.log" 2>&1; then
    tail -40 "$work/$target.log"
    for crash in "$work"/crash-* "$work"/leak-* "$work"/timeout-*; do
      [ -e "$crash" ] && cp "$crash" "$root/build/" && echo "input kept as build/$(basename "$crash")"
    done
    echo "$target found a fault" >&2
    exit 1
  fi
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$work/$target.log"
done
