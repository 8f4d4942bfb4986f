#!/usr/bin/env bash
# Measures the cost of each event the Vantrel panel handles: installs what is
# missing, builds the optimised benchmark preset (build/bench) and runs the
# suite, which ends with the table of figures (see bench/README.md).
#
#   scripts/bench.sh                  five repetitions; the table shows medians
#   scripts/bench.sh <flags...>       Google Benchmark flags instead, such as
#                                     --benchmark_filter=studio
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh base bench
cmake --preset bench >/dev/null
cmake --build --preset bench
flags=("$@")
[ ${#flags[@]} -eq 0 ] && flags=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true)
echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores," \
  "$(uname -sr), $(g++ --version | head -1)"
exec build/bench/bench/vantrel_bench "${flags[@]}"
