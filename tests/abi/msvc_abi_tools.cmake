# What the freestanding programs built with Microsoft's C++ ABI share (the
# test host in msvc_abi_host/, the panel in msvc_abi_panel/): clang for
# *-windows-msvc, lld-link, llvm-dlltool and llvm-readobj; the triple of the
# build's architecture; the compiler flags; and a kernel32 import library
# made from a .def file of the functions a program imports.
#
# Sets DREZ_MSVC_CLANG, DREZ_LLD_LINK, DREZ_LLVM_DLLTOOL, DREZ_LLVM_READOBJ,
# msvc_abi_triple and msvc_abi_flags. Windows builds only.

find_program(DREZ_MSVC_CLANG NAMES clang clang-16 clang-15 clang-14)
find_program(DREZ_LLD_LINK NAMES lld-link lld-link-16 lld-link-15 lld-link-14)
find_program(DREZ_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-16 llvm-dlltool-15 llvm-dlltool-14)
find_program(DREZ_LLVM_READOBJ NAMES llvm-readobj llvm-readobj-16 llvm-readobj-15 llvm-readobj-14)
if(NOT DREZ_MSVC_CLANG OR NOT DREZ_LLD_LINK OR NOT DREZ_LLVM_DLLTOOL OR NOT DREZ_LLVM_READOBJ)
  message(FATAL_ERROR "the programs built with Microsoft's C++ ABI need clang, lld-link, "
                      "llvm-dlltool and llvm-readobj (Debian packages clang, lld, llvm)")
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(msvc_abi_triple i686-pc-windows-msvc)
else()
  set(msvc_abi_triple x86_64-pc-windows-msvc)
endif()

# Freestanding: no C runtime, no exceptions, no RTTI, no security cookie, no
# stack probes (so no frame may reach a page, or it could skip the stack's
# guard page); examples/msvc_abi_panel/freestanding_runtime.h defines the
# little a compiler still expects.
set(msvc_abi_flags --target=${msvc_abi_triple} -std=c++17 -O2 -Wall -Wextra -Wpedantic
    -Wframe-larger-than=4000 -ffreestanding -fno-builtin -fno-exceptions -fno-rtti
    -fno-stack-protector -mno-stack-arg-probe -fno-threadsafe-statics
    -I${PROJECT_SOURCE_DIR}/abi -I${PROJECT_SOURCE_DIR}/examples/msvc_abi_panel)
if(DREZ_WARNINGS_AS_ERRORS)
  list(APPEND msvc_abi_flags -Werror)
endif()

# msvc_abi_kernel32(DEF OUT): the rule that makes OUT, a kernel32 import
# library, from DEF. The .def carries the 32-bit stdcall names (@n); the
# x86-64 library is made from a copy without them.
function(msvc_abi_kernel32 def out)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(machine -m i386 -k)
  else()
    set(machine -m i386:x86-64)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${def})
    file(READ ${def} text)
    string(REGEX REPLACE "@[0-9]+" "" text "${text}")
    set(def ${CMAKE_CURRENT_BINARY_DIR}/kernel32.def)
    file(CONFIGURE OUTPUT ${def} CONTENT "${text}" @ONLY)
  endif()
  add_custom_command(OUTPUT ${out}
    COMMAND ${DREZ_LLVM_DLLTOOL} ${machine} -d ${def} -l ${out}
    DEPENDS ${def}
    COMMENT "Making a kernel32 import library")
endfunction()
