#!/usr/bin/env bash
# Instructions per event and per replay, counted by callgrind: a measure that
# a busy machine does not disturb, for judging an optimisation. Runs the
# benchmark binary of build/bench (build it with scripts/bench.sh first)
# once per benchmark under valgrind; slow (a minute or two).
#
#   bench/instructions.sh [id...]    ids as in the benchmark names; default all
set -euo pipefail
cd "$(dirname "$0")/.."
binary=build/bench/bench/vantrel_bench
command -v valgrind >/dev/null || { echo "instructions.sh: needs valgrind" >&2; exit 2; }
[ -x "$binary" ] || { echo "instructions.sh: build $binary first (scripts/bench.sh)" >&2; exit 2; }
ids=("$@")
[ ${#ids[@]} -eq 0 ] && ids=(studio_to_tx router_readout slot4_mode request event_id)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Inclusive instructions of `function` divided by its calls.
per_call() {
  callgrind_annotate --inclusive=yes --tree=calling "$1" 2>/dev/null |
    grep -E "> .*drezbench::Scenario::$2\(\)" | head -1 |
    sed -E 's/^ *([0-9,]+) .*\(([0-9,]+)x\).*/\1 \2/; s/,//g' | awk '{ printf "%.0f", $1 / $2 }'
}

printf '%-16s %12s %12s %7s\n' event "event instr" "replay instr" ratio
for id in "${ids[@]}"; do
  for side in event replay; do
    # Bound at start-up: lazy symbol binding would be charged to the first calls.
    LD_BIND_NOW=1 valgrind --tool=callgrind --callgrind-out-file="$out/$side" "$binary" \
      --benchmark_filter="^$id/$side\$" --benchmark_min_time=0.05 >/dev/null 2>&1
  done
  event=$(per_call "$out/event" deliverNext)
  replay=$(per_call "$out/replay" replayNext)
  awk -v id="$id" -v e="$event" -v r="$replay" 'BEGIN { printf "%-16s %12d %12d %7.2f\n", id, e, r, e / r }' 
done
