# A 32-bit Windows DLL with Microsoft's C++ ABI, the studio's kind, built by
# clang-cl and lld-link without Visual Studio (clang-msvc-common.cmake says
# what it needs and gives):
#
#   cmake -S examples/msvc_abi_panel -B build/msvc -DCMAKE_BUILD_TYPE=Release \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/clang-msvc-i686.cmake
#
# Visual Studio builds the same project with its own compiler: cmake -A Win32.

set(CMAKE_SYSTEM_PROCESSOR x86)
set(CLANG_MSVC_TRIPLE i686-pc-windows-msvc)
include(${CMAKE_CURRENT_LIST_DIR}/clang-msvc-common.cmake)
