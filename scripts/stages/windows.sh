#!/usr/bin/env bash
# The Windows builds: the 32-bit DLL the studio loads and the 64-bit one, each
# with the whole test suite, the drez-host scenarios and the host built with
# Microsoft's C++ ABI run under Wine, and the DLL's export table and version
# record checked; then each preset's bundle (the zip a Windows panel author
# unpacks) is built, unpacked apart and run from its own folder. Fails loudly
# when Wine cannot start.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/install-deps.sh base cross

# shellcheck source=../wine-env.sh
if ! . scripts/wine-env.sh; then
  echo "windows stage: Wine cannot start on this machine; the Windows tests did not run" >&2
  exit 1
fi
trap wine_env_stop EXIT

# Now and then Wine's own loader trips an assertion as a test program exits
# ("Inconsistency detected by ld.so: dl-fini.c"), after the test has passed.
# The tests that failed run once more, and the stage fails only when one
# fails again; the rerun is printed, so it never goes unseen.
run_tests() {
  ctest --preset "$1" && return 0
  echo "--- $1: the failed tests once more"
  ctest --preset "$1" --rerun-failed
}

# The bundle: a fresh zip (an older one, of another version, is removed
# first), checked by tests/package/check_windows_bundle.sh.
check_bundle() {
  local preset=$1 arch=$2 zips
  rm -f "build/$preset"/drez-host-*-windows-"$arch".zip
  cmake --build --preset "$preset" --target package
  zips=("build/$preset"/drez-host-*-windows-"$arch".zip)
  if [ ${#zips[@]} -ne 1 ] || [ ! -f "${zips[0]}" ]; then
    echo "windows stage: the package target made no drez-host-*-windows-$arch.zip in build/$preset" >&2
    return 1
  fi
  tests/package/check_windows_bundle.sh "${zips[0]}" "$arch"
}

for arch in i686 x86_64; do
  preset=windows-$arch
  echo "--- $preset"
  cmake --preset "$preset"
  cmake --build --preset "$preset"
  run_tests "$preset"
  echo "--- $preset: the bundle"
  check_bundle "$preset" "$arch"
done
