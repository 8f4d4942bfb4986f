# Cross build for 32-bit Windows (i686) with Debian's MinGW-w64 GCC.
#
#   cmake --preset windows-i686
#
# CTest runs the test programs under Wine. A 32-bit program needs the i386
# Wine loader; on a kernel without 32-bit support it runs through qemu-i386
# (scripts/wine-env.sh registers it, as root). Sourcing scripts/wine-env.sh
# before the tests checks that Wine starts and keeps a wineserver up, so that
# each test starts in 0.3 s rather than 2 s.

set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TRIPLE i686-w64-mingw32)
set(MINGW_WINE_NAMES wine wine-stable)
set(MINGW_WINE_ENV)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# Hosts built by Microsoft's compiler call into a DLL with the stack only
# 4-byte aligned: nothing built here may assume 16 (GCC's default on i686).
string(APPEND CMAKE_C_FLAGS_INIT " -mincoming-stack-boundary=2")
string(APPEND CMAKE_CXX_FLAGS_INIT " -mincoming-stack-boundary=2")
