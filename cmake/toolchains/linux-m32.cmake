# 32-bit x86 Linux build with the host GCC and -m32 (Debian's g++-multilib).
#
#   cmake -S . -B build/m32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/linux-m32.cmake
#
# Only the multilib C and C++ runtimes exist for i386: any other library the
# build links must come from an i386 -dev package (for example libfoo-dev:i386)
# or be built from source, like GoogleTest from /usr/src/googletest.
#
# Setting the system name makes this a cross build, so CMake does not mix in
# the host's x86-64 libraries and CTest honours CMAKE_CROSSCOMPILING_EMULATOR.

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_FIND_LIBRARY_CUSTOM_LIB_SUFFIX 32)

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

# Some kernels (paravirtualised ones among them) cannot run 32-bit programs
# at all. There the tests run through qemu-i386 (package qemu-user-static),
# named as the emulator so that they do not depend on binfmt_misc, which
# scripts/wine-env.sh sets up for Wine but which a reboot clears.
# -DM32_NEEDS_EMULATOR=ON or OFF overrides the check.
if(DEFINED M32_NEEDS_EMULATOR)
  set(_m32_emulate ${M32_NEEDS_EMULATOR})
elseif(EXISTS /proc/sys/fs/binfmt_misc/qemu-i386)
  set(_m32_emulate ON)
else()
  set(_m32_emulate ON)
  foreach(_m32_loader /lib/ld-linux.so.2 /lib32/ld-linux.so.2)
    if(EXISTS ${_m32_loader})
      execute_process(COMMAND ${_m32_loader} --version
                      RESULT_VARIABLE _m32_result OUTPUT_QUIET ERROR_QUIET)
      if(_m32_result EQUAL 0)
        set(_m32_emulate OFF)
      endif()
      break()
    endif()
  endforeach()
endif()
if(_m32_emulate)
  find_program(QEMU_I386_EXECUTABLE NAMES qemu-i386-static qemu-i386)
  if(QEMU_I386_EXECUTABLE)
    set(CMAKE_CROSSCOMPILING_EMULATOR "${QEMU_I386_EXECUTABLE}")
  else()
    message(WARNING "This machine cannot run 32-bit programs and qemu-i386 is "
                    "missing: the -m32 tests cannot run (install qemu-user-static).")
  endif()
endif()
