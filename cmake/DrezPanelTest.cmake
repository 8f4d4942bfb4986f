# drez_add_panel_test(<panel target> [SCENARIOS <file>...] [INSTALLATION <file>]
#                     [VALIDATE] [MONKEY [EVENTS <n>] [SEED <n>]] [TIMEOUT <s>])
#
# Registers CTest tests that run drez-host (the target drez::drez-host) on the
# library the panel target builds:
#
#   <panel>.scenario.<stem>   drez-host --script <library> <file>, one test per
#                             scenario file, named after the file without its
#                             folder and last extension
#   <panel>.validate          drez-host validate --script <library>: every check
#   <panel>.monkey            drez-host monkey --script <library> --events <n>
#                             --seed <n> (drez-host's defaults: 1000 events,
#                             seed 1)
#
# INSTALLATION gives every one of them --installation <file>: the studio the
# scenarios start from (one that says `installation ...` itself starts from
# its own), and the one validate and monkey check the panel in instead of the
# one they learn from it. Relative files are relative to the calling
# CMakeLists.txt's folder and must exist when CMake runs. TIMEOUT is CTest's
# limit for each test in seconds; drez-host's own watchdog (--timeout) still
# ends a call into the script that hangs.
#
# A test passes or fails with drez-host's exit status (0 passed; 1 a check or
# expectation failed or the script broke a host rule; 2 bad input; 3 the
# script crashed or hung), and its output is drez-host's report, which
# `ctest --output-on-failure` shows. `ctest --output-junit FILE` gives one JUnit
# case per test. With the cache variable DREZ_PANEL_TEST_JUNIT_DIR set, each
# test also writes drez-host's own JUnit report, <dir>/<test name>.xml (a
# relative <dir> is taken from the top of the build folder), with one case
# per scenario or per validate check.
#
# In a cross build the tests run drez-host through
# CMAKE_CROSSCOMPILING_EMULATOR (Wine for a Windows drez-host.exe).

# A STRING, not a PATH: CMake would make a relative PATH given with -D
# absolute from the folder cmake was started in, not from the build folder.
set(DREZ_PANEL_TEST_JUNIT_DIR "" CACHE STRING
    "Where drez_add_panel_test's tests write drez-host's JUnit reports, one file per test, relative to the build folder (empty: none)")

function(drez_add_panel_test panel)
  cmake_parse_arguments(PARSE_ARGV 1 arg "VALIDATE;MONKEY" "INSTALLATION;EVENTS;SEED;TIMEOUT"
                        "SCENARIOS")
  set(me "drez_add_panel_test(${panel})")
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "${me}: unknown arguments: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  if(arg_KEYWORDS_MISSING_VALUES)
    message(FATAL_ERROR "${me}: ${arg_KEYWORDS_MISSING_VALUES} needs a value")
  endif()
  if(NOT TARGET ${panel})
    message(FATAL_ERROR "${me}: '${panel}' is no target; name the panel library's target "
                        "(drez_add_panel_script(${panel} ...))")
  endif()
  get_target_property(type ${panel} TYPE)
  if(NOT type MATCHES "^(SHARED|MODULE)_LIBRARY$")
    message(FATAL_ERROR "${me}: '${panel}' is a ${type}, not a shared library that drez-host can load")
  endif()
  if(NOT TARGET drez::drez-host)
    message(FATAL_ERROR "${me}: drez::drez-host is missing: find_package(drez_script_helper) "
                        "defines it")
  endif()
  if(NOT arg_SCENARIOS AND NOT arg_VALIDATE AND NOT arg_MONKEY)
    message(FATAL_ERROR "${me}: nothing to test: name SCENARIOS, VALIDATE or MONKEY")
  endif()
  if(NOT arg_MONKEY AND (DEFINED arg_EVENTS OR DEFINED arg_SEED))
    message(FATAL_ERROR "${me}: EVENTS and SEED belong to MONKEY")
  endif()
  if(DEFINED arg_EVENTS AND NOT arg_EVENTS MATCHES "^[1-9][0-9]*$")
    message(FATAL_ERROR "${me}: EVENTS must be a whole number above 0, not '${arg_EVENTS}'")
  endif()
  if(DEFINED arg_SEED AND NOT arg_SEED MATCHES "^[0-9]+$")
    message(FATAL_ERROR "${me}: SEED must be a whole number, not '${arg_SEED}'")
  endif()
  if(DEFINED arg_TIMEOUT AND NOT arg_TIMEOUT MATCHES "^([1-9][0-9]*|[0-9]*\\.[0-9]*[1-9][0-9]*)$")
    message(FATAL_ERROR "${me}: TIMEOUT must be a number of seconds above 0, not '${arg_TIMEOUT}'")
  endif()

  # What every test runs: drez-host, through the emulator of a cross build.
  set(program $<TARGET_FILE:drez::drez-host>)
  if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
    set(program ${CMAKE_CROSSCOMPILING_EMULATOR} ${program})
  endif()
  set(common --script $<TARGET_FILE:${panel}>)
  if(DEFINED arg_INSTALLATION)
    _drez_panel_test_file(installation "${me}" INSTALLATION "${arg_INSTALLATION}")
    list(APPEND common --installation ${installation})
  endif()

  # Each test's name, then its job and arguments, one test a row.
  set(tests "")
  set(stems "")
  foreach(scenario IN LISTS arg_SCENARIOS)
    _drez_panel_test_file(file "${me}" SCENARIOS "${scenario}")
    get_filename_component(stem "${file}" NAME_WLE)
    if(stem IN_LIST stems)
      message(FATAL_ERROR "${me}: two scenarios make the test ${panel}.scenario.${stem}; "
                          "give them different file names")
    endif()
    list(APPEND stems "${stem}")
    _drez_panel_test_add(${panel}.scenario.${stem} run ${file})
  endforeach()
  if(arg_VALIDATE)
    _drez_panel_test_add(${panel}.validate validate)
  endif()
  if(arg_MONKEY)
    set(monkey "")
    if(DEFINED arg_EVENTS)
      list(APPEND monkey --events ${arg_EVENTS})
    endif()
    if(DEFINED arg_SEED)
      list(APPEND monkey --seed ${arg_SEED})
    endif()
    _drez_panel_test_add(${panel}.monkey monkey ${monkey})
  endif()
endfunction()

# _drez_panel_test_file(<out> <caller> <keyword> <file>): <file> as an absolute
# path, relative ones from the calling folder; a missing one stops CMake.
function(_drez_panel_test_file out caller keyword file)
  get_filename_component(path "${file}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  if(NOT EXISTS "${path}" OR IS_DIRECTORY "${path}")
    message(FATAL_ERROR "${caller}: ${keyword}: no file '${path}'")
  endif()
  set(${out} "${path}" PARENT_SCOPE)
endfunction()

# _drez_panel_test_add(<name> <job> <argument>...): the test <name>, running
# drez-host <job> with the common arguments and then <argument>... Reads
# program, common and arg_TIMEOUT from drez_add_panel_test.
macro(_drez_panel_test_add name job)
  set(_drez_report "")
  if(DREZ_PANEL_TEST_JUNIT_DIR)
    get_filename_component(_drez_junit "${DREZ_PANEL_TEST_JUNIT_DIR}" ABSOLUTE BASE_DIR
                           "${CMAKE_BINARY_DIR}")
    file(MAKE_DIRECTORY "${_drez_junit}")
    set(_drez_report --report "junit=${_drez_junit}/${name}.xml")
  endif()
  add_test(NAME ${name} COMMAND ${program} ${job} ${common} ${_drez_report} ${ARGN})
  if(DEFINED arg_TIMEOUT)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${arg_TIMEOUT})
  endif()
endmacro()
