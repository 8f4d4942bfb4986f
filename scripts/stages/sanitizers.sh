#!/usr/bin/env bash
# The whole test suite (unit tests, fault injection, re-entrancy, the drez-host
# scenarios and the replays of the fuzz inputs) under AddressSanitizer, its
# leak checker on, with UndefinedBehaviorSanitizer, then valgrind memcheck
# over the simulated host's built-in demo in the native Debug build: no
# error, no byte lost or left. (The lsan preset, LeakSanitizer alone, finds
# no leak the asan run misses; it is left to run by hand.)
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/install-deps.sh base sanitizers

echo "--- asan"
cmake --preset asan
cmake --build --preset asan
ctest --preset asan

echo "--- valgrind memcheck over the drez-host demo"
# The Debug build of the native stage, made here when that stage did not run.
cmake --preset default >/dev/null
cmake --build --preset default --target drez-host
log=build/default/drez-host-demo.valgrind.log
# Every leak kind counts as an error, "still reachable" included.
if valgrind --error-exitcode=1 --leak-check=full --show-leak-kinds=all \
  --errors-for-leak-kinds=all --log-file="$log" build/default/drez_host/drez-host >/dev/null; then
  grep -E 'in use at exit|ERROR SUMMARY' "$log"
else
  cat "$log"
  echo "valgrind memcheck found errors or lost bytes in the drez-host demo (log: $log)" >&2
  exit 1
fi
