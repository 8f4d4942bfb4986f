# What the MinGW-w64 toolchain files share; they set MINGW_TRIPLE first.
#
# The compilers are the posix thread model ones: GoogleTest and our code need
# std::mutex and std::thread, which the win32 model of GCC 12 lacks. The
# framework's static libraries in the Windows bundle are built so, and a
# panel linking them must be too: Debian's MinGW-w64 GCC 12, posix threads,
# dwarf2 exceptions for i686 and seh for x86_64 (packages
# g++-mingw-w64-i686-posix, g++-mingw-w64-x86-64-posix). Programs
# and DLLs link the GCC, C++ and winpthread runtimes statically, so they import
# only system DLLs (KERNEL32, msvcrt, ...) and need no MinGW DLL beside them.

set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)

# Look for headers, libraries and packages only in the MinGW sysroot, never
# in the host's (the x86-64 Linux GoogleTest must not be picked up); look for
# programs only on the host.
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
# In the Windows bundle (this file in its cmake/toolchains/), the bundle's
# own folder is a root too: find_package(drez_script_helper) finds the
# bundle's package there with no prefix given.
get_filename_component(_mingw_bundle "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
if(EXISTS "${_mingw_bundle}/lib/cmake/drez_script_helper/drez_script_helperConfig.cmake")
  list(APPEND CMAKE_FIND_ROOT_PATH "${_mingw_bundle}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Large test files (GoogleMock) exceed the 32767 sections of a plain COFF object.
set(CMAKE_C_FLAGS_INIT "-Wa,-mbig-obj")
set(CMAKE_CXX_FLAGS_INIT "-Wa,-mbig-obj")

set(_mingw_static_runtime "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_mingw_static_runtime}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_mingw_static_runtime}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${_mingw_static_runtime}")

# Wine runs the test programs, through scripts/wine-env.sh run: it applies the
# settings of the environment (WINEPREFIX...) or else its quiet defaults, and
# makes the prefix when it is missing. Without that script, plain defaults.
# MINGW_WINE_NAMES and MINGW_WINE_ENV (extra environment) come from the caller.
find_program(WINE_EXECUTABLE NAMES ${MINGW_WINE_NAMES} PATHS /usr/lib/wine)
find_program(BASH_EXECUTABLE bash)
get_filename_component(_wine_env "${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine-env.sh" ABSOLUTE)
if(WINE_EXECUTABLE AND BASH_EXECUTABLE AND EXISTS "${_wine_env}")
  set(CMAKE_CROSSCOMPILING_EMULATOR env ${MINGW_WINE_ENV}
      "${BASH_EXECUTABLE}" "${_wine_env}" run "${WINE_EXECUTABLE}")
elseif(WINE_EXECUTABLE)
  set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all
      "WINEDLLOVERRIDES=mscoree,mshtml=,winemenubuilder.exe=d" "${WINE_EXECUTABLE}")
endif()
