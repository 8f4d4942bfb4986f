#!/usr/bin/env bash
# Installs what the build and the tests need on a fresh Debian machine, and
# only what is missing. Safe to run again. Needs root (or sudo).
#
#   scripts/install-deps.sh [group...]   groups: base (default), bench, sanitizers, fuzz
set -euo pipefail

missing_packages() {
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      echo "$package"
  done
}

apt_install() {
  local missing
  missing=$(missing_packages "$@")
  [ -z "$missing" ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  echo "installing: $missing"
  $sudo apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends $missing
}

groups=("$@")
[ ${#groups[@]} -eq 0 ] && groups=(base)
for group in "${groups[@]}"; do
  case "$group" in
    base) apt_install g++ cmake ninja-build libgtest-dev libgmock-dev python3 ;;
    # The per-event benchmarks (scripts/bench.sh).
    bench) apt_install libbenchmark-dev ;;
    # The sanitizer builds (g++ runtimes) and valgrind memcheck.
    sanitizers) apt_install libasan8 liblsan0 libubsan1 valgrind ;;
    # The libFuzzer targets: clang, its sanitizer and libFuzzer runtimes, and
    # llvm-symbolizer for readable crash reports.
    fuzz) apt_install clang libclang-rt-dev llvm ;;
    *)
      echo "install-deps.sh: unknown group '$group'" >&2
      exit 2
      ;;
  esac
done
