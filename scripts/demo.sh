#!/usr/bin/env bash
# Builds the project and plays drez-host's built-in demo: Studio A with the
# Vantrel panel, from start-up to teardown, with the trace of every command
# and event and the studio after each step.
#
#   scripts/demo.sh [drez-host options]    e.g. --studio, --polls queued
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh base
cmake --preset default >/dev/null
cmake --build --preset default --target drez-host
exec build/default/drez_host/drez-host "$@"
