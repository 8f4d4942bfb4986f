# A 64-bit Windows DLL with Microsoft's C++ ABI, built by clang-cl and
# lld-link without Visual Studio (clang-msvc-common.cmake says what it needs
# and gives):
#
#   cmake -S examples/msvc_abi_panel -B build/msvc64 -DCMAKE_BUILD_TYPE=Release \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/clang-msvc-x86_64.cmake
#
# Visual Studio builds the same project with its own compiler: cmake -A x64.

set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CLANG_MSVC_TRIPLE x86_64-pc-windows-msvc)
include(${CMAKE_CURRENT_LIST_DIR}/clang-msvc-common.cmake)
