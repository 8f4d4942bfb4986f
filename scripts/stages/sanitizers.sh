#!/usr/bin/env bash
# The whole test suite (unit tests, fault injection, re-entrancy, the drez-host
# scenarios and the replays of the fuzz inputs) under AddressSanitizer, its
# leak checker on, with UndefinedBehaviorSanitizer, then valgrind memcheck
# over the simulated host's built-in demo: no error, no byte lost or left.
# (The lsan preset, LeakSanitizer alone, finds no leak the asan run misses;
# it is left to run by hand.)
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/install-deps.sh base sanitizers

echo "--- asan"
cmake --preset asan
cmake --build --preset asan
ctest --preset asan

echo "--- valgrind memcheck over the drez-host demo"
cmake --preset memcheck
targets=$(cmake --build --preset memcheck --target help)
if ! grep -q '^drez-host:' <<<"$targets"; then
  echo "no drez-host target in this tree: memcheck skipped" >&2
  exit 0
fi
cmake --build --preset memcheck --target drez-host
log=build/memcheck/drez-host-demo.valgrind.log
# Every leak kind counts as an error, "still reachable" included.
if valgrind --error-exitcode=1 --leak-check=full --show-leak-kinds=all \
  --errors-for-leak-kinds=all --log-file="$log" build/memcheck/drez_host/drez-host >/dev/null; then
  grep -E 'in use at exit|ERROR SUMMARY' "$log"
else
  cat "$log"
  echo "valgrind memcheck found errors or lost bytes in the drez-host demo (log: $log)" >&2
  exit 1
fi
