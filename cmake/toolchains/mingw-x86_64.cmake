# Cross build for 64-bit Windows (x86-64) with Debian's MinGW-w64 GCC.
#
#   cmake --preset windows-x86_64
#
# CTest runs the test programs under Wine's 64-bit loader (Debian installs it
# as /usr/lib/wine/wine64, outside PATH), so no 32-bit code is involved.

set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
set(MINGW_WINE_NAMES wine64 wine64-stable wine)
set(MINGW_WINE_ENV WINE_ENV_SKIP_32BIT=1)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
