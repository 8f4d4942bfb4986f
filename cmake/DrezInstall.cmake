# Installs the framework, the string component and the binary contract as a
# CMake package, so that another project's find_package(drez_script_helper
# CONFIG) gives it the imported targets drez::drez_script_helper,
# drez::drez_string and drez::drez_abi and the functions drez_add_panel_script
# and drez_add_panel_fuzzer.
# The Vantrel library installs beside them.
include(CMakePackageConfigHelpers)

set(DREZ_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/drez_script_helper)

install(TARGETS drez_abi drez_string drez_script_helper
  EXPORT drez_script_helperTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/drez)
install(EXPORT drez_script_helperTargets
  NAMESPACE drez::
  DESTINATION ${DREZ_PACKAGE_DIR})

# drez_add_panel_fuzzer builds these sources (DrezPanelFuzzer.cmake says why).
set(DREZ_PANEL_FUZZER_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/drez_script_helper/panel_fuzzer)
if(NOT WIN32)
  drez_install_panel_fuzzer_sources(${DREZ_PANEL_FUZZER_INSTALL_DIR})
endif()

configure_package_config_file(cmake/drez_script_helperConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/drez_script_helperConfig.cmake
  INSTALL_DESTINATION ${DREZ_PACKAGE_DIR}
  PATH_VARS DREZ_PANEL_FUZZER_INSTALL_DIR)
write_basic_package_version_file(
  ${CMAKE_CURRENT_BINARY_DIR}/drez_script_helperConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/drez_script_helperConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/drez_script_helperConfigVersion.cmake
  cmake/DrezPanelScript.cmake
  cmake/DrezPanelFuzzer.cmake
  cmake/panel_version.rc.in
  DESTINATION ${DREZ_PACKAGE_DIR})

install(TARGETS Vantrel
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The recording panel library, and the tool that reads what it records.
install(TARGETS drez_tap capture_check
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
