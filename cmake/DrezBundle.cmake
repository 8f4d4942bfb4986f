# The Windows bundle for a panel author who builds nothing:
#
#   cmake --build --preset windows-i686 --target package     (or windows-x86_64)
#   -> build/<preset>/drez-host-<version>-windows-<arch>.zip
#
# One folder of that name, laid out as drez-host.exe looks for its files:
#   bin/                  drez-host.exe, Vantrel.dll (its default panel
#                         library, beside it), drez_tap.dll where it is built
#   share/drez-host/      studio_a.scn and demo.scn, read from ../share/drez-host
#   include/drez/, lib/   the contract headers, the framework's headers and its
#                         static libraries for MinGW, and its CMake package
#   cmake/toolchains/     the MinGW toolchain files the static libraries need,
#                         and the clang-msvc ones (clang-cl and lld-link)
#   examples/             hello_panel/ and newsroom_panel/ on the framework;
#                         msvc_abi_panel/, a panel built with Microsoft's C++
#                         ABI on the contract headers alone, with its DLL
#   README.md, docs/, drez_host/README.md, drez_tap/README.md   the README, the
#                         guides and drez-host's manual, where their links
#                         find each other
#   SHA256SUMS            every other file, in sha256sum's format
#
# The framework's and drez-host's own install rules (DrezInstall.cmake,
# drez_host/cli) give bin/, share/, include/, lib/, the READMEs, docs/ and
# the examples' sources; the rules here add the rest. Included last, after
# every folder, so that the targets it names (msvc_abi_panel from tests/,
# drez_tap) exist when they are built. Test programs and GoogleTest install
# nothing (INSTALL_GTEST is off), so nothing of theirs enters;
# tests/package/check_windows_bundle.sh checks that.
if(NOT WIN32)
  return()
endif()

# The panel built with Microsoft's C++ ABI, beside its sources, as the
# example a Visual Studio author compares a DLL with. It is built with the
# tests.
if(TARGET msvc_abi_panel)
  get_target_property(msvc_panel_binary_dir msvc_abi_panel BINARY_DIR)
  install(FILES ${msvc_panel_binary_dir}/msvc_abi_panel.dll DESTINATION examples/msvc_abi_panel)
else()
  message(STATUS "The Windows bundle leaves out examples/msvc_abi_panel/msvc_abi_panel.dll: it is "
                 "built with the tests")
endif()

# The toolchain files: MinGW's for the framework's static libraries (which
# the package's config checks), clang-msvc's for a panel on the contract
# headers alone. mingw-common.cmake makes the bundle's own folder a place to
# find packages in.
install(FILES
  ${PROJECT_SOURCE_DIR}/cmake/toolchains/mingw-common.cmake
  ${PROJECT_SOURCE_DIR}/cmake/toolchains/mingw-i686.cmake
  ${PROJECT_SOURCE_DIR}/cmake/toolchains/mingw-x86_64.cmake
  ${PROJECT_SOURCE_DIR}/cmake/toolchains/clang-msvc-common.cmake
  ${PROJECT_SOURCE_DIR}/cmake/toolchains/clang-msvc-i686.cmake
  ${PROJECT_SOURCE_DIR}/cmake/toolchains/clang-msvc-x86_64.cmake
  DESTINATION cmake/toolchains)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(drez_bundle_arch i686)
else()
  set(drez_bundle_arch x86_64)
endif()
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME drez-host)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME drez-host-${PROJECT_VERSION}-windows-${drez_bundle_arch})
# The programs without their symbol tables and the debug information of the
# static C++ runtime: half the size; the bundle's own check runs these.
set(CPACK_STRIP_FILES ON)
# After CPack has installed everything into its staging folder and before it
# zips it: whatever any install rule put there is summed, drez_tap.dll too.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DrezBundleChecksums.cmake)
include(CPack)
