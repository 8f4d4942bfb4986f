#!/usr/bin/env bash
# Measures the panel fuzzer on the example newsroom panel, for bench/README.md:
# NewsroomPanelFuzzer's executions per second on one core (the fuzz preset:
# clang, AddressSanitizer, UndefinedBehaviorSanitizer, libFuzzer), from its
# seeds and nothing else; then what one input costs without libFuzzer and
# the sanitizers (panel_fuzzer_bench, the bench preset, optimised).
#
#   bench/panel_fuzzer.sh                 60 s of fuzzing
#   FUZZ_SECONDS=300 bench/panel_fuzzer.sh
# Needs GNU time (/usr/bin/time) and bc.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target NewsroomPanelFuzzer >/dev/null
cmake --preset bench >/dev/null
cmake --build --preset bench --target panel_fuzzer_bench >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores," \
  "$(uname -sr), $(clang++ --version | head -1); load average $(cut -d' ' -f1-3 /proc/loadavg)"
# One core: the fuzzer and its supervisor, pinned. Executions per second of
# the wall clock, and per second of the processor time it was given (which a
# busy machine changes less).
program=$PWD/build/fuzz/fuzz/NewsroomPanelFuzzer
mkdir "$work/corpus"
(cd "$work" && /usr/bin/time -f 'cpu %U %S' -o times taskset -c 0 "$program" \
  -max_total_time="$seconds" -print_final_stats=1 -print_funcs=0 corpus >log 2>&1)
grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$work/log"
runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
read -r _ user system <"$work/times"
echo "executions per processor second: $(echo "$runs / ($user + $system)" | bc) ($user s user, $system s system)"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
taskset -c 0 build/bench/bench/panel_fuzzer_bench --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true
