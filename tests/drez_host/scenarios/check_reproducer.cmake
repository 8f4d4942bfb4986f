# Runs a drez-host job that prints a scenario reproducing its finding, then
# that scenario as printed:
#
#   cmake -DEXIT_CODE=<n> -DFILE=<scenario file to write> [-DEXPECT1..3=<regex>]
#         -P check_reproducer.cmake -- <drez-host> <job> --script <library> <arguments>...
#
# Passes when the job exits with EXIT_CODE and its output matches every
# EXPECT<i>, and the lines printed under "A scenario that reproduces it"
# (their indent of two spaces taken off), written to FILE and run as
# `<drez-host> --script <library> FILE`, end with the same exit status.
set(script_name check_reproducer.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/../../../test_support/command_after_separator.cmake)

list(FIND command "--script" at)
if(at LESS 2)
  message(FATAL_ERROR "${script_name}: the job's command names no --script")
endif()
math(EXPR job_at "${at} - 1")
math(EXPR library_at "${at} + 1")
list(SUBLIST command 0 ${job_at} host)
list(GET command ${library_at} library)

execute_process(COMMAND ${command} RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE out)
message("${out}")
if(NOT "${code}" STREQUAL "${EXIT_CODE}")
  message(FATAL_ERROR "the job's exit status ${code}, expected ${EXIT_CODE}")
endif()
foreach(i RANGE 1 3)
  if(DEFINED EXPECT${i} AND NOT out MATCHES "${EXPECT${i}}")
    message(FATAL_ERROR "the job's output does not match: ${EXPECT${i}}")
  endif()
endforeach()
if(NOT out MATCHES "\nA scenario that reproduces it[^\n]*\n(.*)\n==== ")
  message(FATAL_ERROR "the job printed no scenario that reproduces its finding")
endif()
string(REGEX REPLACE "(^|\n)  " "\\1" scenario "${CMAKE_MATCH_1}")
file(WRITE "${FILE}" "${scenario}\n")

execute_process(COMMAND ${host} --script ${library} ${FILE}
  RESULT_VARIABLE replayed OUTPUT_VARIABLE again ERROR_VARIABLE again)
message("---- ${FILE} as printed:\n${again}")
if(NOT "${replayed}" STREQUAL "${EXIT_CODE}")
  message(FATAL_ERROR "the printed scenario ends with exit status ${replayed}, the job with ${code}")
endif()
