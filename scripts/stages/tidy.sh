#!/usr/bin/env bash
# clang-tidy with the checks of .clang-tidy over every C++ source of the
# native build (its compile database) but the tests': any finding fails the
# stage. The tests, a third of the stage's time and code nobody ships, are
# held by the compiler's warnings (errors in every build) and by running
# under the sanitizers.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/install-deps.sh base format
cmake --preset default >/dev/null
# The generated sources must exist for their includers to be checked.
cmake --build --preset default --target drez_host_scenario drez_host_serve >/dev/null
# The example panel is built against the installed package, outside this
# build's compile database.
mapfile -t sources < <(git ls-files '*.cpp' | grep -v -e '^examples/' -e '^tests/')
log=build/default/clang-tidy.log
if ! run-clang-tidy -p build/default -j 2 -quiet "${sources[@]}" >"$log" 2>&1; then
  grep -E 'warning:|error:' "$log" | sort -u || tail -n 40 "$log"
  echo "clang-tidy found the above (whole log: $log)" >&2
  exit 1
fi
echo "clang-tidy: ${#sources[@]} sources, no finding"
