#!/usr/bin/env bash
# Runs each libFuzzer target (clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# for a bounded time, starting from its seed corpus and its regression inputs.
# A crash, a sanitizer report or a property that does not hold fails the stage.
# The input that caused it is kept in build/fuzz/artifacts/<target>/ and
# printed in base64, so that it survives a CI log: commit it under
# fuzz/regressions/<target>/, where CTest replays it in every other build.
#
#   FUZZ_SECONDS=<n>  seconds per target (default 20)
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/install-deps.sh base fuzz

seconds=${FUZZ_SECONDS:-20}
targets=(parsed_command_fuzzer decode_drez_string_fuzzer string_fuzzer panel_fuzzer
  alarm_action_fuzzer)

cmake --preset fuzz
cmake --build --preset fuzz --target "${targets[@]}"

summary=()
failed=()
for target in "${targets[@]}"; do
  # What the fuzzer learns goes to the build tree; the seeds stay as committed.
  work=build/fuzz/corpus/$target
  artifacts=build/fuzz/artifacts/$target
  log=build/fuzz/$target.log
  mkdir -p "$work" "$artifacts"
  inputs=("$work" "fuzz/corpus/$target")
  [ -d "fuzz/regressions/$target" ] && inputs+=("fuzz/regressions/$target")

  echo "--- $target: $seconds s from ${inputs[*]}"
  status=0
  # -timeout only catches a hung input; every input runs in milliseconds.
  "build/fuzz/fuzz/$target" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=2048 \
    -max_len=4096 -print_final_stats=1 -artifact_prefix="$artifacts/" "${inputs[@]}" \
    >"$log" 2>&1 || status=$?

  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  edges=$( (grep -oE 'cov: [0-9]+' "$log" || true) | tail -n 1 | cut -d' ' -f2)
  corpus=$(find "$work" -type f | wc -l)
  summary+=("$(printf '%-28s %4s s %12s runs %6s edges %6s inputs learnt' \
    "$target" "$seconds" "${runs:-?}" "${edges:-?}" "$corpus")")
  if [ "$status" -ne 0 ]; then
    failed+=("$target")
    tail -n 80 "$log"
    for artifact in "$artifacts"/*; do
      [ -f "$artifact" ] || continue
      echo "KEPT INPUT: $artifact"
      echo "base64: $(base64 -w0 "$artifact")"
    done
  fi
done

echo
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz targets that failed: ${failed[*]} (inputs kept in build/fuzz/artifacts/)" >&2
  exit 1
fi
