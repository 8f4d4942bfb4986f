# Every capture the tap's tests made, played as the scenario drez-host
# replay --write-scenario writes of it, against the very library it was
# made of: each must pass.
#
#   cmake -DDREZ_HOST=<drez-host> -DWORK=<folder> [-DEMULATOR=<a|b|c>]
#         [-DONLY=<regex>] -P captures_as_scenarios.cmake
#
# With ONLY, only the captures whose path it matches.
#
# A file below WORK ending in .capture that is no capture (a test's stand-in
# for yesterday's) is passed over, and so are the captures of the panels
# that break the host's rules or end their calls by exceptions on purpose
# (the broken test panel, the raising panel): their scenarios fail as their
# runs did. So is a capture of a library whose path is not ASCII.
cmake_minimum_required(VERSION 3.25)

foreach(required DREZ_HOST WORK)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "captures_as_scenarios.cmake: ${required} is not set")
  endif()
endforeach()
string(REPLACE "|" ";" emulator "${EMULATOR}")

file(GLOB_RECURSE captures LIST_DIRECTORIES false "${WORK}/*.capture")
list(SORT captures)
set(played 0)
set(failed "")
if(DEFINED ONLY)
  list(FILTER captures INCLUDE REGEX "${ONLY}")
endif()
foreach(capture IN LISTS captures)
  file(STRINGS "${capture}" head LIMIT_COUNT 2)
  list(LENGTH head lines)
  if(lines LESS 2 OR NOT head MATCHES "^drez-capture 1;")
    continue()
  endif()
  list(GET head 1 begin)
  if(NOT begin MATCHES "library=\"([^\"]*)\"$")
    continue()
  endif()
  string(REPLACE "\\\\" "\\" library "${CMAKE_MATCH_1}")
  # A path with bytes the capture escapes (not ASCII) is one this script
  # cannot hand on as it is.
  if(library MATCHES "broken_panel|raising" OR library MATCHES "\\\\x")
    continue()
  endif()
  set(scenario "${capture}.scn")
  file(REMOVE "${scenario}")
  execute_process(COMMAND ${emulator} "${DREZ_HOST}" replay --write-scenario "${scenario}" "${capture}"
    RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT code EQUAL 0)
    list(APPEND failed "${capture}: --write-scenario exited with ${code}:\n${out}")
    continue()
  endif()
  execute_process(COMMAND ${emulator} "${DREZ_HOST}" --script "${library}" --quiet "${scenario}"
    RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT code EQUAL 0)
    list(APPEND failed "${scenario}: exited with ${code}:\n${out}")
  endif()
  math(EXPR played "${played} + 1")
endforeach()
message("${played} captures played as scenarios")
if(failed)
  string(REPLACE ";" "\n" failed "${failed}")
  message(FATAL_ERROR "${failed}")
endif()
if(played EQUAL 0)
  message(FATAL_ERROR "no capture below ${WORK}")
endif()
