#!/usr/bin/env bash
# Measures drez-host itself on long and hostile scenarios: run time and peak
# memory of the optimised build (build/release), for bench/README.md.
#
#   bench/drez_host.sh            every case
#   EVENTS=100000 bench/drez_host.sh   a shorter event run
#
# Needs GNU time (/usr/bin/time, Debian's "time" package) for peak memory.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build --preset release --target drez-host Vantrel hostile_panel >/dev/null
host=build/release/drez_host/drez-host
hostile=build/release/tests/drez_host/broken_panel/libhostile_panel.so
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# events N FILE [PATH]: "create", then N changes of the tally slot that
# Vantrel acts on (off, rehearsal, transmission in turn).
events() {
  local count=$1 file=$2 path=${3:-}
  {
    if [ -n "$path" ]; then echo "create path $path"; else echo create; fi
    awk -v n="$count" 'BEGIN { for (i = 0; i < n; i++) printf "set \x27RIR Tally Infodriver\x27 1 %d\n", i % 3 }'
  } >"$file"
}

# eventIds N FILE: "create", then N event ids (one "ET" each from Vantrel).
eventIds() {
  local count=$1 file=$2
  { echo create; awk -v n="$count" 'BEGIN { for (i = 0; i < n; i++) printf "event %d\n", i % 100 }'; } >"$file"
}

# triggers N FILE: N triggers waiting for "ET <i>", then the N events that fire them.
triggers() {
  local count=$1 file=$2
  {
    echo create
    awk -v n="$count" 'BEGIN {
      for (i = 0; i < n; i++) printf "on ET %d\n  set \x27RIR Tally Infodriver\x27 1 %d\nend\n", i, i % 3
      for (i = 0; i < n; i++) printf "event %d\n", i
    }'
  } >"$file"
}

# measure LABEL ARGS...: one run, its wall time and peak memory.
measure() {
  local label=$1
  shift
  local stats
  /usr/bin/time -o "$work/time" -f '%e %M' "$host" --quiet "$@" >/dev/null 2>&1 || true
  stats=$(tail -n 1 "$work/time")
  printf '%-44s %8s s %8s MB\n' "$label" "${stats% *}" "$(( ${stats#* } / 1024 ))"
}

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores"
printf '%-44s %10s %11s\n' case time "peak memory"
for n in 100000 1000000 ${EVENTS:-}; do
  eventIds "$n" "$work/ids.scn"
  measure "$n event ids (1 command each)" "$work/ids.scn"
  events "$n" "$work/events.scn"
  measure "$n studio changes (13 commands each)" "$work/events.scn"
done
for n in 500 2000 5000 20000; do
  events "$n" "$work/leak.scn" leak-per-event
  measure "$n events, one leaked reply each" --script "$hostile" "$work/leak.scn"
done
printf 'create path leak-many\nevent 1\n' >"$work/many.scn"
measure "100000 replies held in one call" --script "$hostile" "$work/many.scn"
for n in 5000 20000; do
  triggers "$n" "$work/triggers.scn"
  measure "$n triggers" "$work/triggers.scn"
done
