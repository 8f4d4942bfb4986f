#!/usr/bin/env bash
# The whole test suite built optimised for 32-bit Linux (-m32): every record
# layout is compiled and checked with 4-byte pointers, and no test may depend
# on the build type. It builds with the Unix Makefiles generator, the default
# a user without the presets gets, so that a build step only Ninja happens
# to allow shows here. On a kernel that runs no 32-bit code the tests run
# under qemu-i386.
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/install-deps.sh base cross
cmake --preset m32
cmake --build --preset m32
ctest --preset m32
