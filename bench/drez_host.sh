#!/usr/bin/env bash
# Measures drez-host itself on long and hostile scenarios: run time and peak
# memory of the optimised build of this tree, beside the same cases run by
# an older revision built alike, in the same invocation, and the ratio.
#
#   bench/drez_host.sh               every case, beside revision ef85fc9
#   bench/drez_host.sh REVISION      beside another revision (any git name)
#   bench/drez_host.sh none          this tree alone
#   EVENTS=100000 bench/drez_host.sh a shorter mixed run besides
#   RUNS=3 bench/drez_host.sh        each case of the two builds 3 times,
#                                    in turn; the fastest of each is shown
#
# Each line: wall time, CPU time (user and system, of drez-host and its
# child) and peak memory of this tree's build, the same of the reference,
# and the ratios this tree / reference. On a busy machine the wall time
# holds the waits for a core; the CPU time does not.
#
# The older revision is checked out into a git worktree under
# build/bench-reference/ and built there (Release, only drez-host and the
# panels the cases run). Needs git, CMake and GNU time (/usr/bin/time,
# Debian's "time" package) for peak memory.
set -euo pipefail
cd "$(dirname "$0")/.."
reference=${1:-ef85fc9}
runs=${RUNS:-1}

cmake --preset release >/dev/null
cmake --build --preset release --target drez-host Vantrel hostile_panel >/dev/null
now=build/release

if [ "$reference" != none ]; then
  commit=$(git rev-parse --verify "$reference^{commit}")
  old=build/bench-reference/${commit:0:12}
  if [ ! -e "$old/source/.git" ]; then
    mkdir -p "$old"
    git worktree add --detach "$old/source" "$commit" >/dev/null 2>&1
  fi
  cmake -S "$old/source" -B "$old/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  # Older trees copy data files into this folder without making it first.
  mkdir -p "$old/build/share/drez-host"
  cmake --build "$old/build" -j "$(nproc)" --target drez-host Vantrel hostile_panel >/dev/null
  old=$old/build
fi
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

# mixed N FILE: "create", then N events of four kinds in turn: a change of
# the tally slot, a route on the SDI router Vantrel reads, a property
# request (answered with a reply) and an event id.
mixed() {
  local count=$1 file=$2
  {
    echo create
    awk -v n="$count" 'BEGIN {
      for (i = 0; i < n; i++) {
        k = i % 4
        if (k == 0) printf "set \x27RIR Tally Infodriver\x27 1 %d\n", (i / 4) % 3
        else if (k == 1) printf "route \x27RIR SDI Router\x27 97 %d\n", (i / 4) % 20 + 1
        else if (k == 2) printf "request return=myParam\n"
        else printf "event %d\n", i % 100
      }
    }'
  } >"$file"
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

# once BUILD ARGS...: one run of BUILD's drez-host on the case: "seconds
# cpu-seconds kB" (wall time, user and system time, peak memory).
once() {
  local build=$1
  shift
  local args=()
  for arg in "$@"; do args+=("${arg//@BUILD@/$build}"); done
  /usr/bin/time -o "$work/time" -f '%e %U %S %M' "$build/drez_host/drez-host" --quiet "${args[@]}" \
    >/dev/null 2>&1 || true
  tail -n 1 "$work/time" | awk '{ printf "%s %.2f %s\n", $1, $2 + $3, $4 }'
}

# fastest "s cpu kB"...: the run of least wall time.
fastest() { printf '%s\n' "$@" | sort -n | head -n 1; }

# ratio A B: A / B, two decimals.
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

# measure LABEL ARGS...: RUNS runs of each build, in turn; the fastest of
# each (wall time, CPU time, peak memory), and the ratios now / reference.
# @BUILD@ in an argument stands for the build's directory.
measure() {
  local label=$1
  shift
  local nows=() olds=() a b
  for ((run = 0; run < runs; run++)); do
    [ "$reference" = none ] || olds+=("$(once "$old" "$@")")
    nows+=("$(once "$now" "$@")")
  done
  read -r -a a <<<"$(fastest "${nows[@]}")"
  if [ "$reference" = none ]; then
    printf '%-40s %7s s %7s s %5s MB\n' "$label" "${a[0]}" "${a[1]}" "$((a[2] / 1024))"
    return
  fi
  read -r -a b <<<"$(fastest "${olds[@]}")"
  printf '%-40s %7s s %7s s %5s MB | %7s s %7s s %5s MB | %5s %5s\n' "$label" \
    "${a[0]}" "${a[1]}" "$((a[2] / 1024))" "${b[0]}" "${b[1]}" "$((b[2] / 1024))" \
    "$(ratio "${a[0]}" "${b[0]}")" "$(ratio "${a[1]}" "${b[1]}")"
}

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores"
echo "now: $(git describe --always --dirty), reference: ${commit:-none}"
if [ "$reference" = none ]; then
  printf '%-40s %9s %9s %8s\n' case wall cpu memory
else
  printf '%-40s %9s %9s %8s | %9s %9s %8s | %5s %5s\n' case "now wall" cpu memory \
    "ref. wall" cpu memory wall cpu
fi
hostile=(--script @BUILD@/tests/drez_host/broken_panel/libhostile_panel.so)
for n in ${EVENTS:-} 1000000; do
  mixed "$n" "$work/mixed.scn"
  measure "$n mixed events" "$work/mixed.scn"
done
for n in 100000 1000000; do
  eventIds "$n" "$work/ids.scn"
  measure "$n event ids (1 command each)" "$work/ids.scn"
  events "$n" "$work/events.scn"
  measure "$n studio changes (13 commands each)" "$work/events.scn"
done
for n in 500 2000 5000 20000; do
  events "$n" "$work/leak.scn" leak-per-event
  measure "$n events, one leaked reply each" "${hostile[@]}" "$work/leak.scn"
done
printf 'create path leak-many\nevent 1\n' >"$work/many.scn"
measure "100000 replies held in one call" "${hostile[@]}" "$work/many.scn"
for n in 5000 20000; do
  triggers "$n" "$work/triggers.scn"
  measure "$n triggers" "$work/triggers.scn"
done
