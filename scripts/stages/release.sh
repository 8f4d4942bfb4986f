#!/usr/bin/env bash
# The whole suite in an optimised build: no test may depend on the build type.
# It builds with the Unix Makefiles generator, the default a user without the
# presets gets, so that a build step only Ninja happens to allow shows here.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/install-deps.sh base
cmake --preset release
cmake --build --preset release
ctest --preset release
