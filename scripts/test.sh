#!/usr/bin/env bash
# Builds and runs every test, installing what is missing first.
#
#   scripts/test.sh             every stage, in order
#   scripts/test.sh native ...  only the named stages
#
# Each stage is scripts/stages/<name>.sh. Every stage runs even when an
# earlier one fails; the exit status is non-zero when any failed.
set -uo pipefail
cd "$(dirname "$0")/.."

all_stages=(format tidy native m32 windows sanitizers fuzz)
stages=("$@")
[ ${#stages[@]} -eq 0 ] && stages=("${all_stages[@]}")
for stage in "${stages[@]}"; do
  if [ ! -f "scripts/stages/$stage.sh" ]; then
    echo "test.sh: no stage '$stage' (stages: ${all_stages[*]})" >&2
    exit 2
  fi
done

failed=()
for stage in "${stages[@]}"; do
  echo
  echo "=== stage $stage ==="
  start=$SECONDS
  if bash "scripts/stages/$stage.sh"; then
    echo "=== stage $stage: ok ($((SECONDS - start)) s) ==="
  else
    echo "=== stage $stage: FAILED ($((SECONDS - start)) s) ==="
    failed+=("$stage")
  fi
done

echo
if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED stages: ${failed[*]}"
  exit 1
fi
echo "every stage passed: ${stages[*]}"
