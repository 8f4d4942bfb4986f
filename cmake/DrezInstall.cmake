# Installs the framework, the string component and the binary contract as a
# CMake package, so that another project's find_package(drez_script_helper
# CONFIG) gives it the imported targets drez::drez_script_helper,
# drez::drez_string, drez::drez_abi and drez::drez-host and the functions
# drez_add_panel_script, drez_add_panel_test and drez_add_panel_fuzzer. The
# Vantrel library installs beside them, and the guides, drez-host's manual and the examples under
# share/doc/drez-host (the top of the Windows bundle).
#
# The build folder is a package too, with the same targets and functions:
# CMAKE_PREFIX_PATH=<build folder> finds the framework as built there, the
# sources' headers and the build's drez-host, without installing.
include(CMakePackageConfigHelpers)

set(DREZ_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/drez_script_helper)

install(TARGETS drez_abi drez_string drez_script_helper
  EXPORT drez_script_helperTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/drez)
install(EXPORT drez_script_helperTargets
  NAMESPACE drez::
  DESTINATION ${DREZ_PACKAGE_DIR})
export(EXPORT drez_script_helperTargets
  NAMESPACE drez::
  FILE ${CMAKE_BINARY_DIR}/drez_script_helperTargets.cmake)

# drez_add_panel_fuzzer builds these sources (DrezPanelFuzzer.cmake says why).
set(DREZ_PANEL_FUZZER_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/drez_script_helper/panel_fuzzer)
if(NOT WIN32)
  drez_install_panel_fuzzer_sources(${DREZ_PANEL_FUZZER_INSTALL_DIR})
endif()

# The MinGW flavour the static libraries were built with, which a project
# that links them must share (checked by the package's config).
include(${PROJECT_SOURCE_DIR}/cmake/DrezMinGWFlavour.cmake)
drez_mingw_flavour(DREZ_BUILT_MINGW_FLAVOUR)

# Two configs from one template. drez-host is known by its path: it installs
# to bin/ (drez_host/cli), and in the build folder it is built where
# drez_host/cli puts it.
get_target_property(drez_host_built_dir drez-host RUNTIME_OUTPUT_DIRECTORY)
get_target_property(drez_host_name drez-host OUTPUT_NAME)
if(NOT drez_host_name)
  set(drez_host_name drez-host)
endif()
set(drez_host_file ${drez_host_name}${CMAKE_EXECUTABLE_SUFFIX})

#   installed: the package's folder holds the module files, and the
#   panel fuzzer's sources install beside the data.
set(DREZ_HOST_PROGRAM ${CMAKE_INSTALL_BINDIR}/${drez_host_file})
set(DREZ_MODULE_DIR ${DREZ_PACKAGE_DIR})
set(DREZ_PANEL_FUZZER_DIR ${DREZ_PANEL_FUZZER_INSTALL_DIR})
set(DREZ_PANEL_FUZZER_DATA "")
configure_package_config_file(cmake/drez_script_helperConfig.cmake.in
  ${CMAKE_BINARY_DIR}/installed_package/drez_script_helperConfig.cmake
  INSTALL_DESTINATION ${DREZ_PACKAGE_DIR}
  PATH_VARS DREZ_HOST_PROGRAM DREZ_MODULE_DIR DREZ_PANEL_FUZZER_DIR)
#   the build folder's, at its top, where find_package looks first: the
#   module files are the sources'.
set(DREZ_HOST_PROGRAM ${drez_host_built_dir}/${drez_host_file})
set(DREZ_MODULE_DIR ${PROJECT_SOURCE_DIR}/cmake)
set(DREZ_PANEL_FUZZER_DIR ${PROJECT_SOURCE_DIR})
set(DREZ_PANEL_FUZZER_DATA ${PROJECT_BINARY_DIR}/drez_host/scenario/built_in_data.cpp)
configure_package_config_file(cmake/drez_script_helperConfig.cmake.in
  ${CMAKE_BINARY_DIR}/drez_script_helperConfig.cmake
  INSTALL_DESTINATION .
  INSTALL_PREFIX ${CMAKE_BINARY_DIR}
  PATH_VARS DREZ_HOST_PROGRAM DREZ_MODULE_DIR DREZ_PANEL_FUZZER_DIR)

write_basic_package_version_file(
  ${CMAKE_BINARY_DIR}/drez_script_helperConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_BINARY_DIR}/installed_package/drez_script_helperConfig.cmake
  ${CMAKE_BINARY_DIR}/drez_script_helperConfigVersion.cmake
  cmake/DrezPanelScript.cmake
  cmake/DrezPanelTest.cmake
  cmake/DrezPanelFuzzer.cmake
  cmake/DrezMinGWFlavour.cmake
  cmake/panel_version.rc.in
  DESTINATION ${DREZ_PACKAGE_DIR})

# drez-host's default panel library, where an installed drez-host looks for
# it: ../lib from its own folder (drez_host/jobs/panel_library.h), whatever
# the libraries' folder is (lib/x86_64-linux-gnu with a prefix of /usr).
install(TARGETS Vantrel
  LIBRARY DESTINATION lib
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The recording panel library, and the tool that reads what it records.
install(TARGETS drez_tap capture_check
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# What a panel author reads, laid out as in the sources so that the links
# between them hold: the README, the guide, drez-host's manual, the capture
# format, the tap's README, and the examples the guide walks through.
if(WIN32)
  set(DREZ_DOC_DIR .)
else()
  set(DREZ_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/drez-host)
endif()
install(FILES README.md DESTINATION ${DREZ_DOC_DIR})
install(FILES docs/panel_authors.md docs/capture_format.md docs/building.md
  docs/binary_contract.md docs/windows_bundle.md DESTINATION ${DREZ_DOC_DIR}/docs)
install(FILES drez_host/README.md DESTINATION ${DREZ_DOC_DIR}/drez_host)
install(FILES drez_tap/README.md DESTINATION ${DREZ_DOC_DIR}/drez_tap)
install(DIRECTORY examples/hello_panel examples/newsroom_panel examples/msvc_abi_panel
  DESTINATION ${DREZ_DOC_DIR}/examples)
