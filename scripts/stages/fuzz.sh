#!/usr/bin/env bash
# Runs each libFuzzer target (clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# for a bounded time, starting from its seed corpus and its regression inputs.
# A crash, a sanitizer report or a property that does not hold fails the stage.
# The input that caused it is kept in build/fuzz/artifacts/<target>/ and
# printed in base64, so that it survives a CI log: commit it under
# fuzz/regressions/<target>/, where CTest replays it in every other build.
#
# Then the panel fuzzer (drez_add_panel_fuzzer): the example newsroom panel
# must find nothing in the same time; each broken twin of the transmission
# suite's alarm panel whose fault is a memory fault or a broken host rule
# must have it found within a minute, written as a scenario that drez-host,
# given the twin, plays to a failure (exit 1 or 3).
#
#   FUZZ_SECONDS=<n>  seconds per target (default 10)
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/install-deps.sh base fuzz

seconds=${FUZZ_SECONDS:-10}
targets=(parsed_command_fuzzer decode_drez_string_fuzzer string_fuzzer panel_fuzzer
  alarm_action_fuzzer)
panels=build/fuzz/tests/drez_host/transmission_panel
# Each twin and the finding its fault is (transmission_panel.h). Those left
# out are found as well (fuzz/README.md), more slowly or by other stages.
twins=(
  "caption_overrun|AddressSanitizer: stack-buffer-overflow"
  "leaks_reply|a leak"
  "keeps_reply|a reply kept"
  "releases_twice|a reply released twice"
  "command_after_as|a command after teardown"
  "open_registration|a registration left open"
  "unbalanced_quote|a malformed command"
)

cmake --preset fuzz
panel_targets=(drez-host NewsroomPanelFuzzer)
for row in "${twins[@]}"; do
  twin=${row%%|*}
  panel_targets+=("transmission_${twin}" "transmission_${twin}_fuzzer")
done
cmake --build --preset fuzz --target "${targets[@]}" "${panel_targets[@]}"

summary=()
failed=()
# fuzz NAME PROGRAM TIMEOUT INPUT...: runs PROGRAM for $seconds from INPUT
# (the first takes what it learns), with TIMEOUT (flags) for one input,
# keeping what it finds in build/fuzz/artifacts.
fuzz() {
  local target=$1 program=$2 timeout=$3
  shift 3
  local artifacts=build/fuzz/artifacts/$target log=build/fuzz/$target.log
  mkdir -p "$@" "$artifacts"
  echo "--- $target: $seconds s from $*"
  local status=0
  # shellcheck disable=SC2086 # $timeout is flags, or none
  "$program" -max_total_time="$seconds" $timeout -rss_limit_mb=2048 \
    -max_len=4096 -print_final_stats=1 -artifact_prefix="$artifacts/" "$@" \
    >"$log" 2>&1 || status=$?

  local runs edges corpus
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  edges=$( (grep -oE 'cov: [0-9]+' "$log" || true) | tail -n 1 | cut -d' ' -f2)
  corpus=$(find "$1" -type f | wc -l)
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
}

for target in "${targets[@]}"; do
  # What the fuzzer learns goes to the build tree; the seeds stay as committed.
  inputs=("build/fuzz/corpus/$target" "fuzz/corpus/$target")
  [ -d "fuzz/regressions/$target" ] && inputs+=("fuzz/regressions/$target")
  # -timeout only catches a hung input; every input runs in milliseconds.
  fuzz "$target" "build/fuzz/fuzz/$target" -timeout=60 "${inputs[@]}"
done
# The panel fuzzer seeds itself from the panel's scenarios, and its inputs
# run under drez-host's own timeout (5 s).
fuzz NewsroomPanelFuzzer build/fuzz/fuzz/NewsroomPanelFuzzer "" \
  build/fuzz/corpus/NewsroomPanelFuzzer

# find_twin TWIN KIND: the twin's fuzzer, from nothing but its seeds, must
# stop within a minute with KIND, and drez-host must fail on the scenario
# it wrote. Its lines go to build/fuzz/twins/TWIN/result.
find_twin() {
  local twin=$1 kind=$2 dir=build/fuzz/twins/$1
  local fuzzer=$PWD/$panels/transmission_${twin}_fuzzer
  local library=$PWD/$panels/libtransmission_${twin}.so
  rm -rf "$dir" && mkdir -p "$dir/corpus"
  local began=$SECONDS status=0
  (cd "$dir" && "$fuzzer" -max_total_time=60 corpus >log 2>&1) || status=$?
  local took=$((SECONDS - began))
  local scenarios=("$dir"/*.scn)
  if [ "$status" -eq 0 ] || [ ! -f "${scenarios[0]}" ] || [ ${#scenarios[@]} -ne 1 ]; then
    echo "FAIL $twin: no finding with one scenario in ${took} s (exit $status)" >"$dir/result"
    return
  fi
  if ! grep -q "^# transmission_${twin}_fuzzer found $kind:" "${scenarios[0]}"; then
    echo "FAIL $twin: found $(head -n 1 "${scenarios[0]}"), not $kind" >"$dir/result"
    return
  fi
  # A leak shows as drez-host exits, in its own process.
  local isolation=() played=0
  [ "$kind" = "a leak" ] && isolation=(--no-isolate)
  build/fuzz/drez_host/drez-host "${isolation[@]}" --quiet --script "$library" \
    "${scenarios[0]}" >"$dir/replay" 2>&1 || played=$?
  if [ "$played" -ne 1 ] && [ "$played" -ne 3 ]; then
    echo "FAIL $twin: drez-host played ${scenarios[0]} with exit $played" >"$dir/result"
    return
  fi
  echo "ok   $twin: $kind in ${took} s, $(sed -n 's/^# From the input [^,]*, //p' \
    "${scenarios[0]}" | sed 's/\. drez-host plays it:$//'); drez-host: exit $played" >"$dir/result"
}

# Two twins at a time, one on each core.
echo "--- the transmission panel's broken twins"
for ((i = 0; i < ${#twins[@]}; i += 2)); do
  for row in "${twins[@]:i:2}"; do find_twin "${row%%|*}" "${row#*|}" & done
  wait
done
for row in "${twins[@]}"; do
  twin=${row%%|*}
  result=$(cat "build/fuzz/twins/$twin/result")
  summary+=("$result")
  if [ "${result:0:4}" = FAIL ]; then
    failed+=("transmission_$twin")
    tail -n 40 "build/fuzz/twins/$twin/log"
    [ -f "build/fuzz/twins/$twin/replay" ] && tail -n 20 "build/fuzz/twins/$twin/replay"
  fi
done

echo
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz targets that failed: ${failed[*]} (inputs kept in build/fuzz/artifacts/)" >&2
  exit 1
fi
