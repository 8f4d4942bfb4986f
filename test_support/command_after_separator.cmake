# For the test scripts run as `cmake [-D...] -P <script> -- <command> <args>...`:
# sets `command` to the list of arguments after "--", and stops the script
# with a message naming `script_name` when there are none.
set(command)
set(after_separator OFF)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE ${last})
  if(after_separator)
    list(APPEND command "${CMAKE_ARGV${i}}")
  elseif("${CMAKE_ARGV${i}}" STREQUAL "--")
    set(after_separator ON)
  endif()
endforeach()
if(NOT command)
  message(FATAL_ERROR "${script_name}: no command after --")
endif()
