#!/usr/bin/env bash
# The native build and its whole test suite, drez-host serve's page in a
# real browser included: here its absence is an error, not a skip.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/install-deps.sh base browser
cmake --preset default -DDREZ_REQUIRE_BROWSER_TEST=ON
cmake --build --preset default
ctest --preset default
