#!/usr/bin/env bash
# The native build and its whole test suite.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/install-deps.sh base
cmake --preset default
cmake --build --preset default
ctest --preset default
