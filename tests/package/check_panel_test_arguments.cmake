# drez_add_panel_test as an author's CMakeLists.txt calls it, right and wrong:
# for each row, a project of no language (an imported panel library and an
# imported drez-host, so nothing is built) is configured with one call. A
# wrong call must stop CMake with its message; a right one must register
# exactly the tests and commands expected, read back from the generated
# CTestTestfile.cmake. Run with cmake -P and:
#   MODULE    cmake/DrezPanelTest.cmake
#   WORK_DIR  a scratch directory, emptied first
foreach(var MODULE WORK_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_panel_test_arguments: ${var} is not set")
  endif()
endforeach()

file(REMOVE_RECURSE ${WORK_DIR})
file(WRITE ${WORK_DIR}/src/a.scn "create\ndelete\n")
file(WRITE ${WORK_DIR}/src/sub/a.scn "create\ndelete\n")
file(WRITE ${WORK_DIR}/src/room.scn "device infodriver 'Tally' 1 slots 2\n")

# Each row: the expected message (a regular expression), then the call's
# arguments after the panel's name; rows are separated by "|".
set(wrong_calls
  "nothing to test: name SCENARIOS, VALIDATE or MONKEY" "|"
  "unknown arguments: VALIDATED" VALIDATED "|"
  "SCENARIOS: no file '.*/src/missing.scn'" SCENARIOS missing.scn "|"
  "SCENARIOS: no file '.*/src/sub'" SCENARIOS sub "|"
  "INSTALLATION: no file '.*/src/nowhere.scn'" VALIDATE INSTALLATION nowhere.scn "|"
  "two scenarios make the test Alarm.scenario.a" SCENARIOS a.scn sub/a.scn "|"
  "EVENTS and SEED belong to MONKEY" VALIDATE EVENTS 10 "|"
  "EVENTS must be a whole number above 0, not '0'" MONKEY EVENTS 0 "|"
  "SEED must be a whole number, not '-3'" MONKEY SEED -3 "|"
  "TIMEOUT must be a number of seconds above 0, not '0'" VALIDATE TIMEOUT 0 "|"
  "TIMEOUT must be a number of seconds above 0, not 'soon'" VALIDATE TIMEOUT soon "|"
  "INSTALLATION needs a value" VALIDATE INSTALLATION)

# configure(<result var> <output var> <panel> <arguments>...): the project
# with one call of drez_add_panel_test(<panel> <arguments>...).
function(configure result_var output_var panel)
  list(JOIN ARGN " " arguments)
  file(WRITE ${WORK_DIR}/src/CMakeLists.txt "cmake_minimum_required(VERSION 3.25)
project(PanelTestArguments NONE)
enable_testing()
include(${MODULE})
add_library(Alarm SHARED IMPORTED)
set_target_properties(Alarm PROPERTIES IMPORTED_LOCATION /panels/libAlarm.so)
add_library(AlarmStatic STATIC IMPORTED)
set_target_properties(AlarmStatic PROPERTIES IMPORTED_LOCATION /panels/libAlarm.a)
add_executable(drez::drez-host IMPORTED)
set_target_properties(drez::drez-host PROPERTIES IMPORTED_LOCATION /opt/drez/bin/drez-host)
drez_add_panel_test(${panel} ${arguments})
")
  file(REMOVE_RECURSE ${WORK_DIR}/build)
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${WORK_DIR}/src -B ${WORK_DIR}/build ${CONFIGURE_ARGS}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  # CMake wraps its messages: one space for every run of blanks.
  string(REGEX REPLACE "[ \n]+" " " output "${output}")
  set(${result_var} ${result} PARENT_SCOPE)
  set(${output_var} "${output}" PARENT_SCOPE)
endfunction()

set(row "")
list(APPEND wrong_calls "|")
foreach(item IN LISTS wrong_calls)
  if(NOT item STREQUAL "|")
    list(APPEND row "${item}")
    continue()
  endif()
  list(POP_FRONT row expected)
  configure(result output Alarm ${row})
  if(result EQUAL 0 OR NOT output MATCHES "drez_add_panel_test\\(Alarm\\): ${expected}")
    message(FATAL_ERROR "drez_add_panel_test(Alarm ${row}): expected a stop with "
                        "'${expected}', got (${result}):\n${output}")
  endif()
  set(row "")
endforeach()

# Targets that are no panel library.
configure(result output NoSuchPanel VALIDATE)
if(result EQUAL 0 OR NOT output MATCHES "'NoSuchPanel' is no target")
  message(FATAL_ERROR "an unknown target was taken:\n${output}")
endif()
configure(result output AlarmStatic VALIDATE)
if(result EQUAL 0 OR NOT output MATCHES "'AlarmStatic' is a STATIC_LIBRARY, not a shared library")
  message(FATAL_ERROR "a static library was taken:\n${output}")
endif()

# A right call: one test per scenario, validate, monkey, each with the
# installation, in this order, and the JUnit reports when a folder is named.
set(CONFIGURE_ARGS -DDREZ_PANEL_TEST_JUNIT_DIR=reports)
configure(result output Alarm SCENARIOS a.scn sub/../room.scn INSTALLATION room.scn VALIDATE
          MONKEY EVENTS 250 SEED 7 TIMEOUT 90)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "a right call failed:\n${output}")
endif()
file(READ ${WORK_DIR}/build/CTestTestfile.cmake tests)
# The test names are quoted as [=[NAME]=].
string(REPLACE "[=[" "" tests "${tests}")
string(REPLACE "]=]" "" tests "${tests}")
set(src ${WORK_DIR}/src)
set(junit ${WORK_DIR}/build/reports)
set(drez_host [["/opt/drez/bin/drez-host"]])
set(common "\"--script\" \"/panels/libAlarm.so\" \"--installation\" \"${src}/room.scn\"")
set(expected_lines
  "add_test(Alarm.scenario.a ${drez_host} \"run\" ${common} \"--report\" \"junit=${junit}/Alarm.scenario.a.xml\" \"${src}/a.scn\")"
  "add_test(Alarm.scenario.room ${drez_host} \"run\" ${common} \"--report\" \"junit=${junit}/Alarm.scenario.room.xml\" \"${src}/room.scn\")"
  "add_test(Alarm.validate ${drez_host} \"validate\" ${common} \"--report\" \"junit=${junit}/Alarm.validate.xml\")"
  "add_test(Alarm.monkey ${drez_host} \"monkey\" ${common} \"--report\" \"junit=${junit}/Alarm.monkey.xml\" \"--events\" \"250\" \"--seed\" \"7\")")
set(at -1)
foreach(line IN LISTS expected_lines)
  string(FIND "${tests}" "${line}\n" found)
  if(found LESS_EQUAL at)
    message(FATAL_ERROR "the tests registered are not as expected: no line, or out of order:\n"
                        "${line}\nin:\n${tests}")
  endif()
  set(at ${found})
endforeach()
string(REGEX MATCHALL "add_test\\(" added "${tests}")
string(REGEX MATCHALL "TIMEOUT \"90\"" timeouts "${tests}")
list(LENGTH added added)
list(LENGTH timeouts timeouts)
if(NOT added EQUAL 4 OR NOT timeouts EQUAL 4)
  message(FATAL_ERROR "expected 4 tests, each with TIMEOUT 90, found ${added} and ${timeouts}:\n"
                      "${tests}")
endif()
if(NOT IS_DIRECTORY ${junit})
  message(FATAL_ERROR "the JUnit folder ${junit} was not made")
endif()
message(STATUS "drez_add_panel_test: 14 wrong calls stopped with their message, a right one "
               "registered its 4 tests")
