# Builds an outside project (an example panel, or an author's project) against
# a drez_script_helper package, as a panel author would, and runs its CTest
# tests, which drez_add_panel_test registered. Passes when exactly the tests
# expected are there, each passing or failing as expected, a failing one
# with drez-host's message in its output. Run with cmake -P and:
#   PROJECT     the project's folder
#   WORK_DIR    a scratch directory, emptied first
#   GENERATOR   the CMake generator to use
#   PREFIX      the package's prefix, given as CMAKE_PREFIX_PATH: an install
#               prefix, or a build folder
#   FIND_ROOT   instead of PREFIX: a folder holding a system's /usr (dpkg -x of
#               the Debian package); the project is given no prefix at all,
#               and finds the package where it would on that system
#   PASS        the tests that must pass (a CMake list)
#   FAIL        the tests that must fail, each "<test>|<regex>", the regex to
#               be found in the test's output (a CMake list)
#   DEFINES     optional -D options for the project (a CMake list)
#   REPORTS     optional: the tests write drez-host's JUnit reports there
#               (DREZ_PANEL_TEST_JUNIT_DIR), each checked to exist; a
#               validate test's must hold one case per check
#   TOOLCHAIN   optional toolchain file for the project's build; a cross
#               toolchain's CMAKE_CROSSCOMPILING_EMULATOR runs drez-host
#   FUZZER_OPTION optional option of the project that adds its panel fuzzer:
#               configured with it, drez_add_panel_fuzzer finds its sources
#               in the package and, unless the compiler is clang, says that
#               libFuzzer needs clang
foreach(var PROJECT WORK_DIR GENERATOR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_author_project: ${var} is not set")
  endif()
endforeach()
if(NOT PREFIX AND NOT FIND_ROOT)
  message(FATAL_ERROR "check_author_project: set PREFIX or FIND_ROOT")
endif()
get_filename_component(name ${PROJECT} NAME)

function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0)
    string(REPLACE ";" " " command "${ARGV}")
    message(FATAL_ERROR "${name}: failed (${result}): ${command}\n${out}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(build ${WORK_DIR}/build)
set(configure ${CMAKE_COMMAND} -S ${PROJECT} -B ${build} -G ${GENERATOR}
    -DCMAKE_BUILD_TYPE=Release ${DEFINES})
if(FIND_ROOT)
  # The system's own prefixes (/usr among them), looked for under the root.
  list(APPEND configure -DCMAKE_FIND_ROOT_PATH=${FIND_ROOT}
       -DCMAKE_FIND_ROOT_PATH_MODE_PACKAGE=ONLY)
else()
  list(APPEND configure -DCMAKE_PREFIX_PATH=${PREFIX})
endif()
if(TOOLCHAIN)
  # A cross toolchain searches packages only under its target's root, so
  # the package is named directly.
  list(APPEND configure -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN}
       -Ddrez_script_helper_DIR=${PREFIX}/lib/cmake/drez_script_helper)
endif()
if(REPORTS)
  list(APPEND configure -DDREZ_PANEL_TEST_JUNIT_DIR=${REPORTS})
endif()
run(${configure})
run(${CMAKE_COMMAND} --build ${build})

# The tests, one JUnit case each; their failures are expected, so the exit
# status of ctest tells nothing.
set(junit ${WORK_DIR}/ctest-junit.xml)
execute_process(COMMAND ${CMAKE_CTEST_COMMAND} --test-dir ${build} --output-junit ${junit}
  --timeout 600 OUTPUT_VARIABLE ctest_output ERROR_VARIABLE ctest_output)
if(NOT EXISTS ${junit})
  message(FATAL_ERROR "${name}: ctest wrote no JUnit file:\n${ctest_output}")
endif()
file(READ ${junit} cases)
string(REGEX MATCHALL "<testcase name=\"[^\"]*\"" names "${cases}")
list(TRANSFORM names REPLACE "<testcase name=\"([^\"]*)\"" "\\1")
set(expected ${PASS})
foreach(failing IN LISTS FAIL)
  string(REGEX REPLACE "\\|.*" "" test "${failing}")
  list(APPEND expected ${test})
endforeach()
list(SORT names)
list(SORT expected)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "${name}: the tests are\n  ${names}\nnot\n  ${expected}\n${ctest_output}")
endif()

# case_of(<out> <test>): the test's JUnit case, its output unescaped.
function(case_of out test)
  string(FIND "${cases}" "<testcase name=\"${test}\"" start)
  string(SUBSTRING "${cases}" ${start} -1 case)
  string(FIND "${case}" "</testcase>" end)
  string(SUBSTRING "${case}" 0 ${end} case)
  string(REPLACE "&lt;" "<" case "${case}")
  string(REPLACE "&gt;" ">" case "${case}")
  string(REPLACE "&quot;" "\"" case "${case}")
  string(REPLACE "&amp;" "&" case "${case}")
  set(${out} "${case}" PARENT_SCOPE)
endfunction()
foreach(test IN LISTS PASS)
  case_of(case ${test})
  if(NOT case MATCHES "status=\"run\"")
    message(FATAL_ERROR "${name}: ${test} should pass:\n${case}")
  endif()
endforeach()
foreach(failing IN LISTS FAIL)
  string(REGEX REPLACE "\\|.*" "" test "${failing}")
  string(REGEX REPLACE "^[^|]*\\|" "" message "${failing}")
  case_of(case ${test})
  if(NOT case MATCHES "status=\"fail\"" OR NOT case MATCHES "${message}")
    message(FATAL_ERROR "${name}: ${test} should fail with '${message}':\n${case}")
  endif()
endforeach()

# drez-host's own reports: one per test of drez_add_panel_test; validate's,
# one case per check.
if(REPORTS)
  list(FILTER expected INCLUDE REGEX "\\.(scenario\\..+|validate|monkey)$")
  foreach(test IN LISTS expected)
    set(report ${build}/${REPORTS}/${test}.xml)
    if(NOT EXISTS ${report})
      message(FATAL_ERROR "${name}: ${test} wrote no report ${report}")
    endif()
    if(test MATCHES "\\.validate$")
      file(READ ${report} report_text)
      string(REGEX MATCHALL "<testcase " checks "${report_text}")
      list(LENGTH checks count)
      if(count LESS 13)
        message(FATAL_ERROR "${name}: ${report} holds ${count} cases, not one per check:\n"
                            "${report_text}")
      endif()
    endif()
  endforeach()
endif()
list(LENGTH PASS passed)
list(LENGTH FAIL failed)
if(FUZZER_OPTION)
  string(REPLACE "${build}" "${WORK_DIR}/fuzz" configure_fuzzer "${configure}")
  execute_process(COMMAND ${configure_fuzzer} -D${FUZZER_OPTION}=ON
    RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0 AND NOT out MATCHES "libFuzzer comes with clang")
    message(FATAL_ERROR "${name}: its fuzzer did not configure, nor say it needs clang:\n${out}")
  endif()
  message(STATUS "${name}: drez_add_panel_fuzzer found its sources in the package")
endif()

message(STATUS "${name}: built against the package; ${passed} tests passed and ${failed} failed "
               "as expected")
