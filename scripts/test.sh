#!/usr/bin/env bash
# Builds and runs every test, installing what is missing first.
#
#   scripts/test.sh             every stage but m32, in order (what CI runs)
#   scripts/test.sh native ...  only the named stages (m32 among them)
#
# m32, the suite built for 32-bit Linux, is left out of the whole run to
# keep CI within its time: windows-i686 runs the suite with 4-byte pointers
# too, under Wine. Run it by name after a change to the POSIX-only code.
#
# Each stage is scripts/stages/<name>.sh. Every stage runs even when an
# earlier one fails; the exit status is non-zero when any failed.
set -uo pipefail
cd "$(dirname "$0")/.."

all_stages=(format native tidy m32 windows sanitizers fuzz)
default_stages=(format native tidy windows sanitizers fuzz)
stages=("$@")
[ ${#stages[@]} -eq 0 ] && stages=("${default_stages[@]}")
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
