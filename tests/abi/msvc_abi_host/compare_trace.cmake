# Runs a command and compares its standard output with a file, line by line:
#
#   cmake -DEXPECTED=<file> [-DEXPECT_MISMATCH=ON -DSAME_UNTIL=<line>]
#         -P compare_trace.cmake -- <command> <arguments>...
#
# CRLF line ends count as LF. Passes when the command exits with 0 and prints
# exactly EXPECTED. Otherwise it shows the output, the first line that
# differs, the exit status and the standard error.
#
# With EXPECT_MISMATCH it passes when the run goes wrong, and only after
# getting far enough to be worth it: the output must agree with EXPECTED up
# to and including the first line equal to SAME_UNTIL, and then the command
# must exit non-zero or print something else. A run that never got that far
# (say the program could not start) fails.
cmake_minimum_required(VERSION 3.25)

set(script_name compare_trace.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/../../../test_support/command_after_separator.cmake)
if(NOT DEFINED EXPECTED OR NOT EXISTS "${EXPECTED}")
  message(FATAL_ERROR "compare_trace.cmake: EXPECTED='${EXPECTED}' is not a file")
endif()
if(EXPECT_MISMATCH AND NOT DEFINED SAME_UNTIL)
  message(FATAL_ERROR "compare_trace.cmake: EXPECT_MISMATCH needs SAME_UNTIL")
endif()

file(READ "${EXPECTED}" expected)
string(REPLACE "\r\n" "\n" expected "${expected}")
execute_process(COMMAND ${command} RESULT_VARIABLE code OUTPUT_VARIABLE actual ERROR_VARIABLE errors)
string(REPLACE "\r\n" "\n" actual "${actual}")

# Splits off the first line of the variable named `text_var` into `line_var`
# (without its "\n"); `more_var` is OFF once nothing was left. Strings, not
# lists: trace lines may hold ';' and brackets.
macro(take_line text_var line_var more_var)
  string(FIND "${${text_var}}" "\n" _at)
  if(_at EQUAL -1)
    set(${line_var} "${${text_var}}")
    if("${${text_var}}" STREQUAL "")
      set(${more_var} OFF)
    else()
      set(${more_var} ON)
    endif()
    set(${text_var} "")
  else()
    string(SUBSTRING "${${text_var}}" 0 ${_at} ${line_var})
    math(EXPR _at "${_at} + 1")
    string(SUBSTRING "${${text_var}}" ${_at} -1 ${text_var})
    set(${more_var} ON)
  endif()
endmacro()

# The first line at which the two texts differ: its number, and each side's
# line there ("(end of output)" past the end). 0 when they are the same. With
# `until`, also whether that line of EXPECTED was reached with no difference
# before it.
function(first_difference expected_text actual_text until)
  set(number 0)
  set(reached OFF)
  while(ON)
    math(EXPR number "${number} + 1")
    take_line(expected_text want want_more)
    take_line(actual_text got got_more)
    if(NOT want_more AND NOT got_more)
      set(number 0)
      break()
    endif()
    if(NOT want_more)
      set(want "(end of output)")
    endif()
    if(NOT got_more)
      set(got "(end of output)")
    endif()
    if(NOT want_more OR NOT got_more OR NOT "${want}" STREQUAL "${got}")
      break()
    endif()
    if(NOT "${until}" STREQUAL "" AND "${want}" STREQUAL "${until}")
      set(reached ON)
    endif()
  endwhile()
  set(difference_line ${number} PARENT_SCOPE)
  set(difference_want "${want}" PARENT_SCOPE)
  set(difference_got "${got}" PARENT_SCOPE)
  set(reached_until ${reached} PARENT_SCOPE)
endfunction()

first_difference("${expected}" "${actual}" "${SAME_UNTIL}")
set(same OFF)
if("${expected}" STREQUAL "${actual}")
  set(same ON)
endif()
set(report "exit status ${code}")
if(same)
  string(APPEND report ", output identical to ${EXPECTED}")
elseif(difference_line EQUAL 0)
  string(APPEND report ", output differs from ${EXPECTED} in the end of its last line")
else()
  string(APPEND report ", output differs from ${EXPECTED} from line ${difference_line}:\n"
         "  expected: ${difference_want}\n  actual:   ${difference_got}")
endif()
message("---- output\n${actual}---- standard error\n${errors}----\n${report}")

if(EXPECT_MISMATCH)
  if(NOT reached_until)
    message(FATAL_ERROR "the run did not get as far as '${SAME_UNTIL}' of ${EXPECTED}")
  endif()
  if("${code}" STREQUAL "0" AND same)
    message(FATAL_ERROR "the run succeeded and printed the expected trace; it should have failed")
  endif()
elseif(NOT "${code}" STREQUAL "0" OR NOT same)
  message(FATAL_ERROR "${report}")
endif()
