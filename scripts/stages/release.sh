#!/usr/bin/env bash
# The whole suite in an optimised build: no test may depend on the build type.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/install-deps.sh base
cmake --preset release
cmake --build --preset release
ctest --preset release
