# What the clang-msvc toolchain files share; they set CLANG_MSVC_TRIPLE and
# CMAKE_SYSTEM_PROCESSOR first.
#
# A panel DLL with Microsoft's C++ ABI built without Visual Studio: clang-cl
# (clang's driver that reads cl's options) compiles for *-windows-msvc and
# lld-link links, so a project's flags are the ones cl takes. No Windows SDK
# and no Microsoft C or C++ runtime is at hand: a project builds with no
# runtime at all (/Zl, /nodefaultlib, as examples/msvc_abi_panel/ does) and
# makes the import libraries it needs from .def files with llvm-dlltool
# (package llvm), whose path is LLVM_DLLTOOL.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER_TARGET ${CLANG_MSVC_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${CLANG_MSVC_TRIPLE})

# clang-cl, or clang itself under that name: clang reads cl's options when
# it is called clang-cl, which Debian's clang package does not install.
find_program(CLANG_CL_EXECUTABLE NAMES clang-cl clang-cl-16 clang-cl-15 clang-cl-14)
if(NOT CLANG_CL_EXECUTABLE)
  find_program(CLANG_EXECUTABLE NAMES clang clang-16 clang-15 clang-14)
  if(NOT CLANG_EXECUTABLE)
    message(FATAL_ERROR "the clang-msvc toolchain needs clang (Debian: package clang)")
  endif()
  set(CLANG_CL_EXECUTABLE ${CMAKE_BINARY_DIR}/clang-msvc/clang-cl)
  if(NOT EXISTS ${CLANG_CL_EXECUTABLE})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/clang-msvc)
    file(CREATE_LINK ${CLANG_EXECUTABLE} ${CLANG_CL_EXECUTABLE} SYMBOLIC)
  endif()
endif()
set(CMAKE_C_COMPILER ${CLANG_CL_EXECUTABLE})
set(CMAKE_CXX_COMPILER ${CLANG_CL_EXECUTABLE})
find_program(CMAKE_LINKER NAMES lld-link lld-link-16 lld-link-15 lld-link-14)
if(NOT CMAKE_LINKER)
  message(FATAL_ERROR "the clang-msvc toolchain needs lld-link (Debian: package lld)")
endif()
find_program(CMAKE_AR NAMES llvm-lib llvm-lib-16 llvm-lib-15 llvm-lib-14)
find_program(CMAKE_RC_COMPILER NAMES llvm-rc llvm-rc-16 llvm-rc-15 llvm-rc-14)
find_program(LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-16 llvm-dlltool-15 llvm-dlltool-14)

# Without the SDK's libraries the compiler checks cannot link a program;
# they make a static library instead.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
# Nothing of the SDK is linked unless a project names it, and no manifest is
# embedded (there is no mt).
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "")
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "/manifest:no")
set(CMAKE_EXE_LINKER_FLAGS_INIT "/manifest:no")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "/manifest:no")

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
