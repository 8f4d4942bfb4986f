#!/usr/bin/env bash
# The Windows builds: the 32-bit DLL the studio loads and the 64-bit one, each
# with the whole test suite, the drez-host scenarios and the host built with
# Microsoft's C++ ABI run under Wine, and the DLL's export table and version
# record checked. Fails loudly when Wine cannot start.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/install-deps.sh base cross

# shellcheck source=../wine-env.sh
if ! . scripts/wine-env.sh; then
  echo "windows stage: Wine cannot start on this machine; the Windows tests did not run" >&2
  exit 1
fi
trap wine_env_stop EXIT

echo "--- windows-i686"
cmake --preset windows-i686
cmake --build --preset windows-i686
ctest --preset windows-i686

echo "--- windows-x86_64"
cmake --preset windows-x86_64
cmake --build --preset windows-x86_64
ctest --preset windows-x86_64
