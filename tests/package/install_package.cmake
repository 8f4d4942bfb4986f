# Installs the project into an empty prefix, as the package that the outside
# projects of tests/package are built against, and checks that the guide,
# drez-host's manual and the examples are there. Run with cmake -P and:
#   BUILD_DIR  the project's build directory
#   PREFIX     the prefix, emptied first
#   DOC_DIR    where the guides install, relative to it (share/doc/drez-host,
#              or . on Windows)
foreach(var BUILD_DIR PREFIX DOC_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "install_package: ${var} is not set")
  endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install ${BUILD_DIR} --prefix ${PREFIX} failed (${result}):\n${out}")
endif()

# What an author reads comes with it.
foreach(file
    ${DOC_DIR}/README.md ${DOC_DIR}/docs/panel_authors.md ${DOC_DIR}/drez_host/README.md
    ${DOC_DIR}/examples/newsroom_panel/CMakeLists.txt ${DOC_DIR}/examples/hello_panel/CMakeLists.txt
    ${DOC_DIR}/examples/msvc_abi_panel/README.md lib/cmake/drez_script_helper/DrezPanelTest.cmake)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "the installed package lacks ${file}")
  endif()
endforeach()
